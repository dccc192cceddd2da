// A hostile update site: the page and the manifest are not signed, so a
// network attacker or a hostile server may serve any of them together with
// any package the vendor ever signed, in the wrong place. Each case runs the
// real zupdater.exe against such a site and checks that nothing outside the
// client's folders changed, nothing was installed, registered or started
// that should not be, and that the log says why.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "reg_values.h"
#include "whole_run.h"

namespace {
const char kClsid[] = "{8C0B6A3E-5D21-4F7A-9E44-1B2C3D4E5F60}";
const char kClassKey[] = "CLSID\\{8C0B6A3E-5D21-4F7A-9E44-1B2C3D4E5F60}";
const char kServerKey[] = "CLSID\\{8C0B6A3E-5D21-4F7A-9E44-1B2C3D4E5F60}\\InprocServer32";
const char kMark[] = "Software\\ZupdaterTests\\ComServer";
const char kFeatures[] = "SOFTWARE\\Zindo\\Murvo\\ComponentUpdate";
const char kOffer[] = "[New Install]\r\nVersionNew=6,0,0,0\r\n";

class HostileSiteTest;
struct HostileCase {
  const char* label;
  // Lays out the site and the machine; may fail fatally.
  void (*layOut)(HostileSiteTest& test);
  int answer;
  std::vector<std::string> logHas;  // {app}, {site}, {outside}, {temp} filled
  // What the case must show beyond the common checks.
  void (*check)(HostileSiteTest& test);
  // The server the case's genuine install registers ({app} filled), or
  // null when nothing may be registered.
  const char* registered;
};
void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.label; }

// A file's bytes told apart by their length and an FNV-1a hash, so that a
// failure names what changed without printing whole programs.
std::string Fingerprint(const std::string& bytes) {
  uint64_t hash = 14695981039346656037ULL;
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ULL;
  return std::to_string(bytes.size()) + " bytes, hash " + std::to_string(hash);
}

// name -> fingerprint of every file directly in folder.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      files[found.cFileName] = Fingerprint(ReadFileText(folder + found.cFileName));
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return files;
}

size_t CountValues(HKEY root, const std::string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return 0;
  DWORD subkeys = 0, values = 0;
  RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  size_t total = values;
  char name[256];
  for (DWORD i = 0; i < subkeys; ++i) {
    DWORD size = sizeof(name);
    if (RegEnumKeyExA(handle, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
      total += CountValues(root, key + "\\" + name);
  }
  RegCloseKey(handle);
  return total;
}

class HostileSiteTest : public ::testing::TestWithParam<HostileCase> {
 public:
  // {release}: the run's own folder in the temporary folder.
  std::string Fill(const std::string& text) const {
    return m_run.Fill(ReplaceAll(
        ReplaceAll(ReplaceAll(text, "{outside}", m_outside.path()), "{temp}", m_temp.path()),
        "{release}", ReleaseFolderIn(m_temp.path())));
  }
  bool ServeSite(const std::string& manifest) { return m_run.ServeManifest(Fill(manifest)); }
  // A host client release offered at {site}h/LINK, served as the signed
  // package of tests/fixtures/passes named package.
  void ServeRelease(const std::string& link, const std::string& package) {
    ASSERT_TRUE(ServeSite(std::string(kOffer) +
                          "[New Install1]\r\nVersion=6,0,0,0\r\nLink={site}h/" + link + "\r\n"));
    ASSERT_TRUE(m_run.ServeFile("h/" + link, PassPackage(package)));
  }
  // The release's installer recorded one start: "zcorv.exe /s" in the run's
  // own folder.
  void ExpectInstallerStartedSilently() {
    EXPECT_EQ(Fill("\"{release}zcorv.exe\" /s\n"), ReadFileText(Fill("{release}args.txt")));
  }
  bool ServePage(const std::string& extraLines) {
    return WriteFileText(m_run.Server().ServedPath(m_run.Prefix() + "corvcli.html"),
                         "MURVO-FOLDER=" + m_run.Site() + "m/\nPATCHKEEPER-FOLDER=" + m_run.Site() +
                             "p/\n" + Fill(extraLines));
  }

  // An old zb.dll of the given level with its genuine package served, and
  // the host client running when asked.
  void LayOutOldComponent(int level, bool hostRunning) {
    ASSERT_TRUE(m_run.Install("zb.dll", "zcom500.dll"));
    ASSERT_TRUE(ServeSite(ComponentList({"zb"}) + ComponentSection("zb", level)));
    ASSERT_TRUE(m_run.ServeFile("c/zb.dl_", PassPackage("zb.dl_")));
    if (hostRunning) ASSERT_TRUE(m_run.StartHostClient());
  }

  // zupdater.exe is the one this build installed: no package replaced it.
  void ExpectUpdaterUntouched() {
    EXPECT_TRUE(ReadFileText(m_run.App() + "zupdater.exe") == ReadFileText(UpdaterExePath()));
    EXPECT_FALSE(FileExists(m_run.App() + "ZUDPTEMP.EXE"));
    EXPECT_FALSE(FileExists(m_run.App() + "ZUDPTEMP.EX_"));
  }

  CZWholeRun m_run;
  CZTempFolder m_outside{"outside"};  // another program's folder
  CZTempFolder m_temp{"tmp"};         // the temporary folder of the run
  CZScopedRegTree m_class{HKEY_CLASSES_ROOT, kClassKey};
};

// The genuinely signed package of an older updater (0.9.0.0).
std::string OldUpdaterPackage() { return TestProgramFolder() + "packages\\zupdater_old.qpk"; }

// The system folder, as the updater places components there.
std::string SystemFolderPath() {
  char folder[MAX_PATH] = "";
  GetSystemDirectoryA(folder, sizeof(folder));
  return folder;
}

// Another program's files, in its own folder: an old COM server it has
// registered, and a program that records every start.
void LayOutOutside(HostileSiteTest& t) {
  ASSERT_TRUE(CopyFileA((TestProgramFolder() + "zcom500.dll").c_str(),
                        (t.m_outside / "zb.dll").c_str(), FALSE));
  ASSERT_TRUE(CopyFileA((TestProgramFolder() + "fake_host5.exe").c_str(),
                        (t.m_outside / "murvo.exe").c_str(), FALSE));
}
}  // namespace

TEST_P(HostileSiteTest, NothingLeavesTheClientsFoldersAndTheLogSaysWhy) {
  const HostileCase& c = GetParam();
  ASSERT_TRUE(m_run.IsReady()) << "the http_server fixture did not start";
  ASSERT_NO_FATAL_FAILURE(LayOutOutside(*this));
  ASSERT_NO_FATAL_FAILURE(c.layOut(*this));
  const auto outsideBefore = Snapshot(m_outside.path());
  m_run.Run(c.answer, m_temp.path(), m_temp.path());
  const std::string log = m_run.Log();

  EXPECT_EQ(outsideBefore, Snapshot(m_outside.path())) << "another program's folder changed\n"
                                                       << log;
  EXPECT_EQ(c.registered != nullptr ? Fill(c.registered) : "<absent>",
            ReadRegString(HKEY_CURRENT_USER, kMark, "Registered"))
      << log;
  // No package is ever left behind.
  for (const auto& file : Snapshot(m_run.App()))
    EXPECT_EQ(std::string::npos, file.first.find('_')) << file.first;
  for (const std::string& line : c.logHas)
    EXPECT_NE(std::string::npos, log.find(Fill(line))) << "log lacks: " << Fill(line) << "\n"
                                                       << log;
  if (c.check != nullptr) c.check(*this);
}

INSTANTIATE_TEST_SUITE_P(
    Sites, HostileSiteTest,
    ::testing::Values(
        // The manifest names the class of another program's server: the
        // component goes to its own place, the other program's file is
        // neither replaced nor registered.
        HostileCase{
            "ClsidOfAnotherProgram",
            [](HostileSiteTest& t) {
              ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, kServerKey, "", t.m_outside / "zb.dll"));
              ASSERT_TRUE(t.ServeSite(
                  ComponentList({"zb"}) +
                  ComponentSection("zb", 4,
                                   std::string("clsid=") + kClsid + "\r\nRegisterServer=1\r\n")));
              ASSERT_TRUE(t.m_run.ServeFile("c/zb.dl_", PassPackage("zb.dl_")));
            },
            IDCANCEL,
            {"Component zb.dll: registered path {outside}zb.dll is not its own, not used"},
            [](HostileSiteTest& t) {
              EXPECT_TRUE(ReadFileText(t.m_run.App() + "zb.dll") == FixtureBytes("zcom510.dll"));
            },
            "{app}zb.dll"},
        // A genuine package served for another component, where an old file
        // of that component lies: the old file is neither stamped nor
        // registered, and the package's own file is not committed.
        HostileCase{"PackageOfAnotherComponent",
                    [](HostileSiteTest& t) {
                      ASSERT_TRUE(t.m_run.Install("zb.dll", "zcom500.dll"));
                      ASSERT_TRUE(t.ServeSite(ComponentList({"zb"}) +
                                              ComponentSection("zb", 4, "RegisterServer=1\r\n")));
                      ASSERT_TRUE(t.m_run.ServeFile("c/zb.dl_", PassPackage("za.dl_")));
                    },
                    IDCANCEL,
                    {"File signed correctly {app}zb.dl_", "Downloaded file {app}zb.dll not exist!"},
                    [](HostileSiteTest& t) {
                      EXPECT_TRUE(ReadFileText(t.m_run.App() + "zb.dll") ==
                                  FixtureBytes("zcom500.dll"));
                      EXPECT_FALSE(FileExists(t.m_run.App() + "za.dll"));
                    },
                    nullptr},
        // An installer left by an earlier run in the folder it made, and a
        // genuine package of another installer served for it: the earlier
        // run's folder is removed and nothing is started.
        HostileCase{
            "LeftoverInstaller",
            [](HostileSiteTest& t) {
              ASSERT_TRUE(CreateDirectoryA((t.m_temp / "zupdater-0badf00d").c_str(), nullptr));
              ASSERT_TRUE(CopyFileA((TestProgramFolder() + "record_args.exe").c_str(),
                                    (t.m_temp / "zupdater-0badf00d\\zcorv.exe").c_str(), FALSE));
              t.ServeRelease("zcorv.qpk", "setup.qpk");
            },
            IDOK,
            {"Downloaded file {release}zcorv.exe not exist!",
             "Invalid download file from {site}h/zcorv.qpk"},
            [](HostileSiteTest& t) {
              EXPECT_FALSE(FileExists(t.m_temp / "zupdater-0badf00d"));
              const std::string release = ReleaseFolderIn(t.m_temp.path());
              EXPECT_NE("", release);
              EXPECT_EQ("", ReadFileText(release + "args.txt"));
              EXPECT_FALSE(FileExists(release + "zcorv.exe"));
              EXPECT_FALSE(FileExists(release + "setup.exe"));
            },
            nullptr},
        // A link whose name is an installer's: the package is saved under the
        // default name and its own installer is the one started.
        HostileCase{"LinkNamingAnExe",
                    [](HostileSiteTest& t) { t.ServeRelease("setup.exe", "zcorv.qpk"); },
                    IDOK,
                    {"Image file extracted to: {release}zcorv.exe"},
                    [](HostileSiteTest& t) {
                      t.ExpectInstallerStartedSilently();
                      EXPECT_FALSE(FileExists(t.Fill("{release}setup.exe")));
                    },
                    nullptr},
        HostileCase{"LinkWithoutExtension",
                    [](HostileSiteTest& t) { t.ServeRelease("setup", "zcorv.qpk"); },
                    IDOK,
                    {"Image file extracted to: {release}zcorv.exe"},
                    [](HostileSiteTest& t) { t.ExpectInstallerStartedSilently(); },
                    nullptr},
        // The manifest may not probe files outside the client's folder by
        // their versions: such an entry does not apply.
        HostileCase{"CompareFileOutsideByItsPath",
                    [](HostileSiteTest& t) {
                      ASSERT_TRUE(t.ServeSite(std::string(kOffer) +
                                              "[New Install1]\r\nVersion=6,0,0,0\r\n"
                                              "CmpFileName={outside}murvo.exe\r\n"
                                              "Link={site}h/setup.qpk\r\n"));
                    },
                    IDOK,
                    {"Refused CmpFileName {outside}murvo.exe of [New Install1]"},
                    [](HostileSiteTest& t) {
                      EXPECT_EQ(std::vector<std::string>{}, t.m_run.Events());
                      EXPECT_EQ("", ReadFileText(t.m_temp / "args.txt"));
                    },
                    nullptr},
        HostileCase{
            "CompareFileOutsideByClimbing",
            [](HostileSiteTest& t) {
              std::string outside = t.m_outside.path();
              outside.pop_back();
              const std::string name = outside.substr(outside.rfind('\\') + 1);
              ASSERT_TRUE(t.ServeSite(std::string(kOffer) +
                                      "[New Install1]\r\nVersion=6,0,0,0\r\n"
                                      "CmpFileName=..\\" +
                                      name +
                                      "\\murvo.exe\r\n"
                                      "Link={site}h/setup.qpk\r\n"));
            },
            IDOK,
            {"Refused CmpFileName ..\\"},
            [](HostileSiteTest& t) { EXPECT_EQ(std::vector<std::string>{}, t.m_run.Events()); },
            nullptr},
        // The page names another folder's program to be started at the end:
        // refused; the command line's host client is the one started again.
        HostileCase{"PageNamesAnotherProgram",
                    [](HostileSiteTest& t) {
                      ASSERT_TRUE(t.ServePage("ApplicationName={outside}murvo.exe\n"));
                      ASSERT_NO_FATAL_FAILURE(t.LayOutOldComponent(5, true));
                    },
                    IDCANCEL,
                    {"Refused setting line of the client update page: "
                     "ApplicationName={outside}murvo.exe"},
                    [](HostileSiteTest& t) {
                      EXPECT_FALSE(FileExists(t.m_outside / "args.txt"));
                      EXPECT_EQ(t.m_run.Fill(std::string(kKillLine) + kStartLine),
                                t.m_run.HostArgs());
                    },
                    nullptr},
        // A manifest over 1 MiB: none of it is used.
        HostileCase{"ManifestOverOneMebibyte",
                    [](HostileSiteTest& t) {
                      ASSERT_TRUE(t.m_run.Install("za.dll", "zcom500.dll"));
                      std::string manifest = ComponentList({"za"}) + ComponentSection("za", 4);
                      manifest += "[padding]\r\n";
                      while (manifest.size() <= 1024 * 1024)
                        manifest += "; " + std::string(98, 'x') + "\r\n";
                      ASSERT_TRUE(t.ServeSite(manifest));
                      ASSERT_TRUE(t.m_run.ServeFile("c/za.dl_", PassPackage("za.dl_")));
                    },
                    IDCANCEL,
                    {"components.html of ", "bytes is larger than 1048576 bytes, refused"},
                    [](HostileSiteTest& t) {
                      EXPECT_TRUE(ReadFileText(t.m_run.App() + "za.dll") ==
                                  FixtureBytes("zcom500.dll"));
                      for (const std::string& line : t.m_run.MainRequests())
                        EXPECT_EQ(std::string::npos, line.find("za.dl_")) << line;
                      EXPECT_FALSE(FileExists(t.m_run.App() + "components.ini"));
                    },
                    nullptr},
        // Feature sections that would grow the registry without bound.
        HostileCase{
            "FeatureFlood",
            [](HostileSiteTest& t) {
              std::string manifest = "[Features]\r\n";
              for (int f = 0; f < 3; ++f) manifest += "f" + std::to_string(f) + "=\r\n";
              for (int f = 0; f < 3; ++f) {
                manifest += "[f" + std::to_string(f) + "]\r\n";
                for (int v = 0; v < 300; ++v)
                  manifest += "v" + std::to_string(v) + "=" + std::to_string(f) + "\r\n";
              }
              ASSERT_TRUE(t.ServeSite(manifest));
            },
            IDCANCEL,
            {"Feature settings stop at f1\\v212: at most 512 values are written in a run"},
            [](HostileSiteTest&) { EXPECT_EQ(512u, CountValues(HKEY_CURRENT_USER, kFeatures)); },
            nullptr},
        // A component named as the new updater, served with a genuinely
        // signed older updater, and the page naming it as the program to
        // start at the end: had it been installed, it would have rolled the
        // updater back on its start. Nothing of it is fetched or started.
        HostileCase{"ComponentNamedAsTheNewUpdater",
                    [](HostileSiteTest& t) {
                      ASSERT_TRUE(t.ServePage("ApplicationName={app}ZUDPTEMP.EXE\n"));
                      ASSERT_TRUE(
                          t.ServeSite("[components]\r\nZUDPTEMP.EXE=\r\n[ZUDPTEMP.EXE]\r\n"
                                      "Url={site}c/ZUDPTEMP.EX_\r\nRequirement=5\r\n"
                                      "FileVersion=9,9,9,9\r\n"));
                      ASSERT_TRUE(t.m_run.ServeFile("c/ZUDPTEMP.EX_", OldUpdaterPackage()));
                      ASSERT_TRUE(t.m_run.StartHostClient());
                    },
                    IDCANCEL,
                    {"Component ZUDPTEMP.EXE refused: no safe place for its file",
                     "Refused setting line of the client update page: "
                     "ApplicationName={app}ZUDPTEMP.EXE"},
                    [](HostileSiteTest& t) {
                      t.ExpectUpdaterUntouched();
                      for (const std::string& line : t.m_run.MainRequests())
                        EXPECT_EQ(std::string::npos, line.find("ZUDPTEMP")) << line;
                      // Nothing pending: the host client is neither closed nor started.
                      EXPECT_EQ("", t.m_run.HostArgs());
                      EXPECT_TRUE(t.m_run.HostClientRunning());
                    },
                    nullptr},
        // A release whose link names the new updater, served with a
        // genuinely signed older updater: saved under the default name, its
        // installer is not found, and no updater runs from the temporary
        // folder.
        HostileCase{"ReleaseNamedAsTheNewUpdater",
                    [](HostileSiteTest& t) {
                      ASSERT_TRUE(t.ServeSite(std::string(kOffer) +
                                              "[New Install1]\r\nVersion=6,0,0,0\r\n"
                                              "Link={site}h/ZUDPTEMP.qpk\r\n"));
                      ASSERT_TRUE(t.m_run.ServeFile("h/ZUDPTEMP.qpk", OldUpdaterPackage()));
                    },
                    IDOK,
                    {"Downloaded file {release}zcorv.exe not exist!",
                     "Invalid download file from {site}h/ZUDPTEMP.qpk"},
                    [](HostileSiteTest& t) {
                      t.ExpectUpdaterUntouched();
                      const std::string release = t.Fill("{release}");
                      for (const std::string& folder : {t.m_temp.path(), release}) {
                        EXPECT_FALSE(FileExists(folder + "ZUDPTEMP.exe")) << folder;
                        EXPECT_FALSE(FileExists(folder + "zupdater.exe")) << folder;
                        EXPECT_FALSE(FileExists(folder + "logs")) << folder;
                      }
                    },
                    nullptr},
        // The page names the updater itself as the program to start at the
        // end: every run would start the next one. The host client of the
        // command line is started again, and the updater runs once.
        HostileCase{"PageStartsTheUpdaterItself",
                    [](HostileSiteTest& t) {
                      ASSERT_TRUE(t.ServePage("ApplicationName={app}zupdater.exe\n"));
                      ASSERT_NO_FATAL_FAILURE(t.LayOutOldComponent(5, true));
                    },
                    IDCANCEL,
                    {"Refused setting line of the client update page: "
                     "ApplicationName={app}zupdater.exe"},
                    [](HostileSiteTest& t) {
                      EXPECT_EQ(t.m_run.Fill(std::string(kKillLine) + kStartLine),
                                t.m_run.HostArgs());
                      // The run waited for every program of the folder: an updater
                      // started again would have asked for the page again.
                      size_t pages = 0;
                      for (const std::string& line : t.m_run.MainRequests())
                        if (line == t.m_run.Get("corvcli.html")) ++pages;
                      EXPECT_EQ(1u, pages);
                    },
                    nullptr},
        // The same in a subfolder, written with a slash.
        HostileCase{"PageNamesAProgramInASubfolder",
                    [](HostileSiteTest& t) {
                      ASSERT_TRUE(CreateDirectoryA((t.m_run.App() + "plugins").c_str(), nullptr));
                      ASSERT_TRUE(CopyFileA((TestProgramFolder() + "record_args.exe").c_str(),
                                            (t.m_run.App() + "plugins\\prog.exe").c_str(), FALSE));
                      ASSERT_TRUE(t.ServePage("ApplicationName={app}plugins/prog.exe\n"));
                      ASSERT_NO_FATAL_FAILURE(t.LayOutOldComponent(5, true));
                    },
                    IDCANCEL,
                    {"Refused setting line of the client update page: "
                     "ApplicationName={app}plugins/prog.exe"},
                    [](HostileSiteTest& t) {
                      EXPECT_FALSE(FileExists(t.m_run.App() + "plugins\\args.txt"));
                      EXPECT_EQ(t.m_run.Fill(std::string(kKillLine) + kStartLine),
                                t.m_run.HostArgs());
                    },
                    nullptr},
        // Feature values of earlier runs fill the registry's budget: a run
        // adds only what still fits, whatever its own cap.
        HostileCase{"FeatureFloodAcrossRuns",
                    [](HostileSiteTest& t) {
                      const std::string old = std::string(kFeatures) + "\\old";
                      for (int v = 0; v < 1000; ++v)
                        ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, old.c_str(),
                                                 ("v" + std::to_string(v)).c_str(), "x"));
                      std::string manifest =
                          "[Features]\r\nold=\r\nf=\r\n[old]\r\nv0=new\r\n[f]\r\n";
                      for (int v = 0; v < 100; ++v) manifest += "v" + std::to_string(v) + "=1\r\n";
                      ASSERT_TRUE(t.ServeSite(manifest));
                    },
                    IDCANCEL,
                    {"Feature settings add nothing new from f\\v22 on: at most 1024 keys and "
                     "values are kept"},
                    [](HostileSiteTest&) {
                      // 2 keys and their values: 1024 in all.
                      EXPECT_EQ(1022u, CountValues(HKEY_CURRENT_USER, kFeatures));
                      const std::string feature = std::string(kFeatures) + "\\f";
                      EXPECT_EQ("1", ReadRegString(HKEY_CURRENT_USER, feature.c_str(), "v21"));
                      EXPECT_EQ("<absent>",
                                ReadRegString(HKEY_CURRENT_USER, feature.c_str(), "v22"));
                      const std::string old = std::string(kFeatures) + "\\old";
                      EXPECT_EQ("new", ReadRegString(HKEY_CURRENT_USER, old.c_str(), "v0"));
                    },
                    nullptr},
        // A server date far ahead never makes a component newer: no request
        // for it, and the installed file stays.
        HostileCase{
            "ComponentDatedFarAhead",
            [](HostileSiteTest& t) {
              ASSERT_TRUE(t.m_run.Install("za.dll", "zcom500.dll"));
              ASSERT_TRUE(t.ServeSite(ComponentList({"za"}) + "[za.dll]\r\nUrl={site}c/za.dl_\r\n"
                                                              "Requirement=4\r\n"));
              ASSERT_TRUE(t.m_run.ServeFile("c/za.dl_", PassPackage("za.dl_")));
              ASSERT_TRUE(t.m_run.SetRule("c/za.dl_", "last_modified=4070908800"));
            },
            IDCANCEL,
            {"Server date of {site}c/za.dl_ is more than a day ahead: it does not "
             "count as newer"},
            [](HostileSiteTest& t) {
              EXPECT_TRUE(ReadFileText(t.m_run.App() + "za.dll") == FixtureBytes("zcom500.dll"));
              for (const std::string& line : t.m_run.MainRequests())
                EXPECT_NE(t.m_run.Get("c/za.dl_"), line);
            },
            nullptr},
        // Fetched for its version, a component dated far ahead is stamped
        // with the current time, not the server's.
        HostileCase{"ComponentDatedFarAheadFetchedForItsVersion",
                    [](HostileSiteTest& t) {
                      ASSERT_TRUE(t.m_run.Install("za.dll", "zcom500.dll"));
                      ASSERT_TRUE(t.ServeSite(ComponentList({"za"}) + ComponentSection("za", 4)));
                      ASSERT_TRUE(t.m_run.ServeFile("c/za.dl_", PassPackage("za.dl_")));
                      ASSERT_TRUE(t.m_run.SetRule("c/za.dl_", "last_modified=4070908800"));
                    },
                    IDCANCEL,
                    {"Server date of {site}c/za.dl_ is more than a day ahead"},
                    [](HostileSiteTest& t) {
                      EXPECT_TRUE(ReadFileText(t.m_run.App() + "za.dll") ==
                                  FixtureBytes("zcom510.dll"));
                      FILETIME now;
                      GetSystemTimeAsFileTime(&now);
                      const ULONGLONG current =
                          (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
                      constexpr ULONGLONG kHour = 3600ULL * 10000000ULL;
                      const ULONGLONG stamp = LastWriteTime(t.m_run.App() + "za.dll");
                      EXPECT_LE(stamp, current + kHour);
                      EXPECT_GE(stamp + kHour, current);
                    },
                    nullptr},
        // A genuine package of two files for a component placed in the
        // system folder: it would bring the second file into that folder
        // too. Neither is placed.
        HostileCase{"SystemFolderPackageWithAnotherFile",
                    [](HostileSiteTest& t) {
                      ASSERT_TRUE(t.ServeSite(ComponentList({"zm"}) +
                                              ComponentSection("zm", 4, "DestDir=2,wbem\\\r\n")));
                      ASSERT_TRUE(t.m_run.ServeFile("c/zm.dl_", PassPackage("zm.dl_")));
                    },
                    IDCANCEL,
                    {"refused: it holds zx.txt beside its own file"},
                    [](HostileSiteTest&) {
                      const std::string wbem = SystemFolderPath() + "\\wbem\\";
                      EXPECT_FALSE(FileExists(wbem + "zx.txt"));
                      EXPECT_FALSE(FileExists(wbem + "zm.dll"));
                      EXPECT_FALSE(FileExists(wbem + "zm.dl_"));
                      DeleteFileA((wbem + "zx.txt").c_str());
                      DeleteFileA((wbem + "zm.dll").c_str());
                    },
                    nullptr},
        // A release link with the name of another program's file in the
        // temporary folder: that program's files stay as they are.
        HostileCase{"ReleaseLinkWithAnotherProgramsName",
                    [](HostileSiteTest& t) {
                      ASSERT_TRUE(CopyFileA((TestProgramFolder() + "record_args.exe").c_str(),
                                            (t.m_temp / "notes.exe").c_str(), FALSE));
                      ASSERT_TRUE(WriteFileText(t.m_temp / "notes.dat", "another program's"));
                      t.ServeRelease("notes.dat", "zcorv.qpk");
                    },
                    IDOK,
                    {"Downloaded file {release}notes.exe not exist!"},
                    [](HostileSiteTest& t) {
                      EXPECT_TRUE(ReadFileText(t.m_temp / "notes.exe") ==
                                  ReadFileText(TestProgramFolder() + "record_args.exe"));
                      EXPECT_EQ("another program's", ReadFileText(t.m_temp / "notes.dat"));
                      EXPECT_FALSE(FileExists(t.m_temp / "args.txt"));
                    },
                    nullptr},
        // A package that fails the manifest's sizes is deleted, and the log
        // says which check it failed.
        HostileCase{"PackageFailsItsSize",
                    [](HostileSiteTest& t) {
                      ASSERT_TRUE(t.m_run.Install("za.dll", "zcom500.dll"));
                      ASSERT_TRUE(t.ServeSite(ComponentList({"za"}) +
                                              ComponentSection("za", 4, "{badsize1:za}")));
                      ASSERT_TRUE(t.m_run.ServeFile("c/za.dl_", PassPackage("za.dl_")));
                    },
                    IDCANCEL,
                    {"Downloaded file {app}za.dl_ does not match Size1 of [za.dll]"},
                    [](HostileSiteTest& t) {
                      EXPECT_TRUE(ReadFileText(t.m_run.App() + "za.dll") ==
                                  FixtureBytes("zcom500.dll"));
                    },
                    nullptr},
        // Deadlines, at a tenth of their length: a response within 12 s, a
        // body within (120 s + its length at 4 KiB/s) / 10. A package that
        // drips while the host client waits closed: cut, nothing installed,
        // the client started again.
        HostileCase{
            "PackageDripsWhileTheHostClientWaits",
            [](HostileSiteTest& t) {
              t.m_run.SetTimeScale(10);
              ASSERT_TRUE(t.m_run.Install("zb.dll", "zcom500.dll"));
              ASSERT_TRUE(t.ServeSite(ComponentList({"zb"}) + ComponentSection("zb", 5)));
              ASSERT_TRUE(t.m_run.ServeFile("c/zb.dl_", PassPackage("zb.dl_")));
              ASSERT_TRUE(t.m_run.SetRule("c/zb.dl_", "drip=0.5"));
              ASSERT_TRUE(t.m_run.StartHostClient());
            },
            IDCANCEL,
            {"Request for {site}c/zb.dl_ cut: body not received within "},
            [](HostileSiteTest& t) {
              EXPECT_TRUE(ReadFileText(t.m_run.App() + "zb.dll") == FixtureBytes("zcom500.dll"));
              EXPECT_EQ(t.m_run.Fill(std::string(kKillLine) + kStartLine), t.m_run.HostArgs());
            },
            nullptr},
        HostileCase{"PageHeadersDrip",
                    [](HostileSiteTest& t) {
                      t.m_run.SetTimeScale(10);
                      ASSERT_TRUE(t.ServePage(""));
                      ASSERT_TRUE(t.m_run.SetRule("corvcli.html", "drip_headers=0.5"));
                      ASSERT_NO_FATAL_FAILURE(t.LayOutOldComponent(4, false));
                    },
                    IDCANCEL,
                    {"corvcli.html cut: no response within 12 s\r\n"},
                    [](HostileSiteTest& t) {
                      EXPECT_TRUE(ReadFileText(t.m_run.App() + "zb.dll") ==
                                  FixtureBytes("zcom500.dll"));
                    },
                    nullptr},
        // A package URL whose server takes the connection and never starts
        // TLS.
        HostileCase{"PackageOnASilentHttpsPort",
                    [](HostileSiteTest& t) {
                      t.m_run.SetTimeScale(10);
                      ASSERT_TRUE(t.m_run.Install("zb.dll", "zcom500.dll"));
                      const std::string silent =
                          "https://127.0.0.1:" + std::to_string(t.m_run.Server().SilentPort()) +
                          t.m_run.Prefix();
                      ASSERT_TRUE(t.ServeSite(ComponentList({"zb"}) +
                                              ComponentSection("zb", 4, "", silent)));
                    },
                    IDCANCEL,
                    {"c/zb.dl_ cut: no response within 12 s\r\n"},
                    [](HostileSiteTest& t) {
                      EXPECT_TRUE(ReadFileText(t.m_run.App() + "zb.dll") ==
                                  FixtureBytes("zcom500.dll"));
                    },
                    nullptr},
        // A component announced at 4 GB: refused before its file exists.
        HostileCase{"ComponentOfFourGigabytes",
                    [](HostileSiteTest& t) {
                      ASSERT_TRUE(t.m_run.Install("zb.dll", "zcom500.dll"));
                      ASSERT_TRUE(t.ServeSite(ComponentList({"zb"}) + ComponentSection("zb", 4)));
                      ASSERT_TRUE(t.m_run.ServeFile("c/zb.dl_", PassPackage("zb.dl_")));
                      ASSERT_TRUE(t.m_run.SetRule("c/zb.dl_", "length=4000000000"));
                    },
                    IDCANCEL,
                    {"{site}c/zb.dl_ announces 4000000000 bytes, more than the 134217728 allowed, "
                     "refused\r\n"},
                    [](HostileSiteTest& t) {
                      EXPECT_TRUE(ReadFileText(t.m_run.App() + "zb.dll") ==
                                  FixtureBytes("zcom500.dll"));
                    },
                    nullptr}),
    [](const ::testing::TestParamInfo<HostileCase>& info) {
      return std::string(info.param.label);
    });

// The real zupdater.exe updating itself against the local test server: the
// whole relay of three processes, the packages it must refuse, and a package
// kept on another server than the client update page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http_test_server.h"
#include "reg_values.h"
#include "test_support.h"

namespace {
constexpr DWORD kRunTimeoutMs = 60000;
const char kZindoKey[] = "SOFTWARE\\Zindo";
const char kMurvoKey[] = "SOFTWARE\\Zindo\\Murvo";
// Dates of the installed updater and of the server's package (epoch seconds).
constexpr long long kInstalledEpoch = 1704067200;  // 2024-01-01 00:00:00 UTC
const char kNewerPackage[] = "last_modified=1704153600";
const char kSamePackage[] = "last_modified=1704067200";
const char kNotHigher[] = "its version is not higher than the installed updater's\r\n";
const char kUpdateKey[] = "SOFTWARE\\Zindo\\Murvo\\Update";

std::string Package(const std::string& name) { return TestProgramFolder() + "packages\\" + name; }

bool SetLastWrite(const std::string& path, long long epochSeconds) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ULONGLONG time = (static_cast<ULONGLONG>(epochSeconds) + 11644473600ULL) * 10000000ULL;
  FILETIME stamp = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  BOOL ok = SetFileTime(file, nullptr, nullptr, &stamp);
  CloseHandle(file);
  return ok != FALSE;
}

class SelfUpdateE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.IsRunning()) << "the http_server fixture did not start";
    ASSERT_NE(0u, m_server.AltPort()) << "the test server has no second server";
    m_prefix = TestPathPrefix();
    m_server.Clear(m_prefix);
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kMurvoKey, "LogUpdate", 0));
    ASSERT_TRUE(CopyFileA(UpdaterExePath().c_str(), (m_app / "zupdater.exe").c_str(), FALSE));
    ASSERT_TRUE(SetLastWrite(m_app / "zupdater.exe", kInstalledEpoch));
    CreateDirectoryA((m_app / "logs").c_str(), nullptr);
    ASSERT_TRUE(
        WriteFileText(m_server.ServedPath(m_prefix + "m/components.html"), "[New Install]\r\n"));
  }
  void TearDown() override { WaitForProgramsIn(m_app.path(), kRunTimeoutMs); }

  std::string Site() const { return m_server.Url(m_prefix); }
  std::string Path(const std::string& name) const { return m_prefix + name; }
  void ServePage(const std::string& packageFolderUrl) {
    ASSERT_TRUE(WriteFileText(
        m_server.ServedPath(m_prefix + "corvcli.html"),
        "MURVO-FOLDER=" + Site() + "m/\nPATCHKEEPER-FOLDER=" + packageFolderUrl + "\n"));
  }
  void ServePackage(const std::string& fixture) {
    ASSERT_TRUE(CopyFileA(Package(fixture).c_str(),
                          m_server.ServedPath(m_prefix + "p/zupdater.qpk").c_str(), FALSE));
  }
  // Starts zupdater.exe as the host client would and waits for that process.
  std::string CommandLine() const {
    return "ServerPage=" + Site() + "corvcli.html;ApplicationName=" + m_app.path() + "murvo.exe";
  }
  void Run() {
    EXPECT_EQ(0u, RunProgram("\"" + (m_app / "zupdater.exe") + "\" " + CommandLine(), m_app.path(),
                             kRunTimeoutMs));
  }
  std::string Log() const { return ReadFileText(m_app / "logs\\updater.log"); }
  // The refused updater package's date as recorded, in seconds since 1970.
  std::string RecordedRefusal() const {
    const std::string text = ReadRegString(HKEY_CURRENT_USER, kUpdateKey, "RefusedUpdaterDate");
    if (text == "<absent>") return text;
    return std::to_string(_strtoui64(text.c_str(), nullptr, 10) / 10000000ULL - 11644473600ULL);
  }
  // Until the new updater, started by the relay, has asked for the manifest
  // and every program of the folder has ended.
  void WaitForTheRelay() {
    ASSERT_TRUE(WaitUntil(
        [&] {
          return m_server.Requests(m_prefix).find("components.html") != std::string::npos &&
                 !FileExists(m_app / "ZUDPTEMP.EXE");
        },
        kRunTimeoutMs))
        << m_server.Requests(m_prefix);
    ASSERT_TRUE(WaitForProgramsIn(m_app.path(), kRunTimeoutMs));
  }

  CZHttpTestServer m_server;
  std::string m_prefix;
  CZScopedRegTree m_cleanup{HKEY_CURRENT_USER, kZindoKey};
  CZTempFolder m_app{"selfupd"};
};
}  // namespace

// Old updater -> ZUDPTEMP.EXE -> new zupdater.exe, which finds itself current
// and goes on to the manifest.
TEST_F(SelfUpdateE2eTest, WholeRelayReplacesTheUpdater) {
  // A host client that records every start: none of the three may start it.
  ASSERT_TRUE(CopyFileA((TestProgramFolder() + "fake_host5.exe").c_str(),
                        (m_app / "murvo.exe").c_str(), FALSE));
  ServePage(Site() + "p/");
  ServePackage("zupdater_new.qpk");
  ASSERT_TRUE(m_server.SetRule(Path("p/zupdater.qpk"), kNewerPackage));
  Run();
  // The next process waits a second before it replaces anything: this is
  // what the first run alone did and wrote.
  const std::string firstLog = Log();
  const std::vector<std::string> firstRequests = RequestLines(m_server.Requests(m_prefix));
  EXPECT_NE(std::string::npos, firstLog.find("Successfully downloaded Update File.\r\n"))
      << firstLog;
  EXPECT_NE(std::string::npos, firstLog.find("ZUpdater needs update\r\n")) << firstLog;
  EXPECT_EQ(std::string::npos, firstLog.find("components.html")) << firstLog;
  EXPECT_EQ((std::vector<std::string>{"GET " + Path("corvcli.html") + " HTTP/1.0",
                                      "HEAD " + Path("p/zupdater.qpk") + " HTTP/1.0",
                                      "GET " + Path("p/zupdater.qpk") + " HTTP/1.0"}),
            firstRequests);

  ASSERT_NO_FATAL_FAILURE(WaitForTheRelay());

  EXPECT_EQ((std::vector<std::string>{"GET " + Path("corvcli.html") + " HTTP/1.0",
                                      "HEAD " + Path("p/zupdater.qpk") + " HTTP/1.0",
                                      "GET " + Path("p/zupdater.qpk") + " HTTP/1.0",
                                      "GET " + Path("corvcli.html") + " HTTP/1.0",
                                      "HEAD " + Path("p/zupdater.qpk") + " HTTP/1.0",
                                      "GET " + Path("m/components.html") + " HTTP/1.0"}),
            RequestLines(m_server.Requests(m_prefix)));
  const std::string installed = ReadFileText(m_app / "zupdater.exe");
  EXPECT_TRUE(installed == ReadFileText(Package("zupdater_next.exe")))
      << "zupdater.exe is not the updater from the package";
  EXPECT_FALSE(installed == ReadFileText(UpdaterExePath()));
  EXPECT_FALSE(FileExists(m_app / "ZUDPTEMP.EXE"));
  EXPECT_FALSE(FileExists(m_app / "ZUDPTEMP.EX_"));
  // The log is the new updater's own run.
  const std::string lastLog = Log();
  EXPECT_NE(std::string::npos, lastLog.find("ZUpdater does not need update\r\n")) << lastLog;
  EXPECT_NE(std::string::npos, lastLog.find("components.html downloaded successfully")) << lastLog;
  // The host client was neither closed nor started by any of the three.
  EXPECT_FALSE(FileExists(m_app / "args.txt"));
}

// A relay whose start a kill of its updater cut off stays suspended, never
// ends, and holds ZUDPTEMP.EXE open: the next run ends it and updates.
TEST_F(SelfUpdateE2eTest, SuspendedRelayLeftByAKillDoesNotBlockTheUpdate) {
  ASSERT_TRUE(
      CopyFileA(Package("zupdater_next.exe").c_str(), (m_app / "ZUDPTEMP.EXE").c_str(), FALSE));
  std::string line = "\"" + (m_app / "ZUDPTEMP.EXE") + "\" " + CommandLine();
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION stuck = {};
  ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                             m_app.path().c_str(), &startup, &stuck));
  CloseHandle(stuck.hThread);
  ServePage(Site() + "p/");
  ServePackage("zupdater_new.qpk");
  ASSERT_TRUE(m_server.SetRule(Path("p/zupdater.qpk"), kNewerPackage));
  Run();
  ASSERT_NO_FATAL_FAILURE(WaitForTheRelay());
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(stuck.hProcess, 0)) << "the stuck relay still runs";
  CloseHandle(stuck.hProcess);
  EXPECT_TRUE(ReadFileText(m_app / "zupdater.exe") == ReadFileText(Package("zupdater_next.exe")));
  EXPECT_FALSE(FileExists(m_app / "ZUDPTEMP.EXE"));
  EXPECT_NE(std::string::npos, Log().find("components.html downloaded successfully")) << Log();
}

// zupdater.exe held open by another program (a scanner, an updater a kill
// left suspended): the relay cannot put the new one in place and starts the
// old one again, which does not fetch the package once more in that run
// (the two would start each other for as long as the file is held) and goes
// on with the update; the next run replaces the updater.
TEST_F(SelfUpdateE2eTest, UpdaterHeldOpenIsNotFetchedAgainInTheSameRun) {
  ServePage(Site() + "p/");
  ServePackage("zupdater_new.qpk");
  ASSERT_TRUE(m_server.SetRule(Path("p/zupdater.qpk"), kNewerPackage));
  const std::string old = ReadFileText(m_app / "zupdater.exe");
  HANDLE held = CreateFileA((m_app / "zupdater.exe").c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  Run();
  WaitForTheRelay();
  CloseHandle(held);
  const std::string requests = m_server.Requests(m_prefix);
  size_t fetched = 0;
  for (size_t at = 0;
       (at = requests.find("GET " + Path("p/zupdater.qpk"), at)) != std::string::npos; ++at)
    ++fetched;
  EXPECT_EQ(1u, fetched) << requests;
  EXPECT_TRUE(old == ReadFileText(m_app / "zupdater.exe"));
  EXPECT_NE(std::string::npos, Log().find("could not replace " + (m_app / "zupdater.exe") +
                                          " in the last run, not fetched again now\r\n"))
      << Log();
  EXPECT_EQ("<absent>", ReadRegString(HKEY_CURRENT_USER, kUpdateKey, "UnreplacedUpdaterDate"));

  ASSERT_TRUE(m_server.Clear(m_prefix));
  ASSERT_TRUE(m_server.SetRule(Path("p/zupdater.qpk"), kNewerPackage));
  Run();
  WaitForTheRelay();
  EXPECT_TRUE(ReadFileText(m_app / "zupdater.exe") == ReadFileText(Package("zupdater_next.exe")));
}

// What the server offers that must not replace the updater.
struct RefusedPackage {
  const char* name;
  const char* fixture;
  const char* rule;
  const char* logged = nullptr;  // a line the log must hold, when given
  bool remembered = false;       // its server date is recorded as refused
};
void PrintTo(const RefusedPackage& c, std::ostream* os) { *os << c.name; }

class SelfUpdateRefusalE2eTest : public SelfUpdateE2eTest,
                                 public ::testing::WithParamInterface<RefusedPackage> {};

TEST_P(SelfUpdateRefusalE2eTest, RunEndsWithNothingLeftAndNothingStarted) {
  const RefusedPackage& c = GetParam();
  // A host client that records every start: a restart would show here.
  ASSERT_TRUE(CopyFileA((TestProgramFolder() + "fake_host5.exe").c_str(),
                        (m_app / "murvo.exe").c_str(), FALSE));
  ServePage(Site() + "p/");
  ServePackage(c.fixture);
  ASSERT_TRUE(m_server.SetRule(Path("p/zupdater.qpk"), c.rule));
  const std::string before = ReadFileText(m_app / "zupdater.exe");
  Run();
  ASSERT_TRUE(WaitForProgramsIn(m_app.path(), kRunTimeoutMs));
  const std::string log = Log();
  EXPECT_NE(std::string::npos, log.find("ZUpdater update failed!\r\n")) << log;
  EXPECT_EQ(std::string::npos, log.find("ZUpdater needs update")) << log;
  EXPECT_FALSE(FileExists(m_app / "ZUDPTEMP.EXE"));
  EXPECT_FALSE(FileExists(m_app / "ZUDPTEMP.EX_"));
  EXPECT_TRUE(before == ReadFileText(m_app / "zupdater.exe"));
  EXPECT_FALSE(FileExists(m_app / "args.txt")) << ReadFileText(m_app / "args.txt");
  // Nothing of a refused package is committed, whatever else it holds.
  EXPECT_FALSE(FileExists(m_app / "readme.txt"));
  const std::string seen = m_server.Requests(m_prefix);
  EXPECT_NE(std::string::npos, seen.find("GET " + Path("p/zupdater.qpk"))) << seen;
  EXPECT_EQ(std::string::npos, seen.find("components.html")) << seen;
  if (c.logged != nullptr) EXPECT_NE(std::string::npos, log.find(c.logged)) << log;
  // Only a genuine package refused for its version is remembered by its
  // date: the others may be a fault on the way and are fetched again.
  EXPECT_EQ(c.remembered ? "1704153600" : "<absent>", RecordedRefusal());
}

INSTANTIATE_TEST_SUITE_P(
    Table, SelfUpdateRefusalE2eTest,
    ::testing::Values(
        RefusedPackage{"SignedByAnotherKey", "zupdater_otherkey.qpk", kNewerPackage},
        RefusedPackage{"WithoutTheNewUpdater", "zupdater_notarget.qpk", kNewerPackage},
        RefusedPackage{"NotFound", "zupdater_new.qpk", "status=404"},
        RefusedPackage{"BodyCutShort", "zupdater_new.qpk",
                       "last_modified=1704153600&close_after=40000"},
        // Genuinely signed, but an older release: no rollback.
        RefusedPackage{"OlderRelease", "zupdater_old.qpk", kNewerPackage, kNotHigher, true},
        // The same, with a second file: neither is committed.
        RefusedPackage{"OlderReleaseWithAnotherFile", "zupdater_old_extra.qpk", kNewerPackage,
                       kNotHigher, true},
        // Another build of the installed version: only a higher
        // version replaces the updater.
        RefusedPackage{"SameVersionOtherBuild", "zupdater_same.qpk", kNewerPackage, kNotHigher,
                       true}),
    [](const ::testing::TestParamInfo<RefusedPackage>& info) {
      return std::string(info.param.name);
    });

// A server date far ahead (2099) never makes the updater's package newer:
// fetched for it, the new updater would be stamped with the current time and
// the next run's check would find the package newer again, on every run. The
// run goes on as with a current updater, whatever the package holds.
TEST_F(SelfUpdateE2eTest, PackageDatedFarAheadIsNotFetched) {
  ASSERT_TRUE(CopyFileA((TestProgramFolder() + "fake_host5.exe").c_str(),
                        (m_app / "murvo.exe").c_str(), FALSE));
  ServePage(Site() + "p/");
  for (const char* fixture : {"zupdater_new.qpk", "zupdater_old.qpk"}) {
    SCOPED_TRACE(fixture);
    m_server.Clear(m_prefix);
    ServePackage(fixture);
    ASSERT_TRUE(m_server.SetRule(Path("p/zupdater.qpk"), "last_modified=4070908800"));
    const std::string before = ReadFileText(m_app / "zupdater.exe");
    Run();
    ASSERT_TRUE(WaitForProgramsIn(m_app.path(), kRunTimeoutMs));
    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("is more than a day ahead: it does not count as newer"))
        << log;
    EXPECT_NE(std::string::npos, log.find("ZUpdater does not need update\r\n")) << log;
    EXPECT_EQ((std::vector<std::string>{"GET " + Path("corvcli.html") + " HTTP/1.0",
                                        "HEAD " + Path("p/zupdater.qpk") + " HTTP/1.0",
                                        "GET " + Path("m/components.html") + " HTTP/1.0"}),
              RequestLines(m_server.Requests(m_prefix)));
    EXPECT_TRUE(before == ReadFileText(m_app / "zupdater.exe"));
    EXPECT_FALSE(FileExists(m_app / "ZUDPTEMP.EXE"));
  }
}

// A genuine package refused for its version is remembered by its server
// date: the next run does not fetch it again (nor does any run, until the
// server offers a package of another date), and goes on with the manifest.
TEST_F(SelfUpdateE2eTest, RefusedPackageIsNotFetchedAgain) {
  ASSERT_TRUE(CopyFileA((TestProgramFolder() + "fake_host5.exe").c_str(),
                        (m_app / "murvo.exe").c_str(), FALSE));
  ServePage(Site() + "p/");
  ServePackage("zupdater_old.qpk");
  ASSERT_TRUE(m_server.SetRule(Path("p/zupdater.qpk"), kNewerPackage));
  Run();
  ASSERT_TRUE(WaitForProgramsIn(m_app.path(), kRunTimeoutMs));
  ASSERT_NE(std::string::npos, Log().find(kNotHigher)) << Log();
  m_server.Clear(m_prefix);
  ASSERT_TRUE(m_server.SetRule(Path("p/zupdater.qpk"), kNewerPackage));

  Run();
  ASSERT_TRUE(WaitForProgramsIn(m_app.path(), kRunTimeoutMs));
  const std::string log = Log();
  EXPECT_NE(std::string::npos, log.find("of this date was refused before, not fetched again"))
      << log;
  EXPECT_EQ((std::vector<std::string>{"GET " + Path("corvcli.html") + " HTTP/1.0",
                                      "HEAD " + Path("p/zupdater.qpk") + " HTTP/1.0",
                                      "GET " + Path("m/components.html") + " HTTP/1.0"}),
            RequestLines(m_server.Requests(m_prefix)));

  // A package of another date is fetched (and, still older, refused again).
  m_server.Clear(m_prefix);
  ASSERT_TRUE(m_server.SetRule(Path("p/zupdater.qpk"), "last_modified=1704240000"));
  Run();
  ASSERT_TRUE(WaitForProgramsIn(m_app.path(), kRunTimeoutMs));
  EXPECT_NE(std::string::npos, m_server.Requests(m_prefix).find("GET " + Path("p/zupdater.qpk")))
      << m_server.Requests(m_prefix);
  EXPECT_EQ("1704240000", RecordedRefusal());
}

// The updater's package on another server (another port) than the page:
// the manifest is still asked of the page's server.
TEST_F(SelfUpdateE2eTest, PackageOnAnotherServerLeavesThePageServerForTheManifest) {
  ServePage(m_server.AltUrl(m_prefix + "p/"));
  ServePackage("zupdater_new.qpk");
  ASSERT_TRUE(m_server.SetAltRule(Path("p/zupdater.qpk"), kSamePackage));
  Run();
  ASSERT_TRUE(WaitForProgramsIn(m_app.path(), kRunTimeoutMs));
  EXPECT_EQ((std::vector<std::string>{"HEAD " + Path("p/zupdater.qpk") + " HTTP/1.0"}),
            RequestLines(m_server.AltRequests(m_prefix)));
  EXPECT_EQ((std::vector<std::string>{"GET " + Path("corvcli.html") + " HTTP/1.0",
                                      "GET " + Path("m/components.html") + " HTTP/1.0"}),
            RequestLines(m_server.Requests(m_prefix)));
  const std::string log = Log();
  EXPECT_NE(std::string::npos, log.find("ZUpdater does not need update\r\n")) << log;
}

// The same with a newer package there: it is fetched from that server, and
// the run ends for the relay without asking either server for more.
TEST_F(SelfUpdateE2eTest, NewerPackageOnAnotherServerIsFetchedFromIt) {
  ServePage(m_server.AltUrl(m_prefix + "p/"));
  ServePackage("zupdater_new.qpk");
  ASSERT_TRUE(m_server.SetAltRule(Path("p/zupdater.qpk"), kNewerPackage));
  Run();
  const std::vector<std::string> alt = RequestLines(m_server.AltRequests(m_prefix));
  const std::vector<std::string> page = RequestLines(m_server.Requests(m_prefix));
  ASSERT_TRUE(WaitForProgramsIn(m_app.path(), kRunTimeoutMs));
  EXPECT_EQ((std::vector<std::string>{"HEAD " + Path("p/zupdater.qpk") + " HTTP/1.0",
                                      "GET " + Path("p/zupdater.qpk") + " HTTP/1.0"}),
            alt);
  EXPECT_EQ((std::vector<std::string>{"GET " + Path("corvcli.html") + " HTTP/1.0"}), page);
}

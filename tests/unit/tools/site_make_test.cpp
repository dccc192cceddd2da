// zpkg site makes, from a release description, the site the updater reads:
// every package signed and holding its target, the manifest's numbers taken
// from the files themselves, every file dated. What the updater would refuse
// is refused with a clear reason, and nothing is left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "pe_builder.h"
#include "site_fixture.h"
#include "tools/ini_text.h"
#include "tools/package_sizes.h"

namespace {
time_t ModifiedAt(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_mtime : -1;
}

TEST(SiteMakeTest, TheManifestTakesItsNumbersFromTheFiles) {
  CZTestRelease release;
  std::string reasons;
  ASSERT_TRUE(release.Make(&reasons)) << reasons;
  CZIniText manifest;
  manifest.Parse(release.Read("m/components.html"));
  EXPECT_EQ((std::vector<std::string>{"zcomp.dll", "zplug.dll"}), manifest.KeyNames("components"));
  for (const char* name : {"zcomp.dll", "zplug.dll"}) {
    SCOPED_TRACE(name);
    std::string served = name;
    served.back() = '_';
    CZPackageSizes sizes;
    ASSERT_TRUE(ComputePackageSizes(release.Site() + "/m/c/" + served, &sizes, &reasons));
    EXPECT_EQ(std::to_string(sizes.size1), manifest.GetOr(name, "Size1", ""));
    EXPECT_EQ(std::to_string(sizes.size2), manifest.GetOr(name, "Size2", ""));
    EXPECT_EQ("5,1,0,0", manifest.GetOr(name, "FileVersion", ""));
    EXPECT_EQ(kTestBaseUrl + std::string("m/c/") + served, manifest.GetOr(name, "Url", ""));
  }
  EXPECT_EQ("4", manifest.GetOr("zcomp.dll", "Requirement", ""));
  EXPECT_EQ("1", manifest.GetOr("zcomp.dll", "RegisterServer", ""));
  EXPECT_EQ("{0BE35203-8F91-11CE-9DE3-00AA004BB851}", manifest.GetOr("zcomp.dll", "clsid", ""));
  EXPECT_EQ("1,plugins\\", manifest.GetOr("zplug.dll", "DestDir", ""));
  EXPECT_EQ("2", manifest.GetOr("zplug.dll", "Requirement", ""));
  EXPECT_EQ((std::vector<std::string>{"chat"}), manifest.KeyNames("Features"));
  EXPECT_EQ("blue", manifest.GetOr("chat", "Theme", ""));
  EXPECT_EQ("5,0,2,0", manifest.GetOr("update.reg", "Version", ""));
  EXPECT_EQ("5,0,0,0", manifest.GetOr("New Install", "VersionNew", ""));
  EXPECT_EQ("5,0,0,0", manifest.GetOr("New Install1", "Version", ""));
  EXPECT_EQ(kTestBaseUrl + std::string("m/setup/setup.qpk"), manifest.GetOr("New Install1", "Link", ""));
  EXPECT_EQ("0", manifest.GetOr("New Install1", "Silent", ""));
  EXPECT_EQ("3", manifest.GetOr("New Install1", "Requirement", ""));
  // The manifest is written with Windows line ends, as the vendor's tools did.
  EXPECT_NE(std::string::npos, release.Read("m/components.html").find("[components]\r\nzcomp.dll=\r\n"));
  EXPECT_EQ("MURVO-FOLDER=http://updates.test.example/m/\r\n"
            "PATCHKEEPER-FOLDER=http://updates.test.example/p/\r\n"
            "HttpServers=chat.test.example:80\r\n",
            release.Read("corvcli.html"));
  EXPECT_EQ("A new release is ready. Install it now?", release.Read("m/update.txt"));
}

TEST(SiteMakeTest, EveryFileGetsTheReleaseDateOrItsSourcesDate) {
  CZTestRelease dated;
  std::string reasons;
  ASSERT_TRUE(dated.Make(&reasons)) << reasons;
  const time_t epoch = 1704067200;  // 2024-01-01 00:00:00 UTC
  for (const char* file : {"corvcli.html", "m/components.html", "m/update.txt", "m/update.html",
                           "m/update_reg.qpk", "m/c/zcomp.dl_", "m/c/zplug.dl_",
                           "m/setup/setup.qpk", "p/zupdater.qpk"})
    EXPECT_EQ(epoch, ModifiedAt(dated.Site() + "/" + file)) << file;

  CZTestRelease undated;
  std::string text = CZTestRelease::GoodDescription();
  text.erase(text.find("Date="), text.find('\n', text.find("Date=")) - text.find("Date=") + 1);
  undated.Describe(text);
  const time_t built = 1600000000;
  const std::filesystem::file_time_type when =
      std::filesystem::file_time_type::clock::now() -
      std::chrono::seconds(std::time(nullptr) - built);
  std::filesystem::last_write_time(undated.Folder() + "/bin/zupdater.exe", when);
  ASSERT_TRUE(undated.Make(&reasons)) << reasons;
  EXPECT_EQ(built, ModifiedAt(undated.Site() + "/p/zupdater.qpk"));
  EXPECT_LT(std::abs(ModifiedAt(undated.Site() + "/m/components.html") - std::time(nullptr)), 600);
}

struct CZRefusedRelease {
  const char* name;
  const char* from;  // a line of the good description ...
  const char* to;    // ... and what it becomes
  const char* reason;
};

void PrintTo(const CZRefusedRelease& c, std::ostream* os) { *os << c.name; }

class RefusedReleaseTest : public ::testing::TestWithParam<CZRefusedRelease> {};

TEST_P(RefusedReleaseTest, RefusedWithItsReasonAndNothingLeft) {
  const CZRefusedRelease& c = GetParam();
  CZTestRelease release;
  std::string text = CZTestRelease::GoodDescription();
  const size_t at = text.find(c.from);
  ASSERT_NE(std::string::npos, at) << c.from;
  release.Describe(text.replace(at, strlen(c.from), c.to));
  if (std::string(c.name) == "prompt_text_over_2047_bytes")
    WriteFiles(release.Folder(), {{"update.txt", std::string(2048, 't')}});
  if (std::string(c.name) == "page_without_marker")
    WriteFiles(release.Folder(), {{"update.html", "<html>no marker</html>"}});
  if (std::string(c.name) == "component_list_over_1024_bytes") {
    // Twelve more components of 90-character names: about 1100 bytes.
    for (int i = 0; i < 12; ++i)
      text += "[component z" + std::string(80, 'a') + std::to_string(100 + i) + ".dll]\nFile=bin/zcomp.dll\n";
    release.Describe(text);
  }
  if (std::string(c.name) == "updater_without_version")
    WriteFiles(release.Folder(), {{"bin\\zupdater.exe", "MZ but nothing more"}});
  std::string reasons;
  EXPECT_FALSE(release.Make(&reasons));
  EXPECT_NE(std::string::npos, reasons.find(c.reason)) << reasons;
  EXPECT_FALSE(std::filesystem::exists(release.Site())) << "a refused site was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedReleaseTest,
    ::testing::Values(
        CZRefusedRelease{"device_name", "[component zplug.dll]", "[component nul.dll]",
                         "component name \"nul.dll\" is refused by the updater"},
        CZRefusedRelease{"name_ending_in_underscore", "[component zplug.dll]",
                         "[component zplug.dl_]", "not ending in _"},
        CZRefusedRelease{"name_with_a_folder", "[component zplug.dll]",
                         "[component sub\\zplug.dll]", "is refused by the updater"},
        CZRefusedRelease{"one_package_name_for_two", "[component zplug.dll]",
                         "[component zcomp.dlx]", "would be served under one package name"},
        CZRefusedRelease{"loose_version", "Version=5,0,0,0", "Version=5,0",
                         "Version=5,0 is not a version: write four numbers"},
        CZRefusedRelease{"version_over_16_bits", "Version=5,0,2,0", "Version=5,0,65536,0",
                         "is not a version"},
        CZRefusedRelease{"subfolder_climbing", "DestDir=1,plugins\\", "DestDir=1,..\\",
                         "DestDir=1,..\\ is not a kind"},
        CZRefusedRelease{"subfolder_without_final_backslash", "DestDir=1,plugins\\",
                         "DestDir=1,plugins", "is not a kind"},
        CZRefusedRelease{"requirement_out_of_range", "Requirement=4", "Requirement=6",
                         "Requirement=6 is not a number from 1 to 5"},
        CZRefusedRelease{"installer_not_an_exe", "File=bin/setup.exe",
                         "File=bin/setup.exe\nInstaller=setup.msi",
                         "installer name \"setup.msi\" is not a plain file name ending in .exe"},
        CZRefusedRelease{"missing_file", "File=bin/zcomp.dll\nRequirement=4",
                         "File=bin/zcomq.dll\nRequirement=4", "bin/zcomq.dll is not a file"},
        CZRefusedRelease{"unknown_key", "Requirement=4", "Requirment=4",
                         "[component zcomp.dll] has no key \"Requirment\""},
        CZRefusedRelease{"unknown_section", "[feature chat]", "[features chat]",
                         "unknown section [features chat]"},
        CZRefusedRelease{"base_url_without_slash", "http://updates.test.example/\n",
                         "http://updates.test.example\n", "is not an http or https URL of a folder"},
        CZRefusedRelease{"date_that_is_not_one", "Date=2024-01-01 00:00:00",
                         "Date=2024-02-30 00:00:00", "is not a date"},
        CZRefusedRelease{"prompt_text_over_2047_bytes", "[site]", "[site]",
                         "is 2048 bytes; the prompt shows at most 2047"},
        CZRefusedRelease{"page_without_marker", "[site]", "[site]", "has no <zupdater> marker"},
        CZRefusedRelease{"updater_without_version", "[site]", "[site]",
                         "clients refuse a new updater whose version they cannot read"},
        CZRefusedRelease{"component_list_over_1024_bytes", "[site]", "[site]",
                         "the [components] list takes"}),
    [](const ::testing::TestParamInfo<CZRefusedRelease>& info) { return std::string(info.param.name); });

TEST(SiteMakeTest, AFolderWithFilesInItIsNotUsed) {
  CZTestRelease release;
  WriteFiles(release.Site(), {{"old.qpk", "an earlier site's file"}});
  std::string reasons;
  EXPECT_FALSE(release.Make(&reasons));
  EXPECT_NE(std::string::npos, reasons.find("is not empty")) << reasons;
  EXPECT_TRUE(std::filesystem::exists(release.Site() + "/old.qpk"));
}

TEST(SiteMakeTest, AComponentWithoutVersionIsComparedByDate) {
  CZTestRelease release;
  WriteFiles(release.Folder(), {{"bin\\skin.dat", "not a program"}});
  release.Describe(CZTestRelease::GoodDescription() + "[component skin.dat]\nFile=bin/skin.dat\n");
  std::string reasons, notes;
  ASSERT_TRUE(release.Make(&reasons, &notes)) << reasons;
  EXPECT_NE(std::string::npos, notes.find("skin.dat: not a Windows program or library")) << notes;
  CZIniText manifest;
  manifest.Parse(release.Read("m/components.html"));
  std::string ignored;
  EXPECT_FALSE(manifest.Get("skin.dat", "FileVersion", &ignored));
  EXPECT_TRUE(release.Check().problems.empty());
}
}  // namespace

namespace {
TEST(SiteMakeTest, ASiteWithoutTheUpdaterStillNamesItsFolder) {
  CZTestRelease release;
  std::string text = CZTestRelease::GoodDescription();
  text.erase(text.find("[updater]"), strlen("[updater]\nFile=bin/zupdater.exe\n"));
  release.Describe(text);
  std::string reasons;
  ASSERT_TRUE(release.Make(&reasons)) << reasons;
  // Without both folders on the page the updater stops after reading it.
  EXPECT_NE(std::string::npos,
            release.Read("corvcli.html").find("PATCHKEEPER-FOLDER=http://updates.test.example/p/\r\n"));
  EXPECT_FALSE(std::filesystem::exists(release.Site() + "/p/zupdater.qpk"));
  EXPECT_TRUE(release.Check().problems.empty());
}
}  // namespace

namespace {
// The description printed in tools/README.md, as it stands, makes a site.
TEST(SiteMakeTest, TheDocumentedDescriptionMakesASite) {
  std::ifstream in(std::string(ZUPDATER_SOURCE_DIR) + "/tools/README.md");
  std::string line, description;
  bool inside = false;
  while (std::getline(in, line)) {
    if (line == "    [site]") inside = true;
    if (inside && !line.empty() && line.compare(0, 4, "    ") != 0) break;
    if (inside) description += (line.size() > 4 ? line.substr(4) : std::string()) + "\n";
  }
  ASSERT_NE(std::string::npos, description.find("[component zcomp.dll]")) << description;
  CZTestRelease release;
  WriteFiles(release.Folder(), {{"bin\\setup.exe", TestProgram(5, 0)}});
  release.Describe(description);
  std::string reasons;
  ASSERT_TRUE(release.Make(&reasons)) << reasons << description;
  EXPECT_NE(std::string::npos, release.Read("corvcli.html").find("MURVO-FOLDER=https://updates.example.com/zindo/m/"));
}
}  // namespace

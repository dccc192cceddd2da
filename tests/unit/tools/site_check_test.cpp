// zpkg check-site reads a site as the updater will and names every problem
// with its file and reason: a table of sites, each broken the way a vendor
// (or an attacker with a genuine package) could break it.
#include <gtest/gtest.h>
#include <openssl/rsa.h>

#include <functional>

#include "cabinet_forgery.h"
#include "site_fixture.h"
#include "tools/cab_image.h"
#include "tools/package_sizes.h"

namespace {
EVP_PKEY* OtherKey() {
  static EVP_PKEY* key = EVP_RSA_gen(2048);
  return key;
}

std::string Problems(const CZSiteReport& report) {
  std::string text;
  for (const CZSiteProblem& p : report.problems) text += p.file + ": " + p.reason + "\n";
  return text;
}

class SiteCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string reasons;
    ASSERT_TRUE(m_release.Make(&reasons)) << reasons;
  }
  CZTestRelease m_release;
};

TEST_F(SiteCheckTest, TheSiteZpkgMakesHasNoProblem) {
  CZSiteCheckOptions options;
  options.hasInstalled = true;
  options.installed = {1, 9, 9, 9};
  const CZSiteReport report = m_release.Check(options);
  EXPECT_EQ("", Problems(report));
  // Every package was opened and verified.
  std::string checked;
  for (const std::string& line : report.checked) checked += line + "\n";
  for (const char* line : {"p/zupdater.qpk: verified, holds ZUDPTEMP.EXE", "p/zupdater.qpk: updater 2.0.0.0",
                           "m/c/zcomp.dl_: verified, holds zcomp.dll",
                           "m/c/zplug.dl_: verified, holds zplug.dll",
                           "m/update_reg.qpk: verified, holds update.reg",
                           "m/setup/setup.qpk: verified, holds setup.exe"})
    EXPECT_NE(std::string::npos, checked.find(line)) << line << "\n" << checked;
}

TEST_F(SiteCheckTest, ASiteServedBelowAPathIsMappedByItsBaseUrl) {
  for (const char* name : {"corvcli.html", "m/components.html"})
    m_release.ReplaceAll(name, kTestBaseUrl, "http://cdn.test.example:8080/zindo/");
  CZSiteCheckOptions options;
  options.baseUrl = "https://updates.test.example/zindo/";
  EXPECT_EQ("", Problems(m_release.Check(options)));
  // Without the base, every URL lies in folders the site does not have.
  EXPECT_NE("", Problems(m_release.Check()));
}

TEST_F(SiteCheckTest, EveryProblemHasItsOwnLine) {
  m_release.Replace("m/components.html", "Size1=", "Size1=1");
  m_release.Write("m/update.txt", std::string(3000, 'x'));
  m_release.Repack("m/update_reg.qpk", "update.reg", "REGEDIT4\r\n", OtherKey());
  const CZSiteReport report = m_release.Check();
  ASSERT_EQ(3u, report.problems.size()) << Problems(report);
}

struct CZBrokenSite {
  const char* name;
  std::function<void(const CZTestRelease&)> breakIt;
  const char* file;    // the file the problem is reported against
  const char* reason;  // a fragment of its reason
  const char* installed = nullptr;
};

void PrintTo(const CZBrokenSite& c, std::ostream* os) { *os << c.name; }

class BrokenSiteTest : public SiteCheckTest, public ::testing::WithParamInterface<CZBrokenSite> {};

TEST_P(BrokenSiteTest, NamedWithItsFileAndReason) {
  const CZBrokenSite& broken = GetParam();
  broken.breakIt(m_release);
  CZSiteCheckOptions options;
  if (broken.installed != nullptr) {
    options.hasInstalled = true;
    ASSERT_TRUE(ParseExactVersionText(broken.installed, &options.installed));
  }
  const CZSiteReport report = m_release.Check(options);
  bool found = false;
  for (const CZSiteProblem& problem : report.problems)
    found = found || (problem.file == broken.file &&
                      problem.reason.find(broken.reason) != std::string::npos);
  EXPECT_TRUE(found) << "wanted " << broken.file << ": ..." << broken.reason << "...\n"
                     << Problems(report);
}

const char kManifest[] = "m/components.html";
const char kComponent[] = "m/c/zcomp.dl_";

// A program's bytes with one more component section in the manifest.
void AddComponent(const CZTestRelease& r, const std::string& name, const std::string& keys) {
  r.Replace(kManifest, "[components]\r\n", "[components]\r\n" + name + "=\r\n");
  r.Write(kManifest, r.Read(kManifest) + "\r\n[" + name + "]\r\n" + keys);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenSiteTest,
    ::testing::Values(
        // Packages.
        CZBrokenSite{"signed_with_another_key",
                     [](auto& r) { r.Repack(kComponent, "zcomp.dll", TestProgram(5, 1), OtherKey()); },
                     kComponent, "refused by the updater"},
        CZBrokenSite{"not_laid_out_as_signed",
                     [](auto& r) {
                       CZBytes bytes;
                       ASSERT_TRUE(ReadWholeFile(r.Site() + "/" + kComponent, &bytes));
                       ASSERT_TRUE(WriteWholeFile(r.Site() + "/" + kComponent, Forgeries()[0].make(bytes)));
                     },
                     kComponent, "not laid out as signed"},
        CZBrokenSite{"package_of_another_component",
                     [](auto& r) { r.Repack(kComponent, "zother.dll", TestProgram(5, 1), TestKey()); },
                     kComponent, "does not hold zcomp.dll (it holds zother.dll)"},
        CZBrokenSite{"package_missing", [](auto& r) { remove((r.Site() + "/" + kComponent).c_str()); },
                     kComponent, "missing"},
        CZBrokenSite{"updater_without_its_temporary_name",
                     [](auto& r) { r.Repack("p/zupdater.qpk", "zupdater.exe", TestProgram(2, 0), TestKey()); },
                     "p/zupdater.qpk", "does not hold ZUDPTEMP.EXE"},
        CZBrokenSite{"updater_not_newer", [](auto&) {}, "p/zupdater.qpk",
                     "is 2.0.0.0, not newer than the installed 2.0.0.0", "2,0,0,0"},
        CZBrokenSite{"updater_older", [](auto&) {}, "p/zupdater.qpk", "refuses it as a rollback",
                     "3,1,0,0"},
        CZBrokenSite{"updater_without_version",
                     [](auto& r) { r.Repack("p/zupdater.qpk", "ZUDPTEMP.EXE", "MZ", TestKey()); },
                     "p/zupdater.qpk", "whose version it cannot read"},
        CZBrokenSite{"script_package_without_the_script",
                     [](auto& r) { r.Repack("m/update_reg.qpk", "other.reg", "REGEDIT4", TestKey()); },
                     "m/update_reg.qpk", "does not hold update.reg"},
        CZBrokenSite{"release_package_without_its_installer",
                     [](auto& r) { r.Repack("m/setup/setup.qpk", "zcorv.exe", TestProgram(5, 0), TestKey()); },
                     "m/setup/setup.qpk", "does not hold setup.exe"},
        CZBrokenSite{"release_link_naming_an_exe",
                     [](auto& r) { r.Replace(kManifest, "m/setup/setup.qpk", "m/setup/setup.exe"); },
                     "m/setup/setup.exe", "missing"},
        // The manifest's numbers.
        CZBrokenSite{"wrong_size1", [](auto& r) { r.Replace(kManifest, "Size1=", "Size1=7"); },
                     kManifest, "[zcomp.dll] Size1=7"},
        CZBrokenSite{"wrong_size2", [](auto& r) { r.Replace(kManifest, "Size2=", "Size2=9"); },
                     kManifest, "[zcomp.dll] Size2=9"},
        CZBrokenSite{"file_version_above_the_file",
                     [](auto& r) { r.Replace(kManifest, "FileVersion=5,1,0,0", "FileVersion=5,2,0,0"); },
                     kManifest, "clients would fetch it on every run"},
        CZBrokenSite{"file_version_below_the_file",
                     [](auto& r) { r.Replace(kManifest, "FileVersion=5,1,0,0", "FileVersion=5,0,9,0"); },
                     kManifest, "is 5.1.0.0: clients at the package's version"},
        CZBrokenSite{"file_version_of_two_numbers",
                     [](auto& r) { r.Replace(kManifest, "FileVersion=5,1,0,0", "FileVersion=5,1"); },
                     kManifest, "FileVersion=5,1 is not four numbers separated by commas: the "
                                "updater reads it as 5.0.0.1"},
        CZBrokenSite{"file_version_of_a_file_without_one",
                     [](auto& r) { r.Repack(kComponent, "zcomp.dll", "plain data", TestKey()); },
                     kComponent, "but the manifest gives FileVersion=5,1,0,0"},
        CZBrokenSite{"script_version_loose",
                     [](auto& r) { r.Replace(kManifest, "Version=5,0,2,0", "Version=5.0.2"); },
                     kManifest, "[update.reg] Version=5.0.2 is not four numbers"},
        // Names and paths the updater refuses.
        CZBrokenSite{"component_name_climbing",
                     [](auto& r) { AddComponent(r, "..\\zevil.dll", "Url=http://updates.test.example/m/c/zcomp.dl_\r\n"); },
                     kManifest, "component name \"..\\zevil.dll\" is refused"},
        CZBrokenSite{"component_name_of_a_device",
                     [](auto& r) { AddComponent(r, "com1.dll", "Url=http://updates.test.example/m/c/zcomp.dl_\r\n"); },
                     kManifest, "component name \"com1.dll\" is refused"},
        CZBrokenSite{"component_without_section",
                     [](auto& r) { r.Replace(kManifest, "[components]\r\n", "[components]\r\nzlost.dll=\r\n"); },
                     kManifest, "component zlost.dll has no section"},
        CZBrokenSite{"dest_dir_climbing",
                     [](auto& r) { r.Replace(kManifest, "DestDir=1,plugins\\", "DestDir=1,plugins\\..\\..\\"); },
                     kManifest, "leaves the client's folder"},
        CZBrokenSite{"clsid_with_a_backslash",
                     [](auto& r) { r.Replace(kManifest, "clsid={", "clsid=..\\{"); },
                     kManifest, "clsid holds a backslash"},
        CZBrokenSite{"requirement_out_of_range",
                     [](auto& r) { r.Replace(kManifest, "Requirement=4", "Requirement=9"); },
                     kManifest, "Requirement=9 is not a level"},
        CZBrokenSite{"url_climbing_out_of_the_site",
                     [](auto& r) { r.Replace(kManifest, "m/c/zcomp.dl_", "m/../../etc/zcomp.dl_"); },
                     kManifest, "climbs out of the site folder"},
        CZBrokenSite{"url_of_another_scheme",
                     [](auto& r) { r.Replace(kManifest, "http://updates.test.example/m/c/zcomp", "file:///m/c/zcomp"); },
                     kManifest, "is not an http or https URL"},
        CZBrokenSite{"compared_file_out_of_the_folder",
                     [](auto& r) { r.Replace(kManifest, "Version=5,0,0,0\r\n", "Version=5,0,0,0\r\nCmpFileName=..\\other.exe\r\n"); },
                     kManifest, "CmpFileName=..\\other.exe is refused"},
        // Limits.
        CZBrokenSite{"component_list_over_1024_bytes",
                     [](auto& r) {
                       std::string names;
                       for (int i = 0; i < 80; ++i) names += "zfiller" + std::to_string(1000 + i) + ".dll=\r\n";
                       r.Replace(kManifest, "[components]\r\n", "[components]\r\n" + names);
                     },
                     kManifest, "the [components] list takes"},
        CZBrokenSite{"manifest_over_a_mebibyte",
                     [](auto& r) { r.Write(kManifest, r.Read(kManifest) + ";" + std::string(1100000, 'x')); },
                     kManifest, "refuses a manifest over 1048576 bytes"},
        CZBrokenSite{"url_cut_by_its_buffer",
                     [](auto& r) { r.Replace(kManifest, "Url=http://updates.test.example/m/c/zcomp.dl_",
                                             "Url=http://updates.test.example/m/c/" + std::string(250, 'a') + "/../zcomp.dl_"); },
                     kManifest, "[zcomp.dll] Url is"},
        CZBrokenSite{"feature_values_over_the_run_limit",
                     [](auto& r) {
                       // Three more features of 200 values: each list fits its buffer.
                       std::string sections;
                       for (int f = 1; f <= 3; ++f) {
                         r.Replace(kManifest, "[Features]\r\n", "[Features]\r\nf" + std::to_string(f) + "=\r\n");
                         sections += "\r\n[f" + std::to_string(f) + "]\r\n";
                         for (int i = 0; i < 200; ++i) sections += "V" + std::to_string(i) + "=1\r\n";
                       }
                       r.Write(kManifest, r.Read(kManifest) + sections);
                     },
                     kManifest, "the feature sections hold 602 values"},
        CZBrokenSite{"prompt_text_over_2047_bytes",
                     [](auto& r) { r.Write("m/update.txt", std::string(2048, 'x')); },
                     "m/update.txt", "is 2048 bytes; the prompt shows at most 2047"},
        CZBrokenSite{"page_without_marker",
                     [](auto& r) { r.Write("m/update.html", "<html>New!</html>"); },
                     "m/update.html", "no <zupdater> marker"},
        // The page.
        CZBrokenSite{"page_missing", [](auto& r) { remove((r.Site() + "/corvcli.html").c_str()); },
                     "corvcli.html", "missing"},
        CZBrokenSite{"page_of_4096_bytes",
                     [](auto& r) { r.Write("corvcli.html", r.Read("corvcli.html") + std::string(4096, ' ')); },
                     "corvcli.html", "refuses a page of 4096 bytes or more"},
        CZBrokenSite{"page_with_a_misspelt_key",
                     [](auto& r) { r.Replace("corvcli.html", "MURVO-FOLDER", "MURVO_FOLDER"); },
                     "corvcli.html", "line 1 (MURVO_FOLDER=http://updates.test.example/m/) is not a setting"},
        CZBrokenSite{"page_without_updater_folder",
                     [](auto& r) { r.Replace("corvcli.html", "PATCHKEEPER-FOLDER", "SocketServers"); },
                     "corvcli.html", "names no PATCHKEEPER-FOLDER: the updater stops"},
        CZBrokenSite{"page_without_package_folder",
                     [](auto& r) { r.Replace("corvcli.html", "MURVO-FOLDER", "HttpServers"); },
                     "corvcli.html", "names no MURVO-FOLDER"},
        CZBrokenSite{"folder_without_slash",
                     [](auto& r) { r.Replace("corvcli.html", "example/m/", "example/m"); },
                     "corvcli.html", "MURVO-FOLDER=http://updates.test.example/m does not end with /"}),
    [](const ::testing::TestParamInfo<CZBrokenSite>& info) { return std::string(info.param.name); });
}  // namespace

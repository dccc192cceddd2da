// Editions: zpkg site writes each declared edition's folders where the
// updater looks for them (its locale, cobrand and ligans appended to the
// page's folders), and check-site checks every edition, or one client's
// view. What the updater would cut, or two editions would share, is refused.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "site_fixture.h"
#include "tools/ini_text.h"

namespace {
namespace fs = std::filesystem;

const char kPartnerEdition[] =
    "[edition plain]\n"
    "[edition de-acme]\nLocale=de\nCobrand=acme\nComponents=zplug.dll\n";

std::string Problems(const CZSiteReport& report) {
  std::string text;
  for (const CZSiteProblem& p : report.problems) text += p.file + ": " + p.reason + "\n";
  return text;
}

std::string Checked(const CZSiteReport& report) {
  std::string text;
  for (const std::string& line : report.checked) text += line + "\n";
  return text;
}

class EditionSiteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_release.Describe(CZTestRelease::GoodDescription() + kPartnerEdition);
    std::string reasons;
    ASSERT_TRUE(m_release.Make(&reasons)) << reasons;
  }
  CZTestRelease m_release;
};

TEST_F(EditionSiteTest, EachEditionHasItsOwnFolders) {
  // The default edition keeps the plain layout; the partner edition's files
  // lie where a client with intl=de and Cobrand=acme looks.
  for (const char* file :
       {"m/components.html", "m/c/zcomp.dl_", "m/c/zplug.dl_", "p/zupdater.qpk",
        "m/de/acme/components.html", "m/de/acme/c/zplug.dl_", "m/de/acme/update.txt",
        "m/de/acme/update.html", "m/de/acme/update_reg.qpk", "m/de/acme/setup/setup.qpk",
        "p/de/zupdater.qpk"})
    EXPECT_TRUE(fs::is_regular_file(m_release.Site() + "/" + file)) << file;
  // Only the components the edition names.
  EXPECT_FALSE(fs::exists(m_release.Site() + "/m/de/acme/c/zcomp.dl_"));
  CZIniText manifest;
  manifest.Parse(m_release.Read("m/de/acme/components.html"));
  EXPECT_EQ((std::vector<std::string>{"zplug.dll"}), manifest.KeyNames("components"));
  EXPECT_EQ(kTestBaseUrl + std::string("m/de/acme/c/zplug.dl_"),
            manifest.GetOr("zplug.dll", "Url", ""));
  EXPECT_EQ(kTestBaseUrl + std::string("m/de/acme/setup/setup.qpk"),
            manifest.GetOr("New Install1", "Link", ""));
  EXPECT_EQ("blue", manifest.GetOr("chat", "Theme", ""));
  // One page for every client.
  EXPECT_EQ(0u,
            m_release.Read("corvcli.html").find("MURVO-FOLDER=http://updates.test.example/m/\r\n"));
  CZIniText editions;
  editions.Parse(m_release.Read("editions.ini"));
  EXPECT_EQ("de", editions.GetOr("edition de-acme", "Locale", ""));
  EXPECT_EQ("acme", editions.GetOr("edition de-acme", "Cobrand", ""));
  EXPECT_NE(nullptr, editions.Section("edition plain"));
  // Folders and files of both editions carry the release's date.
  struct stat info;
  for (const char* path :
       {"m/de", "m/de/acme", "m/de/acme/c", "p/de", "m/de/acme/components.html"}) {
    ASSERT_EQ(0, stat((m_release.Site() + "/" + path).c_str(), &info)) << path;
    EXPECT_EQ(1704067200, info.st_mtime) << path;
  }
}

TEST_F(EditionSiteTest, CheckSiteChecksEveryEdition) {
  const CZSiteReport report = m_release.Check();
  EXPECT_EQ("", Problems(report));
  const std::string checked = Checked(report);
  for (const char* line : {"m/c/zcomp.dl_: verified", "m/de/acme/c/zplug.dl_: verified",
                           "m/de/acme/update_reg.qpk: verified", "p/de/zupdater.qpk: verified"})
    EXPECT_NE(std::string::npos, checked.find(line)) << line << "\n" << checked;
  // A fault in the partner edition alone is found.
  m_release.Write("m/de/acme/c/zplug.dl_", "not a package");
  EXPECT_NE(std::string::npos,
            Problems(m_release.Check()).find("m/de/acme/c/zplug.dl_: refused by the updater"))
      << Problems(m_release.Check());
}

TEST_F(EditionSiteTest, CheckSiteAsOneClientSeesOnlyItsFolders) {
  struct View {
    const char* locale;
    const char* cobrand;
    bool ligans;
    const char* problem;  // empty: none
  } views[] = {
      {"de", "acme", false, ""},
      {"", "", false, ""},
      // Declared nowhere: these clients find no manifest.
      {"fr", "", false, "m/fr/components.html: missing"},
      {"de", "acme", true, "m/de/acme/ligans/components.html: missing"},
  };
  for (const View& view : views) {
    SCOPED_TRACE(std::string(view.locale) + "/" + view.cobrand);
    CZSiteCheckOptions options;
    options.hasClient = true;
    options.client.locale = view.locale;
    options.client.cobrand = view.cobrand;
    options.client.ligans = view.ligans;
    const CZSiteReport report = m_release.Check(options);
    const std::string problems = Problems(report);
    if (*view.problem == '\0')
      EXPECT_EQ("", problems);
    else
      EXPECT_NE(std::string::npos, problems.find(view.problem)) << problems;
    // Nothing of another edition is looked at.
    const std::string own = std::string("m/") + view.locale + (*view.locale ? "/" : "");
    for (const std::string& line : report.checked) {
      if (line.compare(0, 2, "m/") == 0) {
        EXPECT_EQ(0u, line.find(own)) << line;
      }
    }
  }
}

TEST(EditionRulesTest, TheUpdatersRoomDecidesWhatLocaleFits) {
  // The updater keeps room for the folder, the cobrand and 15 characters:
  // the locale and its slash, the cobrand's slash, ligans/.
  struct Case {
    size_t localeLength;
    const char* cobrand;
    bool ligans;
    bool fits;
  } cases[] = {
      {14, "", false, true},      {15, "", false, false},  {13, "acme", false, true},
      {14, "acme", false, false}, {6, "acme", true, true}, {7, "acme", true, false},
      {7, "", true, true},        {8, "", true, false},
  };
  for (const Case& c : cases) {
    CZClientEdition edition;
    edition.locale = std::string(c.localeLength, 'x');
    edition.cobrand = c.cobrand;
    edition.ligans = c.ligans;
    const std::string fault = EditionFault(edition);
    EXPECT_EQ(c.fits, fault.empty())
        << c.localeLength << " " << c.cobrand << " " << c.ligans << ": " << fault;
    if (!c.fits) {
      EXPECT_NE(std::string::npos, fault.find("the updater cuts its package folder"));
    }
  }
  // A long cobrand always fits its own room.
  CZClientEdition partner;
  partner.cobrand = std::string(200, 'p');
  EXPECT_EQ("", EditionFault(partner));
}

struct CZRefusedEdition {
  const char* name;
  const char* editions;  // appended to the good description
  const char* reason;
};
void PrintTo(const CZRefusedEdition& c, std::ostream* os) { *os << c.name; }

class RefusedEditionTest : public ::testing::TestWithParam<CZRefusedEdition> {};

TEST_P(RefusedEditionTest, RefusedWithItsReason) {
  const CZRefusedEdition& c = GetParam();
  CZTestRelease release;
  WriteFiles(release.Folder(), {{"bin\\zupdater_de.exe", TestProgram(2, 1)}});
  release.Describe(CZTestRelease::GoodDescription() + c.editions);
  std::string reasons;
  EXPECT_FALSE(release.Make(&reasons));
  EXPECT_NE(std::string::npos, reasons.find(c.reason)) << reasons;
  EXPECT_FALSE(fs::exists(release.Site()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedEditionTest,
    ::testing::Values(
        CZRefusedEdition{
            "locale_the_updater_cuts", "[edition long]\nLocale=abcdefg\nCobrand=acme\nLigans=1\n",
            "Locale=abcdefg Cobrand=acme ligans=1: the updater cuts its package folder to "
            "abcdefg/acme/ligan"},
        CZRefusedEdition{"locale_with_a_slash", "[edition odd]\nLocale=de/at\n",
                         "Locale=de/at is not a folder name"},
        CZRefusedEdition{"cobrand_of_dots", "[edition odd]\nCobrand=..\n",
                         "Cobrand=.. is not a folder name"},
        CZRefusedEdition{"two_editions_one_folder",
                         "[edition a]\nLocale=de\n[edition b]\nLocale=DE\n",
                         "editions a and b are both served from m/de/"},
        CZRefusedEdition{
            "edition_inside_anothers_packages",
            "[edition a]\nLocale=de\n[edition b]\nLocale=de\nCobrand=c\n",
            "edition b would be served from m/de/c/, where edition a keeps its packages"},
        CZRefusedEdition{"one_locale_two_updaters",
                         "[edition a]\nLocale=de\n[edition b]\nLocale=de\nCobrand=acme\n"
                         "Updater=bin/zupdater_de.exe\n",
                         "share the updater folder p/de/"},
        CZRefusedEdition{
            "unknown_component", "[edition a]\nLocale=de\nComponents=zplug.dll, zmissing.dll\n",
            "Components names zmissing.dll, which no [component zmissing.dll] describes"},
        CZRefusedEdition{"ligans_not_a_switch", "[edition a]\nLigans=2\n",
                         "Ligans=2 is not a number from 0 to 1"},
        CZRefusedEdition{"unknown_key", "[edition a]\nLanguage=de\n",
                         "[edition a] has no key \"Language\""}),
    [](const ::testing::TestParamInfo<CZRefusedEdition>& info) {
      return std::string(info.param.name);
    });

TEST(EditionSiteMakeTest, AnEditionMayShipItsOwnUpdaterOrNone) {
  CZTestRelease release;
  WriteFiles(release.Folder(), {{"bin\\zupdater_de.exe", TestProgram(2, 1)}});
  release.Describe(
      CZTestRelease::GoodDescription() +
      "[edition plain]\nUpdater=\n[edition de]\nLocale=de\nUpdater=bin/zupdater_de.exe\n");
  std::string reasons;
  ASSERT_TRUE(release.Make(&reasons)) << reasons;
  EXPECT_FALSE(fs::exists(release.Site() + "/p/zupdater.qpk"));
  const std::string checked = Checked(release.Check());
  EXPECT_NE(std::string::npos, checked.find("p/de/zupdater.qpk: updater 2.1.0.0")) << checked;
}

TEST(EditionSiteMakeTest, EditionsWithoutTheDefaultOneAreNoted) {
  CZTestRelease release;
  release.Describe(CZTestRelease::GoodDescription() + "[edition de]\nLocale=de\n");
  std::string reasons, notes;
  ASSERT_TRUE(release.Make(&reasons, &notes)) << reasons;
  EXPECT_NE(std::string::npos, notes.find("no edition serves clients without a locale")) << notes;
  EXPECT_FALSE(fs::exists(release.Site() + "/m/components.html"));
}

TEST(EditionSiteMakeTest, APackageOlderThanWhatItHoldsIsWarnedOf) {
  // The release is dated 2024-01-01; the updater it ships was built now.
  CZTestRelease release;
  std::string reasons, notes;
  ASSERT_TRUE(release.Make(&reasons, &notes)) << reasons;
  EXPECT_NE(std::string::npos,
            notes.find("warning: p/zupdater.qpk: dated 2024-01-01 00:00:00 UTC, before the "
                       "ZUDPTEMP.EXE it holds"))
      << notes;
  // Components are compared by version, so their dates do not matter.
  EXPECT_EQ(std::string::npos, notes.find("m/c/zcomp.dl_")) << notes;
  // A site dated after its files has nothing to warn of.
  CZTestRelease later;
  std::string text = CZTestRelease::GoodDescription();
  text.replace(text.find("2024-01-01"), 10, "2107-01-01");
  later.Describe(text);
  notes.clear();
  ASSERT_TRUE(later.Make(&reasons, &notes)) << reasons;
  EXPECT_EQ(std::string::npos, notes.find("warning")) << notes;
}
}  // namespace

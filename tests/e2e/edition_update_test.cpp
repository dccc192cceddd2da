// The real zupdater.exe of a client whose locale and partner edition are set
// (Locale\intl, Cobrand) against the full update site: it fetches only its
// own edition's files (m/de/acme/, p/de/) and installs that edition's
// components; a client of an edition the site does not serve finds nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "full_site.h"
#include "reg_values.h"
#include "running_host.h"
#include "test_support.h"

namespace {
constexpr DWORD kRunTimeoutMs = 120000;
const char kMurvoKey[] = "SOFTWARE\\Zindo\\Murvo";
const char kLocaleKey[] = "SOFTWARE\\Zindo\\Murvo\\Locale";
const char kUpdateKey[] = "SOFTWARE\\Zindo\\Murvo\\Update";

struct EditionRun {
  const char* label;
  const char* locale;
  const char* cobrand;
  std::vector<std::string> requests;  // in order, relative to the site
  std::vector<std::string> replaced;  // of kUpdatedFiles; the others stay
  int prompts;
};
void PrintTo(const EditionRun& c, std::ostream* os) { *os << c.label; }

class EditionUpdateTest : public CZServedSiteTest<EditionRun> {};

TEST_P(EditionUpdateTest, FetchesOnlyItsOwnEdition) {
  const EditionRun& c = GetParam();
  CZClientUnderTest client;
  ASSERT_TRUE(client.Install());
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kLocaleKey, "intl", c.locale));
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kMurvoKey, "Cobrand", c.cobrand));
  {
    CZRunningHostClient host;
    ASSERT_TRUE(host.IsUp());
    ASSERT_TRUE(client.Run(Site() + "corvcli.html", PromptAnswer::kEnter, kRunTimeoutMs))
        << client.Log();
  }
  SCOPED_TRACE(client.Log());
  EXPECT_EQ(c.requests, SiteRequests(m_server.Requests(m_prefix), m_prefix));
  EXPECT_EQ(c.prompts, client.PromptsSeen());
  EXPECT_EQ("", client.BoxesSeen());
  const std::string tests = TestProgramFolder();
  for (const char* name : kUpdatedFiles) {
    bool replaced = false;
    for (const std::string& file : c.replaced) replaced = replaced || file == name;
    EXPECT_TRUE(ReadFileText(tests + (replaced ? "zcom510.dll" : "zcom500.dll")) ==
                ReadFileText(client.App() + name))
        << name;
    EXPECT_EQ(replaced ? "5.1.0.0" : "5.0.0.0", FileVersionText(client.App() + name)) << name;
  }
  // The registry script comes from the edition's folder too.
  EXPECT_EQ(c.replaced.empty() ? "<absent>" : "5,0,2,0",
            ReadRegString(HKEY_CURRENT_USER, kUpdateKey, "RegFileVersion"));
}

INSTANTIATE_TEST_SUITE_P(
    Site, EditionUpdateTest,
    ::testing::Values(
        EditionRun{"GermanPartnerEdition",
                   "de",
                   "acme",
                   {"GET corvcli.html", "HEAD p/de/zupdater.qpk", "GET m/de/acme/components.html",
                    "GET m/de/acme/c/zsilent.dl_", "HEAD m/de/acme/c/zsilent.dl_",
                    "GET m/de/acme/update.txt", "GET m/de/acme/c/zoffer.dl_",
                    "HEAD m/de/acme/c/zoffer.dl_", "GET m/de/acme/update_reg.qpk"},
                   {"zsilent.dll", "plugins\\zoffer.dll"},
                   1},
        // Declared nowhere: no manifest, so nothing is fetched or changed.
        EditionRun{"UnservedEdition",
                   "fr",
                   "acme",
                   {"GET corvcli.html", "HEAD p/fr/zupdater.qpk", "GET m/fr/acme/components.html"},
                   {},
                   0}),
    [](const ::testing::TestParamInfo<EditionRun>& info) { return std::string(info.param.label); });
}  // namespace

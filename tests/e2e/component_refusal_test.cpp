// Every way a component's download can be refused leaves the installed file
// as it was, nothing beside it, nothing registered; when the refused file
// is the prompted pass's, the user is told "Update Failed !".
#include <gtest/gtest.h>

#include <algorithm>

#include "reg_values.h"
#include "whole_run.h"

namespace {
struct Refusal {
  const char* label;
  const char* more;     // extra keys of the component's section
  const char* package;  // served as c/zb.dl_
  const char* rule;     // for c/zb.dl_; null: the default
  int level;
  int answer;
  const char* logHas;
  const char* logLacks;
};
void PrintTo(const Refusal& c, std::ostream* os) { *os << c.label; }

class ComponentRefusalTest : public ::testing::TestWithParam<Refusal> {
 protected:
  CZWholeRun m_run;
};

const char kFailedBox[] = "box Error: Update Failed !";
const char kNotSigned[] = "File NOT signed correctly {app}zb.dl_";
const char kSigned[] = "File signed correctly {app}zb.dl_";
const char kDownloaded[] = "zb.dl_ downloaded successfully to file {app}zb.dl_";
}  // namespace

TEST_P(ComponentRefusalTest, InstalledFileStaysAsItWas) {
  const Refusal& c = GetParam();
  CZRunCase run =
      CaseOf(c.label,
             ComponentList({"zb"}) +
                 ComponentSection("zb", c.level, std::string("RegisterServer=1\r\n") + c.more),
             {"zb"});
  run.rules.push_back({"c/zb.dl_", c.rule != nullptr ? c.rule : "chunk_delay=0"});
  run.hostRunning = true;
  run.answer = c.answer;
  ASSERT_NO_FATAL_FAILURE(LayOutCase(m_run, run));
  // In place of the package the layout serves.
  ASSERT_TRUE(m_run.ServeFile("c/zb.dl_", PassPackage(c.package)));
  m_run.Run(c.answer);
  const std::string log = m_run.Log();

  EXPECT_TRUE(ReadFileText(m_run.App() + "zb.dll") == FixtureBytes("zcom500.dll"))
      << "zb.dll changed\n"
      << log;
  EXPECT_FALSE(FileExists(m_run.App() + "zb.dl_"));
  EXPECT_EQ("<absent>",
            ReadRegString(HKEY_CURRENT_USER, "Software\\ZupdaterTests\\ComServer", "Registered"));
  EXPECT_EQ(std::string::npos, log.find(m_run.Fill(kSigned))) << log;
  if (c.logHas[0] != '\0') {
    EXPECT_NE(std::string::npos, log.find(m_run.Fill(c.logHas))) << c.logHas << "\n" << log;
  }
  if (c.logLacks[0] != '\0') {
    EXPECT_EQ(std::string::npos, log.find(m_run.Fill(c.logLacks))) << c.logLacks << "\n" << log;
  }
  // The failed record is still pending, so the prompt comes in any pass;
  // only a failure of the prompted pass is shown.
  std::vector<std::string> shown;
  for (const std::string& event : m_run.Events())
    if (event.compare(0, 9, "progress ") != 0) shown.push_back(event);
  std::vector<std::string> expected = {kDefaultPrompt};
  if (c.answer == IDOK) expected.push_back(kFailedBox);
  EXPECT_EQ(expected, shown);
  // The component was asked for in its pass and again after an acceptance.
  const std::vector<std::string> seen = m_run.MainRequests();
  const auto asked = std::count(seen.begin(), seen.end(), m_run.Get("c/zb.dl_"));
  EXPECT_EQ(c.level != 2 && c.answer == IDOK ? 2 : 1, asked);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, ComponentRefusalTest,
    ::testing::Values(
        Refusal{"WrongSize1", "{badsize1:zb}", "zb.dl_", nullptr, 2, IDOK, kDownloaded, kNotSigned},
        Refusal{"WrongSize2", "{badsize2:zb}", "zb.dl_", nullptr, 2, IDOK, kDownloaded, kNotSigned},
        Refusal{"SignedByAnotherKey", "", "zb_otherkey.dl_", nullptr, 2, IDOK, kNotSigned, ""},
        Refusal{"NotFound", "", "zb.dl_", "status=404", 2, IDOK, "status: 404", kDownloaded},
        Refusal{"NoLength", "", "zb.dl_", "no_length=1", 2, IDOK, "CZHttpQueryInfo Length failed",
                kDownloaded},
        Refusal{"BodyCutShort", "", "zb.dl_", "close_after=3000", 2, IDOK, "download incomplete",
                kDownloaded},
        Refusal{"ResetMidBody", "", "zb.dl_", "cut_after=3000", 2, IDOK, "", kDownloaded},
        // The same refusals in the silent and the closing pass: nothing is
        // shown but the prompt for the file still pending.
        Refusal{"SilentPassCutShort", "", "zb.dl_", "close_after=3000", 4, IDCANCEL,
                "download incomplete", kDownloaded},
        Refusal{"ClosingPassSignedByAnotherKey", "", "zb_otherkey.dl_", nullptr, 5, IDCANCEL,
                kNotSigned, ""},
        // Accepted after a failed silent fetch: fetched again, refused again.
        Refusal{"SilentPassWrongSizeThenAccepted", "{badsize2:zb}", "zb.dl_", nullptr, 4, IDOK,
                kDownloaded, kNotSigned}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.label); });

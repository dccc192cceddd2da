// RunUpdate's branches seen from outside: what each outcome of the
// self-update check, of the component list and of the offer leaves, and
// what the exit hook starts (the host client's program records it).
#include <gtest/gtest.h>

#include <algorithm>

#include "reg_values.h"
#include "whole_run.h"

namespace {
using Case = CZRunCase;
const std::vector<std::string> kStart = {"GET corvcli.html", "HEAD p/zupdater.qpk",
                                         "GET m/components.html"};
std::vector<std::string> Then(std::vector<std::string> more) {
  std::vector<std::string> all = kStart;
  all.insert(all.end(), more.begin(), more.end());
  return all;
}
const char kScript[] = "[update.reg]\r\nVersion=9,0,0,0\r\n";
const std::string kKillAndStart = std::string(kKillLine) + kStartLine;

class RunBranchTest : public ::testing::TestWithParam<CZRunCase> {
 protected:
  CZWholeRun m_run;
};
}  // namespace

TEST_P(RunBranchTest, LeavesWhatItsBranchSays) {
  const Case& c = GetParam();
  ASSERT_TRUE(
      m_run.ServeFile("m/update_reg.qpk", TestProgramFolder() + "packages\\reg\\update_reg.qpk"));
  ASSERT_NO_FATAL_FAILURE(RunCase(m_run, c));
  ExpectCase(m_run, c);
  // The registry script is applied exactly when it was fetched.
  const std::vector<std::string> seen = m_run.MainRequests();
  const bool fetched =
      std::find(seen.begin(), seen.end(), m_run.Get("m/update_reg.qpk")) != seen.end();
  EXPECT_EQ(fetched ? "yes" : "<absent>",
            ReadRegString(HKEY_CURRENT_USER, "Software\\ZupdaterTest\\RegScript", "Applied"));
  EXPECT_EQ(fetched ? "9,0,0,0" : "<absent>",
            ReadRegString(HKEY_CURRENT_USER, "SOFTWARE\\Zindo\\Murvo\\Update", "RegFileVersion"));
}

INSTANTIATE_TEST_SUITE_P(
    Branches, RunBranchTest,
    ::testing::Values(
        // No components section: the registry script still runs; result 0.
        Case{"NoComponentList",
             std::string("[New Install]\r\n") + kScript,
             {},
             {},
             true,
             IDOK,
             Then({"GET m/update_reg.qpk"}),
             {},
             {},
             {},
             "",
             "",
             {},
             {"ZUpdater does not need update\r\n"},
             Case::kAbsent},
        // Nothing pending: no prompt, nothing closed or started.
        Case{"NothingPending",
             ComponentList({"za"}) + "[za.dll]\r\nUrl={site}c/za.dl_\r\nFileVersion=5,0,0,0\r\n" +
                 kScript,
             {"za"},
             {},
             true,
             IDOK,
             Then({"GET m/update_reg.qpk"}),
             {},
             {},
             {},
             "",
             "",
             {},
             {},
             Case::kAbsent},
        // Accepted: the host client closed, the file fetched, the script
        // applied after it, the host client started again at exit.
        Case{"OfferAccepted",
             ComponentList({"za"}) + ComponentSection("za", 2) + kScript,
             {"za"},
             {},
             true,
             IDOK,
             Then({"GET m/update.txt", "GET c/za.dl_", "HEAD c/za.dl_", "GET m/update_reg.qpk"}),
             {},
             {kDefaultPrompt, "progress Downloading File 1 of 1"},
             {},
             kKillAndStart,
             "",
             {"za"},
             {"User said YES to the upgrade\r\n", "Attempting to shutdown Corvane Application\r\n"},
             0},
        // Refused: the host client is left alone; the refusal is recorded.
        Case{"OfferRefused",
             ComponentList({"za"}) + ComponentSection("za", 2) + kScript,
             {"za"},
             {},
             true,
             IDCANCEL,
             Then({"GET m/update.txt", "GET m/update_reg.qpk"}),
             {},
             {kDefaultPrompt},
             {},
             "",
             "",
             {},
             {"User said NO to the upgrade\r\n"},
             Case::kNonZero},
        // A refused level-1 offer closes the host client all the same, and
        // nothing starts it again.
        Case{"Level1Refused",
             ComponentList({"za"}) + ComponentSection("za", 1) + kScript,
             {"za"},
             {},
             true,
             IDCANCEL,
             Then({"GET m/update.txt", "GET m/update_reg.qpk"}),
             {},
             {kDefaultPrompt},
             {},
             kKillLine,
             "",
             {},
             {"User said NO to the upgrade\r\n", "Attempting to shutdown Corvane Application\r\n"},
             Case::kNonZero},
        // ... unless the closing pass closed it: then it comes back at exit.
        Case{"Level1RefusedAfterClosingPass",
             ComponentList({"za", "zb"}) + ComponentSection("za", 5) + ComponentSection("zb", 1) +
                 kScript,
             {"za", "zb"},
             {},
             true,
             IDCANCEL,
             Then({"GET c/za.dl_", "HEAD c/za.dl_", "GET m/update.txt", "GET m/update_reg.qpk"}),
             {},
             {"progress Downloading File 1 of 1", kDefaultPrompt},
             {},
             kKillAndStart,
             kKillLine,
             {"za"},
             {},
             Case::kNonZero},
        // Only level 5: closed, fetched with the progress window, no prompt,
        // started again.
        Case{"OnlyClosingPass",
             ComponentList({"za"}) + ComponentSection("za", 5) + kScript,
             {"za"},
             {},
             true,
             IDOK,
             Then({"GET c/za.dl_", "HEAD c/za.dl_", "GET m/update_reg.qpk"}),
             {},
             {"progress Downloading File 1 of 1"},
             {},
             kKillAndStart,
             "",
             {"za"},
             {},
             Case::kAbsent}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.label); });

namespace {
struct SelfUpdate {
  const char* label;
  const char* package;  // packages\<name> served as p/zupdater.qpk
  bool newer;           // dated a day after the installed updater
  const char* logHas;
  std::vector<std::string> requests;  // of the first run
};
void PrintTo(const SelfUpdate& c, std::ostream* os) { *os << c.label; }
class SelfUpdateBranchTest : public ::testing::TestWithParam<SelfUpdate> {
 protected:
  CZWholeRun m_run;
};
}  // namespace

// Each outcome of the self-update check with pending work in the manifest:
// only "current" goes on to it; none starts the host client.
TEST_P(SelfUpdateBranchTest, OnlyACurrentUpdaterGoesOn) {
  const SelfUpdate& c = GetParam();
  const long long installed = 1704067200;  // 2024-01-01
  ASSERT_TRUE(StampFile(m_run.App() + "zupdater.exe", FileTimeFromUnix(installed)));
  ASSERT_TRUE(m_run.ServeFile("p/zupdater.qpk", TestProgramFolder() + "packages\\" + c.package));
  ASSERT_TRUE(m_run.SetRule("p/zupdater.qpk",
                            "last_modified=" + std::to_string(installed + (c.newer ? 86400 : 0))));
  const std::string before = ReadFileText(m_run.App() + "zupdater.exe");
  // Level 5 work: a run that reached the passes would close and restart
  // the host client.
  CZRunCase run = CaseOf(c.label, ComponentList({"za"}) + ComponentSection("za", 5), {"za"});
  run.hostRunning = true;
  run.answer = IDCANCEL;
  ASSERT_NO_FATAL_FAILURE(LayOutCase(m_run, run));
  m_run.Run(IDCANCEL);
  const std::string log = m_run.Log();
  EXPECT_NE(std::string::npos, log.find(c.logHas)) << log;
  std::vector<std::string> seen = m_run.MainRequests();
  const std::vector<std::string> expected = RequestLinesOf(m_run, c.requests);
  ASSERT_GE(seen.size(), expected.size());
  EXPECT_EQ(expected, std::vector<std::string>(seen.begin(), seen.begin() + expected.size()));
  const bool failed = std::string(c.label) == "Failed";
  EXPECT_EQ(failed ? std::vector<std::string>{}
                   : std::vector<std::string>{"progress Downloading File 1 of 1"},
            m_run.Events());
  EXPECT_FALSE(FileExists(m_run.App() + "ZUDPTEMP.EX_"));
  EXPECT_FALSE(FileExists(m_run.App() + "ZUDPTEMP.EXE"));
  const std::string after = ReadFileText(m_run.App() + "zupdater.exe");
  if (std::string(c.label) == "Ready") {
    // The exit hook started the temporary copy, which put the new updater
    // in place; that one found itself current and went on to the passes.
    EXPECT_TRUE(after == ReadFileText(TestProgramFolder() + "packages\\zupdater_next.exe"));
    EXPECT_EQ(m_run.Fill(std::string(kKillLine) + kStartLine), m_run.HostArgs());
  } else {
    EXPECT_TRUE(after == before);
  }
  if (failed) {
    EXPECT_EQ(expected, seen);
    EXPECT_EQ("", m_run.HostArgs());
    EXPECT_TRUE(ReadFileText(m_run.App() + "za.dll") == FixtureBytes("zcom500.dll"));
  }
  if (std::string(c.label) == "Current") {
    EXPECT_EQ(m_run.Fill(std::string(kKillLine) + kStartLine), m_run.HostArgs());
    EXPECT_TRUE(ReadFileText(m_run.App() + "za.dll") == FixtureBytes("zcom510.dll"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SelfUpdateBranchTest,
    ::testing::Values(SelfUpdate{"Current",
                                 "zupdater_new.qpk",
                                 false,
                                 "ZUpdater does not need update\r\n",
                                 {"GET corvcli.html", "HEAD p/zupdater.qpk",
                                  "GET m/components.html", "GET c/za.dl_", "HEAD c/za.dl_"}},
                      SelfUpdate{"Ready",
                                 "zupdater_new.qpk",
                                 true,
                                 "ZUpdater does not need update\r\n",
                                 {"GET corvcli.html", "HEAD p/zupdater.qpk", "GET p/zupdater.qpk",
                                  "GET corvcli.html", "HEAD p/zupdater.qpk",
                                  "GET m/components.html", "GET c/za.dl_", "HEAD c/za.dl_"}},
                      SelfUpdate{
                          "Failed",
                          "zupdater_otherkey.qpk",
                          true,
                          "ZUpdater update failed!\r\n",
                          {"GET corvcli.html", "HEAD p/zupdater.qpk", "GET p/zupdater.qpk"}}),
    [](const ::testing::TestParamInfo<SelfUpdate>& info) { return std::string(info.param.label); });

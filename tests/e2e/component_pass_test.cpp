// The component passes of a whole run: level 4 silently, level 5 with the
// host client closed, the rest once the user accepts the prompt; which
// server each file comes from.
#include <gtest/gtest.h>

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
const char kUpdateKey[] = "SOFTWARE\\Zindo\\Murvo\\Update";
constexpr DWORD kRefusedBefore = 1234;

class ComponentPassTest : public ::testing::TestWithParam<CZRunCase> {
 protected:
  CZWholeRun m_run;
};
}  // namespace

TEST_P(ComponentPassTest, FetchesEachFileInItsPass) {
  const Case& c = GetParam();
  // A refusal recorded by an earlier run (the case expects it kept).
  if (c.lastUpdateTime == kRefusedBefore) {
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kUpdateKey, "LastUpdateTime", kRefusedBefore));
  }
  ASSERT_TRUE(
      m_run.ServeFile("m/update_reg.qpk", TestProgramFolder() + "packages\\reg\\update_reg.qpk"));
  ASSERT_NO_FATAL_FAILURE(RunCase(m_run, c));
  ExpectCase(m_run, c);
}

INSTANTIATE_TEST_SUITE_P(
    Passes, ComponentPassTest,
    ::testing::Values(
        // Files 1 and 2 of the silent pass without any window, then the
        // prompt, then the host client closed and the prompted file fetched
        // as file 1 of 1 and registered; the host client comes back at exit.
        Case{"SilentPairThenPromptedOne",
             ComponentList({"za", "zb", "zc"}) + ComponentSection("za", 4) +
                 ComponentSection("zb", 4, "{sizes:zb}") +
                 ComponentSection("zc", 2, "RegisterServer=1\r\n"),
             {"za", "zb", "zc"},
             {},
             true,
             IDOK,
             Then({"GET c/za.dl_", "HEAD c/za.dl_", "GET c/zb.dl_", "HEAD c/zb.dl_",
                   "GET m/update.txt", "GET c/zc.dl_", "HEAD c/zc.dl_"}),
             {},
             {kDefaultPrompt, "progress Downloading File 1 of 1"},
             Then({"GET c/za.dl_", "HEAD c/za.dl_", "GET c/zb.dl_", "HEAD c/zb.dl_",
                   "GET m/update.txt"}),
             std::string(kKillLine) + kStartLine,
             "",
             {"za", "zb", "zc"},
             {"File signed correctly {app}za.dl_\r\n", "File signed correctly {app}zb.dl_\r\n",
              "User said YES to the upgrade\r\n", "Attempting to shutdown Corvane Application\r\n",
              "File signed correctly {app}zc.dl_\r\n"},
             0},
        // The closing pass closes the host client, the fetch fails, the file
        // stays pending and is offered with 5 as the lowest level; refused.
        Case{"FailedClosingFetchIsOffered",
             ComponentList({"za"}) + ComponentSection("za", 5),
             {"za"},
             {{"c/za.dl_", "status=404"}},
             true,
             IDCANCEL,
             Then({"GET c/za.dl_", "GET m/update.txt"}),
             {},
             {kDefaultPrompt},
             Then({"GET c/za.dl_", "GET m/update.txt"}),
             std::string(kKillLine) + kStartLine,
             kKillLine,
             {},
             {"Attempting to shutdown Corvane Application\r\n", "User said NO to the upgrade\r\n"},
             Case::kNonZero},
        // A refused level-3 offer on record: the level-4 file is fetched, the
        // level-3 one is not offered again.
        Case{"RememberedLevel3RefusalAsksNothing",
             ComponentList({"zc", "za"}) + ComponentSection("zc", 3) + ComponentSection("za", 4),
             {"za", "zc"},
             {},
             true,
             IDOK,
             Then({"GET c/za.dl_", "HEAD c/za.dl_"}),
             {},
             {},
             {},
             "",
             "",
             {"za"},
             {"File signed correctly {app}za.dl_\r\n"},
             kRefusedBefore},
        // Two files on the page's server share its connection; the one on
        // the second server gets its own, and the page's server is used
        // again after it (the registry script comes from there).
        Case{"SecondServerOnlyForItsOwnFile",
             ComponentList({"za", "zb", "zc"}) + ComponentSection("za", 4) +
                 ComponentSection("zb", 4, "", "{alt}") + ComponentSection("zc", 4) +
                 "[update.reg]\r\nVersion=9,0,0,0\r\n",
             {"za", "zb", "zc"},
             {},
             false,
             IDOK,
             Then({"GET c/za.dl_", "HEAD c/za.dl_", "GET c/zc.dl_", "HEAD c/zc.dl_",
                   "GET m/update_reg.qpk"}),
             {"GET c/zb.dl_", "HEAD c/zb.dl_"},
             {},
             {},
             "",
             "",
             {"za", "zb", "zc"},
             {"{alt}c/zb.dl_ downloaded successfully to file {app}zb.dl_"},
             Case::kAbsent},
        // The closing pass counts its own files in the progress window's
        // title; the prompted pass starts counting again.
        Case{"EachPassCountsItsFiles",
             ComponentList({"za", "zb", "zc"}) + ComponentSection("za", 5) +
                 ComponentSection("zb", 5) + ComponentSection("zc", 2),
             {"za", "zb", "zc"},
             {},
             true,
             IDOK,
             Then({"GET c/za.dl_", "HEAD c/za.dl_", "GET c/zb.dl_", "HEAD c/zb.dl_",
                   "GET m/update.txt", "GET c/zc.dl_", "HEAD c/zc.dl_"}),
             {},
             {"progress Downloading File 1 of 2", "progress Downloading File 2 of 2",
              kDefaultPrompt, "progress Downloading File 1 of 1"},
             {},
             std::string(kKillLine) + kStartLine,
             kKillLine,
             {"za", "zb", "zc"},
             {"Attempting to shutdown Corvane Application\r\n", "User said YES to the upgrade\r\n"},
             0},
        // Without a required version the server's date decides, asked of
        // the component's own server.
        Case{"DatedOnItsOwnServer",
             ComponentList({"zd"}) + "[zd.dll]\r\nUrl={alt}c/zd.dl_\r\nRequirement=4\r\n",
             {"zd"},
             {{"alt:c/zd.dl_", "last_modified={soon}&chunk_delay=0.05"}},
             false,
             IDOK,
             kStart,
             {"HEAD c/zd.dl_", "GET c/zd.dl_", "HEAD c/zd.dl_"},
             {},
             {},
             "",
             "",
             {"zd"},
             {"{alt}c/zd.dl_ downloaded successfully to file {app}zd.dl_"},
             Case::kAbsent},
        // A server that cannot be reached fails its file only: the page's
        // server is back for the prompt and the registry script.
        Case{"UnreachableServerGivesTheConnectionBack",
             ComponentList({"za"}) + ComponentSection("za", 4, "", "http://127.0.0.1:1/") +
                 "[update.reg]\r\nVersion=9,0,0,0\r\n",
             {"za"},
             {},
             false,
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
        // A name Windows opens as a device: its download would go to a
        // serial port, so the component is refused and nothing is asked.
        Case{"DeviceNameRefused",
             ComponentList({"com1"}) + ComponentSection("com1", 4),
             {},
             {},
             false,
             IDOK,
             kStart,
             {},
             {},
             {},
             "",
             "",
             {},
             {"Component com1.dll refused: no safe place for its file\r\n"},
             Case::kAbsent},
        // A subfolder of the destination is made before the download.
        Case{"SubfolderMadeFirst",
             ComponentList({"za"}) + ComponentSection("za", 4, "DestDir=1,sub\\\r\n"),
             {"za"},
             {},
             false,
             IDOK,
             Then({"GET c/za.dl_", "HEAD c/za.dl_"}),
             {},
             {},
             {},
             "",
             "",
             {},
             {"c/za.dl_ downloaded successfully to file {app}sub\\za.dl_",
              "File signed correctly {app}sub\\za.dl_\r\n"},
             Case::kAbsent}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.label); });

// The prompted file is registered where it was installed; the registry
// script of the last case is in place when its version is recorded.
TEST(ComponentPassExtrasTest, RegistersThePromptedFileAndAppliesTheScript) {
  CZWholeRun run;
  ASSERT_TRUE(
      run.ServeFile("m/update_reg.qpk", TestProgramFolder() + "packages\\reg\\update_reg.qpk"));
  Case c{"",
         ComponentList({"zc"}) + ComponentSection("zc", 2, "RegisterServer=1\r\n") +
             "[update.reg]\r\nVersion=9,0,0,0\r\n",
         {"zc"},
         {},
         false,
         IDOK,
         {},
         {},
         {},
         {},
         "",
         "",
         {"zc"},
         {},
         0};
  RunCase(run, c);
  EXPECT_EQ(run.App() + "zc.dll",
            ReadRegString(HKEY_CURRENT_USER, "Software\\ZupdaterTests\\ComServer", "Registered"));
  EXPECT_EQ(1u, ReadRegDword(HKEY_CURRENT_USER, "Software\\ZupdaterTests\\ComServer", "Count"));
  EXPECT_EQ("yes",
            ReadRegString(HKEY_CURRENT_USER, "Software\\ZupdaterTest\\RegScript", "Applied"));
  EXPECT_EQ("9,0,0,0", ReadRegString(HKEY_CURRENT_USER, kUpdateKey, "RegFileVersion"));
  EXPECT_TRUE(ReadFileText(run.App() + "zc.dll") == FixtureBytes("zcom510.dll"));
  // The registry script comes after the components.
  const std::vector<std::string> seen = run.MainRequests();
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(run.Get("c/zc.dl_"), seen[seen.size() - 3]);
  EXPECT_EQ(run.Get("m/update_reg.qpk"), seen.back());
}

// Every download of a whole run of the full update site, in turn answered
// with each fault of the test server: the run ends (no hang, exit code 0, no
// crash), every installed file is its old or its new release byte for byte,
// and exactly the work that did not depend on the faulty download is done.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "full_site.h"
#include "http_test_server.h"
#include "reg_values.h"
#include "running_host.h"
#include "test_support.h"

namespace {
constexpr DWORD kRunTimeoutMs = 150000;
const char kUpdateKey[] = "SOFTWARE\\Zindo\\Murvo\\Update";
const char kSettingsKey[] = "Software\\Zindo\\Murvo\\Settings";

// What a failed download of a path costs the run.
enum class Loss {
  kEverything,  // the run ends before any component: nothing replaced
  kNothing,     // the run goes on as if the download had not failed
  kSilent,      // zsilent.dll kept; the final pass fails on it too ("Update Failed !")
  kClosing,     // zclose.dll kept; the final pass fails on it too
  kOffered,     // plugins\zoffer.dll kept; the final pass fails
  kScript,      // the registry script is not applied
  kRelease,     // the host client release is not installed; the run ends quietly
};

struct Download {
  const char* label;
  const char* path;  // under the site
  bool release;      // a download of the run that offers the host client release
  Loss loss;
};
void PrintTo(const Download& d, std::ostream* os) { *os << d.label; }

struct Fault {
  const char* label;
  // Test server rule; "{half}" stands for half the file's size.
  const char* rule;
  bool fails;  // false: the download succeeds all the same, only later
};
void PrintTo(const Fault& f, std::ostream* os) { *os << f.label; }

const Download kDownloads[] = {
    {"Page", "corvcli.html", false, Loss::kEverything},
    // Only its date is asked for: without one the updater counts as current.
    {"UpdaterPackage", "p/zupdater.qpk", false, Loss::kNothing},
    {"Manifest", "m/components.html", false, Loss::kEverything},
    {"SilentComponent", "m/c/zsilent.dl_", false, Loss::kSilent},
    {"ClosingComponent", "m/c/zclose.dl_", false, Loss::kClosing},
    // The prompt shows its built-in text instead.
    {"PromptText", "m/update.txt", false, Loss::kNothing},
    {"OfferedComponent", "m/c/zoffer.dl_", false, Loss::kOffered},
    {"RegistryScript", "m/update_reg.qpk", false, Loss::kScript},
    {"InstallerPackage", "m/setup/zsetup.qpk", true, Loss::kRelease},
};

const Fault kFaults[] = {
    {"NotFound", "status=404", true},
    {"ServerError", "status=500", true},
    {"NoLength", "no_length=1", true},
    {"CutShort", "close_after={half}", true},
    {"ResetMidBody", "cut_after={half}", true},
    {"LongerThanSent", "length=99999999&close_after={half}", true},
    {"NoAnswer", "drop=1", true},
    {"Stall", "stall=2", false},
};

class FaultMatrixTest : public CZServedSiteTest<std::tuple<Download, Fault>> {};
}  // namespace

TEST_P(FaultMatrixTest, RunEndsCleanlyWithEachFileOldOrNew) {
  const Download& d = std::get<0>(GetParam());
  const Fault& f = std::get<1>(GetParam());
  WIN32_FILE_ATTRIBUTE_DATA served;
  ASSERT_TRUE(GetFileAttributesExA(m_server.ServedPath(m_prefix + d.path).c_str(),
                                   GetFileExInfoStandard, &served));
  const std::string rule = ReplaceAll(f.rule, "{half}", std::to_string(served.nFileSizeLow / 2));
  ASSERT_TRUE(m_server.SetRule(m_prefix + d.path, rule));

  CZClientUnderTest client(d.release ? "fake_host4.exe" : "fake_host5.exe");
  ASSERT_TRUE(client.Install());
  // The picture of a failed update, as README shows it.
  const bool pictured =
      std::string(d.label) == "SilentComponent" && std::string(f.label) == "NotFound";
  if (pictured) client.SaveBoxPictureAs("update_failed");
  {
    CZRunningHostClient host;
    ASSERT_TRUE(host.IsUp());
    ASSERT_TRUE(client.Run(Site() + "corvcli.html", PromptAnswer::kEnter, kRunTimeoutMs))
        << "the run did not end\n"
        << client.Log();
  }
  const std::string log = client.Log();
  SCOPED_TRACE(log);
  EXPECT_EQ(0u, client.ExitCode());
  const std::string& app = client.App();
  const std::string oldBytes = ReadFileText(TestProgramFolder() + "zcom500.dll");
  const std::string newBytes = ReadFileText(TestProgramFolder() + "zcom510.dll");

  const Loss loss = f.fails ? d.loss : Loss::kNothing;
  const bool componentsRun = !d.release && loss != Loss::kEverything;
  const bool finalPassFails =
      loss == Loss::kSilent || loss == Loss::kClosing || loss == Loss::kOffered;
  auto replaced = [&](const std::string& name) {
    if (!componentsRun) return false;
    if (name == "zsilent.dll") return loss != Loss::kSilent;
    if (name == "zclose.dll") return loss != Loss::kClosing;
    // The final pass stops at its first failure, before zoffer.dll.
    return !finalPassFails;
  };
  for (const char* name : kUpdatedFiles) {
    const std::string bytes = ReadFileText(app + name);
    EXPECT_TRUE(bytes == oldBytes || bytes == newBytes) << name << " is neither release";
    EXPECT_TRUE(bytes == (replaced(name) ? newBytes : oldBytes)) << name;
  }
  EXPECT_TRUE(newBytes == ReadFileText(app + kCurrentFile));
  for (const char* leftover : {"zsilent.dl_", "zclose.dl_", "plugins\\zoffer.dl_", "update.reg",
                               "update_reg.qpk", "components.ini"})
    EXPECT_FALSE(FileExists(app + leftover)) << leftover;

  // The prompt is reached whenever the manifest was.
  EXPECT_EQ(loss == Loss::kEverything ? 0 : 1, client.PromptsSeen());
  // Only the final pass's failure is shown to the user.
  if (finalPassFails) {
    EXPECT_EQ("Error: Update Failed !\n", client.BoxesSeen());
    if (pictured) EXPECT_NE("", client.BoxPicture());
  } else
    EXPECT_EQ("", client.BoxesSeen());

  const bool scriptApplied = componentsRun && loss != Loss::kScript;
  EXPECT_EQ(scriptApplied ? "keep" : "<absent>",
            ReadRegString(HKEY_CURRENT_USER, kSettingsKey, "ChatHistory"));
  EXPECT_EQ(scriptApplied ? "5,0,2,0" : "<absent>",
            ReadRegString(HKEY_CURRENT_USER, kUpdateKey, "RegFileVersion"));

  // The host client: closed by the closing pass (or for the installer) and
  // started again after component work; the installer ran only when its
  // package was whole.
  const std::string host = "\"" + app + "murvo.exe\"";
  const std::string args = ReadFileText(app + "args.txt");
  const std::string installerArgs = ReadFileText(client.ReleaseFolder() + "args.txt");
  if (d.release) {
    EXPECT_EQ(loss == Loss::kRelease ? "" : host + " -kill\n", args);
    EXPECT_EQ(loss == Loss::kRelease ? "" : "\"" + client.ReleaseFolder() + "zsetup.exe\" /s\n",
              installerArgs);
  } else {
    EXPECT_EQ(componentsRun ? host + " -kill\n" + host + "\n" : "", args);
    EXPECT_EQ("", installerArgs);
  }
  EXPECT_FALSE(FileExists(client.ReleaseFolder() + "zsetup.qpk"));
}

INSTANTIATE_TEST_SUITE_P(Matrix, FaultMatrixTest,
                         ::testing::Combine(::testing::ValuesIn(kDownloads),
                                            ::testing::ValuesIn(kFaults)),
                         [](const ::testing::TestParamInfo<std::tuple<Download, Fault>>& info) {
                           return std::string(std::get<0>(info.param).label) + "_" +
                                  std::get<1>(info.param).label;
                         });

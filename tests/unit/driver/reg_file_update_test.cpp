// The registry script step against the local test server, with the real
// registry editor of the test prefix.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/process_state.h"
#include "common/update_log.h"
#include "driver/reg_import.h"
#include "driver/updater.h"
#include "http_test_server.h"
#include "reg_values.h"
#include "test_support.h"

namespace {
const char kUpdateKey[] = "SOFTWARE\\Zindo\\Murvo\\Update";
const char kScriptKey[] = "Software\\ZupdaterTest\\RegScript";
const char kAbsent[] = "<absent>";

std::string Package(const std::string& name) {
  return TestProgramFolder() + "packages\\reg\\" + name;
}

class RegFileUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.IsRunning()) << "the http_server fixture did not start";
    m_prefix = TestPathPrefix();
    m_server.Clear(m_prefix);
    m_commandLine.assign(1, '\0');
    m_updater = std::make_unique<CZUpdater>(nullptr, m_commandLine.data());
    ASSERT_TRUE(m_updater->IsReady());
    ASSERT_EQ(1, m_updater->OpenInternet());
    ASSERT_EQ(1, m_updater->Net().SetServerFromUrl(m_server.Url(m_prefix).c_str()));
    ASSERT_EQ(1, m_updater->Net().OpenHttpSession());
    m_updater->Settings().SetPackageBasePath(m_prefix);
    g_hostExeName = "fake_host5.exe";  // version 5.0.1.0, beside the tests
  }
  void TearDown() override {
    m_updater.reset();
    g_hostExeName.clear();
    DeleteFileA(Working("components.ini").c_str());
  }
  static std::string Working(const char* name) { return g_workingFolder + name; }
  void WriteManifest(const char* version) {
    std::string text = "[components]\r\n";
    if (version != nullptr) text += std::string("[update.reg]\r\nVersion=") + version + "\r\n";
    ASSERT_TRUE(WriteFileText(Working("components.ini"), text));
  }
  void Serve(const std::string& package) {
    ASSERT_TRUE(CopyFileA(Package(package).c_str(),
                          m_server.ServedPath(m_prefix.substr(1) + "update_reg.qpk").c_str(),
                          FALSE));
  }
  bool Requested() {
    return m_server.Requests(m_prefix).find("GET " + m_prefix + "update_reg.qpk") !=
           std::string::npos;
  }
  void ExpectNothingLeftBehind() {
    EXPECT_FALSE(FileExists(Working("update_reg.qpk")));
    EXPECT_FALSE(FileExists(Working("update.reg")));
  }

  CZHttpTestServer m_server;
  std::string m_prefix;
  CZScopedRegTree m_update{HKEY_CURRENT_USER, kUpdateKey};
  CZScopedRegTree m_script{HKEY_CURRENT_USER, "Software\\ZupdaterTest"};
  std::vector<char> m_commandLine;
  std::unique_ptr<CZUpdater> m_updater;
};

struct VersionCase {
  const char* name;
  const char* applied;  // RegFileVersion; null: never applied
  const char* version;  // the manifest's; null: no [update.reg] section
  const char* hostExe;
  bool imported;
};
void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.name; }

class RegFileVersionTest : public RegFileUpdateTest,
                           public ::testing::WithParamInterface<VersionCase> {};
}  // namespace

TEST_P(RegFileVersionTest, ImportsWhenTheVersionDiffersFromTheLastApplied) {
  const VersionCase& c = GetParam();
  if (c.applied != nullptr) {
    ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kUpdateKey, "RegFileVersion", c.applied));
  }
  g_hostExeName = c.hostExe;
  WriteManifest(c.version);
  Serve("update_reg.qpk");

  EXPECT_EQ(c.imported, m_updater->UpdateRegFile());
  EXPECT_EQ(c.imported, Requested());
  // The editor has finished by the time the step returns: the values are
  // there as soon as the version says they are.
  EXPECT_EQ(c.imported ? "yes" : kAbsent, ReadRegString(HKEY_CURRENT_USER, kScriptKey, "Applied"));
  std::string expected = c.imported ? c.version : (c.applied != nullptr ? c.applied : kAbsent);
  EXPECT_EQ(expected, ReadRegString(HKEY_CURRENT_USER, kUpdateKey, "RegFileVersion"));
  ExpectNothingLeftBehind();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegFileVersionTest,
    ::testing::Values(
        VersionCase{"SameVersion", "5,0,0,1", "5,0,0,1", "fake_host5.exe", false},
        VersionCase{"SameVersionOtherCase", "5,0,0,1a", "5,0,0,1A", "fake_host5.exe", false},
        VersionCase{"LowerVersion", "5,0,0,1", "5,0,0,0", "fake_host5.exe", true},
        VersionCase{"SameNumbersWrittenOtherwise", "5,0,0,1", "5,0,0,01", "fake_host5.exe", true},
        VersionCase{"NeverAppliedNewerThanTheHost", nullptr, "6,0,0,0", "fake_host5.exe", true},
        VersionCase{"NeverAppliedSameAsTheHost", nullptr, "5,0,1,0", "fake_host5.exe", false},
        VersionCase{"NeverAppliedOlderThanTheHost", nullptr, "4,9,9,9", "fake_host5.exe", false},
        VersionCase{"NeverAppliedHostUnreadable", nullptr, "6,0,0,0", "missing.exe", false},
        VersionCase{"NoVersionInTheManifest", "5,0,0,1", nullptr, "fake_host5.exe", false}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

namespace {
struct RefusalCase {
  const char* name;
  const char* package;  // served as update_reg.qpk; null: a rule instead
  const char* rule;
};
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class RegFileRefusalTest : public RegFileUpdateTest,
                           public ::testing::WithParamInterface<RefusalCase> {};
}  // namespace

TEST_P(RegFileRefusalTest, NothingIsImportedOrRecorded) {
  const RefusalCase& c = GetParam();
  WriteManifest("7,0,0,0");
  Serve(c.package);
  if (c.rule != nullptr) {
    ASSERT_TRUE(m_server.SetRule(m_prefix + "update_reg.qpk", c.rule));
  }
  EXPECT_FALSE(m_updater->UpdateRegFile());
  EXPECT_TRUE(Requested());
  EXPECT_EQ(kAbsent, ReadRegString(HKEY_CURRENT_USER, kScriptKey, "Applied"));
  EXPECT_EQ(kAbsent, ReadRegString(HKEY_CURRENT_USER, kUpdateKey, "RegFileVersion"));
  ExpectNothingLeftBehind();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegFileRefusalTest,
    ::testing::Values(RefusalCase{"OtherKey", "otherkey.qpk", nullptr},
                      RefusalCase{"NoScriptInside", "noscript.qpk", nullptr},
                      RefusalCase{"NotFound", "update_reg.qpk", "status=404"},
                      RefusalCase{"NoLength", "update_reg.qpk", "no_length=1"},
                      RefusalCase{"ZeroLength", "update_reg.qpk", "body="},
                      RefusalCase{"CutShort", "update_reg.qpk", "close_after=100"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST(RegImportCommandTest, QuotesTheToolAndTheScript) {
  char command[600];
  BuildRegImportCommand("C:\\WINDOWS\\system32", "C:\\Program Files\\Zindo\\update.reg", false,
                        command, sizeof(command));
  EXPECT_STREQ("\"C:\\WINDOWS\\system32\\reg.exe\" import \"C:\\Program Files\\Zindo\\update.reg\"",
               command);
  // Under WOW64 the script goes to the 32-bit views the host client reads.
  BuildRegImportCommand("C:\\WINDOWS\\system32", "C:\\Z\\update.reg", true, command,
                        sizeof(command));
  EXPECT_STREQ("\"C:\\WINDOWS\\system32\\reg.exe\" import \"C:\\Z\\update.reg\" /reg:32", command);
}

// This process as Windows sees it: the system folder holds reg.exe, and the
// view flag is this process's own.
TEST(RegImportCommandTest, ThisProcessFindsTheToolAndItsView) {
  char folder[MAX_PATH] = "";
  bool underWow64 = true;
  ASSERT_TRUE(FindRegImportTool(folder, sizeof(folder), &underWow64));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES,
            GetFileAttributesA((std::string(folder) + "\\reg.exe").c_str()))
      << folder;
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_EQ(wow64 != FALSE, underWow64);
}

TEST(RegImportCommandTest, ProgramThatCannotStartIsReported) {
  EXPECT_EQ(RegImportResult::kNotStarted,
            RunRegImport("\"C:\\no\\such\\reg.exe\" import \"x.reg\"", 1000));
}

// Only an exit status of 0 is an import; any other is a failure, with the
// status given back.
TEST(RegImportCommandTest, OnlyStatusZeroIsAnImport) {
  DWORD status = 0;
  EXPECT_EQ(RegImportResult::kFailed, RunRegImport("cmd.exe /c exit 3", 30000, &status));
  EXPECT_EQ(3u, status);
  EXPECT_EQ(RegImportResult::kImported, RunRegImport("cmd.exe /c exit 0", 30000, &status));
  EXPECT_EQ(0u, status);
}

// A genuinely signed script that the tool cannot import: nothing recorded,
// so the next run tries again, and the log says why.
TEST_F(RegFileUpdateTest, FailedImportIsNotRecorded) {
  CZTempFolder logFolder("reglog");
  ASSERT_TRUE(CreateDirectoryA((logFolder / "logs").c_str(), nullptr));
  StartUpdateLog(logFolder.path().c_str());
  WriteManifest("7,0,0,0");
  Serve("broken.qpk");
  EXPECT_FALSE(m_updater->UpdateRegFile());
  EXPECT_TRUE(Requested());
  EXPECT_EQ(kAbsent, ReadRegString(HKEY_CURRENT_USER, kUpdateKey, "RegFileVersion"));
  ExpectNothingLeftBehind();
  StopUpdateLog();
  const std::string log = ReadFileText(logFolder / "logs\\updater.log");
  EXPECT_NE(std::string::npos, log.find("Registry script import failed, status 1: ")) << log;
}

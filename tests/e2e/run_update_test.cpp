// The real zupdater.exe against the local test server: one scenario per row,
// each with its own update site under the test's path prefix and its own
// application folder, checked through the update log, the requests the
// server saw, the files left behind and the registry.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "http_test_server.h"
#include "running_host.h"
#include "settings/reg_key.h"
#include "test_support.h"

namespace {
constexpr DWORD kRunTimeoutMs = 60000;
const char kZindoKey[] = "SOFTWARE\\Zindo";
const char kMurvoKey[] = "SOFTWARE\\Zindo\\Murvo";

struct RunScenario {
  const char* label;
  // The client update page; "{site}" stands for the site's URL (ends with "/").
  const char* page;
  // The manifest served as m/components.html; null answers 404.
  const char* manifest;
  // Fixture program installed as the host client murvo.exe, or null.
  const char* host;
  // The web browser control cannot be created.
  bool noBrowser;
  std::vector<std::string> logHas;
  std::vector<std::string> logLacks;
  std::vector<std::string> requested;     // paths under the site
  std::vector<std::string> notRequested;  // paths under the site
};
// Names the case in test listings.
void PrintTo(const RunScenario& c, std::ostream* os) { *os << c.label; }

class RunUpdateTest : public ::testing::TestWithParam<RunScenario> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.IsRunning()) << "the http_server fixture did not start";
    m_prefix = TestPathPrefix();
    m_server.Clear(m_prefix);
    CZRegKey murvo;
    ASSERT_EQ(0, murvo.Create(kMurvoKey, HKEY_CURRENT_USER));
    murvo.SetDword("LogUpdate", 0);
    ASSERT_TRUE(CopyFileA(UpdaterExePath().c_str(), (m_app / "zupdater.exe").c_str(), FALSE));
    CreateDirectoryA((m_app / "logs").c_str(), nullptr);
  }

  std::string Site() const { return m_server.Url(m_prefix); }

  // Runs the updater as the host client would start it.
  void Run(const RunScenario& s) {
    std::string page = ReplaceAll(s.page, "{site}", Site());
    ASSERT_TRUE(WriteFileText(m_server.ServedPath(m_prefix + "corvcli.html"), page));
    if (s.manifest != nullptr)
      ASSERT_TRUE(WriteFileText(m_server.ServedPath(m_prefix + "m/components.html"), s.manifest));
    else
      ASSERT_TRUE(m_server.SetRule(m_prefix + "m/components.html", "status=404"));
    std::string commandLine = "ServerPage=" + Site() + "corvcli.html";
    if (s.host != nullptr) {
      ASSERT_TRUE(
          CopyFileA((TestProgramFolder() + s.host).c_str(), (m_app / "murvo.exe").c_str(), FALSE));
      commandLine += ";ApplicationName=" + m_app.path() + "murvo.exe";
    }
    std::unique_ptr<CZScopedBrowserBlock> block;
    if (s.noBrowser) block = std::make_unique<CZScopedBrowserBlock>();
    EXPECT_EQ(0u, RunProgram("\"" + (m_app / "zupdater.exe") + "\" " + commandLine, m_app.path(),
                             kRunTimeoutMs));
  }

  std::string Log() const { return ReadFileText(m_app / "logs\\updater.log"); }

  CZHttpTestServer m_server;
  std::string m_prefix;
  CZScopedRegTree m_cleanup{HKEY_CURRENT_USER, kZindoKey};
  CZTempFolder m_app{"app"};
};

const char kBothFolders[] = "MURVO-FOLDER={site}m/\nPATCHKEEPER-FOLDER={site}p/\n";

}  // namespace

TEST_P(RunUpdateTest, EndsAsItsStepsSay) {
  const RunScenario& s = GetParam();
  Run(s);
  const std::string log = Log();
  const std::string seen = m_server.Requests(m_prefix);
  for (std::string line : s.logHas) {
    line = ReplaceAll(ReplaceAll(line, "{site}", Site()), "{app}", m_app.path());
    EXPECT_NE(std::string::npos, log.find(line)) << "log lacks: " << line << "\n" << log;
  }
  for (const std::string& line : s.logLacks)
    EXPECT_EQ(std::string::npos, log.find(line)) << "log has: " << line << "\n" << log;
  for (const std::string& path : s.requested)
    EXPECT_NE(std::string::npos, seen.find("GET " + m_prefix + path + " HTTP/1.0")) << path << "\n"
                                                                                    << seen;
  for (const std::string& path : s.notRequested)
    EXPECT_EQ(std::string::npos, seen.find(m_prefix + path)) << path << "\n" << seen;
  // The manifest never outlives the run, and nothing is started at its end.
  EXPECT_FALSE(FileExists(m_app / "components.ini"));
  EXPECT_FALSE(FileExists(m_app / "args.txt"));
  // Every log line starts with its date and time.
  ASSERT_GE(log.size(), 18u);
  EXPECT_EQ('/', log[2]);
  EXPECT_EQ(':', log[11]);
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, RunUpdateTest,
    ::testing::Values(
        RunScenario{"ManifestFetchedAndRemoved",
                    kBothFolders,
                    "[New Install]\r\nVersionNew=5,0,1,0\r\n",
                    "fake_host5.exe",
                    false,
                    {"ClientUpdatePage={site}corvcli.html\r\n", "ZUpdater does not need update\r\n",
                     "components.html downloaded successfully to file {app}components.ini"},
                    {"IfBrowserQualified"},
                    {"corvcli.html", "m/components.html"},
                    {}},
        RunScenario{"ManifestMissingEndsTheRun",
                    kBothFolders,
                    nullptr,
                    "fake_host5.exe",
                    false,
                    {"ZUpdater does not need update\r\n", "status: 404"},
                    {"IfBrowserQualified", "downloaded successfully to file"},
                    {"corvcli.html", "m/components.html"},
                    {}},
        RunScenario{"NoUpdaterFolderFetchesNothingMore",
                    "MURVO-FOLDER={site}m/\nSocketServers=s1:1;s2:2\n",
                    "[New Install]\r\n",
                    "fake_host5.exe",
                    false,
                    {"ClientUpdatePage={site}corvcli.html\r\n"},
                    {"ZUpdater does not need update", "components.html"},
                    {"corvcli.html"},
                    {"m/components.html", "p/"}},
        RunScenario{"OldHostWithoutBrowserEndsAfterTheManifest",
                    kBothFolders,
                    "[New Install]\r\n",
                    "fake_host4.exe",
                    true,
                    {"components.html downloaded successfully",
                     "IfBrowserQualified() failed on CoCreateInstance(CLSID_WebBrowser)\r\n"},
                    {"succeeded on CoCreateInstance"},
                    {"corvcli.html", "m/components.html"},
                    {}},
        RunScenario{"OldHostWithBrowserGoesOn",
                    kBothFolders,
                    "[New Install]\r\n",
                    "fake_host4.exe",
                    false,
                    {"IfBrowserQualified() succeeded on CoCreateInstance(CLSID_WebBrowser)\r\n"},
                    {"failed on CoCreateInstance"},
                    {"corvcli.html", "m/components.html"},
                    {}},
        RunScenario{"UnreadableHostVersionNeedsNoBrowser",
                    kBothFolders,
                    "[New Install]\r\n",
                    "record_args.exe",
                    true,
                    {"components.html downloaded successfully"},
                    {"IfBrowserQualified"},
                    {"corvcli.html", "m/components.html"},
                    {}}),
    [](const ::testing::TestParamInfo<RunScenario>& info) { return info.param.label; });

// The server lists of the page reach the host client even when the run ends
// at the page.
TEST_F(RunUpdateTest, ServerListsOfAnIncompletePageAreStored) {
  RunScenario s{"",      "MURVO-FOLDER={site}m/\nHttpServers=h1:80;h2:80\nIPAddrLookup=ip\n",
                nullptr, nullptr,
                false,   {},
                {},      {},
                {}};
  Run(s);
  CZRegKey murvo(kMurvoKey, HKEY_CURRENT_USER);
  char value[256];
  ASSERT_TRUE(murvo.QueryString("Http Server", value, sizeof(value)));
  EXPECT_STREQ("h1:80;h2:80", value);
  ASSERT_TRUE(murvo.QueryString("IPLookup", value, sizeof(value)));
  EXPECT_STREQ("ip", value);
  CZRegKey zindo(kZindoKey, HKEY_CURRENT_USER);
  ASSERT_TRUE(zindo.QueryString("ClientUpdatePage", value, sizeof(value)));
  EXPECT_EQ(Site() + "corvcli.html", value);
}

// The manifest's feature settings reach the registry and the running host
// client's window hears of them through the message the updater registered
// at its start; the component list is read, refusing an unsafe name.
TEST_F(RunUpdateTest, FeatureSettingsAreHandedToTheRunningHostClient) {
  CZRunningHostClient host;
  ASSERT_TRUE(host.IsUp());
  // zc.dll is current, so nothing is offered and no prompt waits for an answer.
  ASSERT_TRUE(
      CopyFileA((TestProgramFolder() + "zcom510.dll").c_str(), (m_app / "zc.dll").c_str(), FALSE));
  RunScenario s{"",
                kBothFolders,
                "[Features]\r\nchat=\r\n[chat]\r\na=1\r\nb=\r\n"
                "[components]\r\n..\\up.dll=\r\nzc.dll=\r\n[zc.dll]\r\nRequirement=2\r\n"
                "FileVersion=5,1,0,0\r\n",
                "fake_host5.exe",
                false,
                {},
                {},
                {},
                {}};
  Run(s);
  EXPECT_EQ("1 0\n", host.WaitForMessages(1));
  CZRegKey chat("SOFTWARE\\Zindo\\Murvo\\ComponentUpdate\\chat", HKEY_CURRENT_USER);
  char value[256] = "x";
  ASSERT_TRUE(chat.QueryString("a", value, sizeof(value)));
  EXPECT_STREQ("1", value);
  ASSERT_TRUE(chat.QueryString("b", value, sizeof(value)));
  EXPECT_STREQ("", value);
  const std::string log = Log();
  EXPECT_NE(std::string::npos,
            log.find("Component ..\\up.dll refused: no safe place for its file\r\n"))
      << log;
  EXPECT_EQ(std::string::npos, log.find("zc.dll refused")) << log;
}

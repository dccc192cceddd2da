#include "net/client_update_page.h"

#include <gtest/gtest.h>

#include <cstring>

#include <string>

#include "common/bounded_text.h"
#include "common/process_state.h"
#include "net/vendor_hosts.h"
#include "reg_values.h"
#include "server_fixture.h"
#include "settings/reg_key.h"

namespace {
const char kZindoKey[] = "SOFTWARE\\Zindo";
const char kMurvoKey[] = "SOFTWARE\\Zindo\\Murvo";

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return text;
}

// The host client's settings keys exist, as on an installed machine.
class ClientUpdatePageTest : public CZServerTest {
 protected:
  void SetUp() override {
    CZRegKey murvo;
    murvo.Create(kMurvoKey, HKEY_CURRENT_USER);
    CZServerTest::SetUp();
  }
  std::string Choose() {
    char url[kPathSize];
    ChooseClientUpdatePage(m_settings, url);
    return url;
  }
  // Serves text as this test's page and names it on the command line.
  void ServePage(const std::string& text) {
    ASSERT_TRUE(WriteFileText(m_server.ServedPath(Path("corvcli.html")), text));
    m_settings.ApplySettingLine(("ServerPage=" + m_server.Url(Path("corvcli.html"))).c_str());
  }

  CZScopedRegTree m_cleanup{HKEY_CURRENT_USER, kZindoKey};
};
}  // namespace

TEST_F(ClientUpdatePageTest, CommandLinePageWinsAndIsStored) {
  SetRegString(HKEY_CURRENT_USER, kZindoKey, "ClientUpdatePage", "http://stored.example/page.html");
  m_settings.ApplySettingLine("ServerPage=http://127.0.0.1/given.html");
  EXPECT_EQ("http://127.0.0.1/given.html", Choose());
  EXPECT_EQ("http://127.0.0.1/given.html",
            ReadRegString(HKEY_CURRENT_USER, kZindoKey, "ClientUpdatePage"));
  EXPECT_NE(std::string::npos, LogText().find("ClientUpdatePage=http://127.0.0.1/given.html\r\n"));
}

TEST_F(ClientUpdatePageTest, NoStoredPageWritesTheDefault) {
  EXPECT_EQ(DefaultClientUpdatePageUrl(), Choose());
  EXPECT_EQ(DefaultClientUpdatePageUrl(),
            ReadRegString(HKEY_CURRENT_USER, kZindoKey, "ClientUpdatePage"));
  EXPECT_EQ("<absent>", ReadRegString(HKEY_CURRENT_USER, kMurvoKey, "LatestSocketServerUrl"));
  EXPECT_EQ(0u, DefaultClientUpdatePageUrl().find("http://"));
  EXPECT_NE(std::string::npos, DefaultClientUpdatePageUrl().find("/corvcli.html"));
}

TEST_F(ClientUpdatePageTest, AnyOtherStoredPageIsUsedAsStored) {
  SetRegString(HKEY_CURRENT_USER, kZindoKey, "ClientUpdatePage",
               "http://mirror.example/clients.html");
  EXPECT_EQ("http://mirror.example/clients.html", Choose());
  EXPECT_EQ("http://mirror.example/clients.html",
            ReadRegString(HKEY_CURRENT_USER, kZindoKey, "ClientUpdatePage"));
  EXPECT_EQ("<absent>", ReadRegString(HKEY_CURRENT_USER, kMurvoKey, "LatestSocketServerUrl"));
}

// The three older page URLs, stored in capitals: each is replaced by the
// default and the host client is pointed at the servers page.
TEST_F(ClientUpdatePageTest, OlderPagesInAnyCaseAreReplaced) {
  const std::string base = DefaultClientUpdatePageUrl().substr(
      0, DefaultClientUpdatePageUrl().size() - std::string("/corvcli.html").size());
  std::vector<std::string> older = {base + "/sclients.html", base + "/clients.html"};
  int found = 0;
  for (const std::string& candidate : older) found += IsOlderClientUpdatePageUrl(candidate);
  ASSERT_EQ(2, found);
  for (const std::string& stored : older) {
    SetRegString(HKEY_CURRENT_USER, kZindoKey, "ClientUpdatePage", Upper(stored));
    CZRegKey(kMurvoKey, HKEY_CURRENT_USER).SetString("LatestSocketServerUrl", "");
    EXPECT_EQ(DefaultClientUpdatePageUrl(), Choose()) << stored;
    EXPECT_EQ(DefaultClientUpdatePageUrl(),
              ReadRegString(HKEY_CURRENT_USER, kZindoKey, "ClientUpdatePage"));
    EXPECT_EQ(ServersPageUrl(),
              ReadRegString(HKEY_CURRENT_USER, kMurvoKey, "LatestSocketServerUrl"));
  }
  EXPECT_NE(std::string::npos, ServersPageUrl().find("/servers.html"));
}

TEST_F(ClientUpdatePageTest, FolderLinesCarryLocaleCobrandAndLigans) {
  SetRegString(HKEY_CURRENT_USER, "SOFTWARE\\Zindo\\Murvo\\Locale", "intl", "us");
  SetRegString(HKEY_CURRENT_USER, kMurvoKey, "Cobrand", "acme");
  CZRegKey(kMurvoKey, HKEY_CURRENT_USER).SetDword("ligans", 1);
  ServePage("MURVO-FOLDER=http://127.0.0.1/m/\nPATCHKEEPER-FOLDER=http://127.0.0.1/p/\n");
  EXPECT_TRUE(ReadClientUpdatePage(*m_net, m_settings));
  EXPECT_EQ("http://127.0.0.1/m/us/acme/ligans/", m_settings.PackageBaseUrl());
  EXPECT_EQ("http://127.0.0.1/p/us/zupdater.qpk", m_settings.UpdaterPackageUrl());
}

struct PageCase {
  const char* label;
  const char* text;
};
// Names the case in test listings.
void PrintTo(const PageCase& c, std::ostream* os) { *os << c.label; }

class ClientUpdatePageTextTest : public ClientUpdatePageTest,
                                 public ::testing::WithParamInterface<PageCase> {};

TEST_P(ClientUpdatePageTextTest, EveryLineIsApplied) {
  ServePage(GetParam().text);
  EXPECT_TRUE(ReadClientUpdatePage(*m_net, m_settings));
  EXPECT_EQ("http://127.0.0.1/m/", m_settings.PackageBaseUrl());
  EXPECT_EQ("http://127.0.0.1/p/zupdater.qpk", m_settings.UpdaterPackageUrl());
  EXPECT_EQ("lookup", ReadRegString(HKEY_CURRENT_USER, kMurvoKey, "IPLookup"));
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ClientUpdatePageTextTest,
    ::testing::Values(PageCase{"LineFeeds",
                               "MURVO-FOLDER=http://127.0.0.1/m/\nIPAddrLookup=lookup\n"
                               "PATCHKEEPER-FOLDER=http://127.0.0.1/p/\n"},
                      PageCase{"CarriageReturns",
                               "MURVO-FOLDER=http://127.0.0.1/m/\r\nIPAddrLookup=lookup\r\n"
                               "PATCHKEEPER-FOLDER=http://127.0.0.1/p/\r\n"},
                      PageCase{"LastLineWithoutLineFeed",
                               "MURVO-FOLDER=http://127.0.0.1/m/\nIPAddrLookup=lookup\n"
                               "PATCHKEEPER-FOLDER=http://127.0.0.1/p/"},
                      PageCase{"BlankAndUnknownLines",
                               "\n\nColour=blue\nMURVO-FOLDER=http://127.0.0.1/m/\n\n"
                               "IPAddrLookup=lookup\nno equals sign\n"
                               "PATCHKEEPER-FOLDER=http://127.0.0.1/p/\n"}),
    [](const ::testing::TestParamInfo<PageCase>& info) { return info.param.label; });

TEST_F(ClientUpdatePageTest, PageWithoutTheUpdaterFolderFailsAfterApplyingItsLines) {
  ServePage("MURVO-FOLDER=http://127.0.0.1/m/\nSocketServers=s1:1;s2:2\nHttpServers=h:80\n");
  EXPECT_FALSE(ReadClientUpdatePage(*m_net, m_settings));
  EXPECT_EQ("http://127.0.0.1/m/", m_settings.PackageBaseUrl());
  EXPECT_EQ("h:80", ReadRegString(HKEY_CURRENT_USER, kMurvoKey, "Http Server"));
  EXPECT_EQ("s1:1;s2:2", ReadRegString(HKEY_CURRENT_USER, "SOFTWARE\\Zindo\\Murvo\\Old Entries",
                                       "Socket Servers"));
}

TEST_F(ClientUpdatePageTest, PageOf4096BytesOrMoreIsRefused) {
  std::string lines = "MURVO-FOLDER=http://127.0.0.1/m/\nPATCHKEEPER-FOLDER=http://127.0.0.1/p/\n";
  ServePage(lines + std::string(4096 - lines.size(), '\n'));
  EXPECT_FALSE(ReadClientUpdatePage(*m_net, m_settings));
  EXPECT_EQ("", m_settings.PackageBaseUrl());
  EXPECT_NE(std::string::npos, LogText().find("too large: 4096 bytes\r\n")) << LogText();

  ServePage(lines + std::string(4095 - lines.size(), '\n'));
  EXPECT_TRUE(ReadClientUpdatePage(*m_net, m_settings));
}

TEST_F(ClientUpdatePageTest, BodyShorterThanAnnouncedFailsTheStep) {
  ServePage("MURVO-FOLDER=http://127.0.0.1/m/\nPATCHKEEPER-FOLDER=http://127.0.0.1/p/");
  ASSERT_TRUE(m_server.SetRule(Path("corvcli.html"), "length=400"));
  EXPECT_FALSE(ReadClientUpdatePage(*m_net, m_settings));
  // Not one line of a cut page is applied.
  EXPECT_EQ("", m_settings.PackageBaseUrl());
  EXPECT_EQ("", m_settings.UpdaterPackageUrl());
}

struct PageAppCase {
  const char* label;
  const char* value;
  bool accepted;
};

// Names the case in test listings.
void PrintTo(const PageAppCase& c, std::ostream* os) { *os << c.label; }

class PageApplicationNameTest : public ClientUpdatePageTest,
                                public ::testing::WithParamInterface<PageAppCase> {
 protected:
  void SetUp() override {
    ClientUpdatePageTest::SetUp();
    g_applicationFolder = "C:\\Before\\";
    g_hostExeName = "before.exe";
    m_workingFolder = g_workingFolder;
    g_workingFolder = "C:\\Zindo\\";
  }
  void TearDown() override {
    g_workingFolder = m_workingFolder;
    g_applicationFolder.clear();
    g_hostExeName.clear();
    ClientUpdatePageTest::TearDown();
  }
  std::string m_workingFolder;
};

// The page comes over plain HTTP: it may name the host client only as a
// program in the updater's working folder, or a server could choose the
// program started at exit.
TEST_P(PageApplicationNameTest, OnlyProgramsOfTheWorkingFolderFromThePage) {
  const PageAppCase& c = GetParam();
  const std::string line = std::string("ApplicationName=") + c.value;
  ServePage("MURVO-FOLDER=http://127.0.0.1/m/\n" + line +
            "\r\nPATCHKEEPER-FOLDER=http://127.0.0.1/p/\n");
  EXPECT_TRUE(ReadClientUpdatePage(*m_net, m_settings));
  const std::string refused = "Refused setting line of the client update page: " + line + "\r\n";
  if (c.accepted) {
    EXPECT_EQ(std::string(c.value).substr(0, strlen("C:\\Zindo\\")), g_applicationFolder);
    EXPECT_EQ("murvo.exe", g_hostExeName);
    EXPECT_EQ(std::string::npos, LogText().find("Refused")) << LogText();
  } else {
    EXPECT_EQ("C:\\Before\\", g_applicationFolder);
    EXPECT_EQ("before.exe", g_hostExeName);
    EXPECT_NE(std::string::npos, LogText().find(refused)) << LogText();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, PageApplicationNameTest,
    ::testing::Values(PageAppCase{"Local", "C:\\Zindo\\Murvo.exe", true},
                      PageAppCase{"WorkingFolderInOtherCase", "c:\\zINDO\\Murvo.exe", true},
                      PageAppCase{"AnyOtherFolder", "C:\\any\\Murvo.exe", false},
                      PageAppCase{"BelowTheWorkingFolder", "C:\\Zindo\\sub\\Murvo.exe", false},
                      PageAppCase{"SiblingWithTheSamePrefix", "C:\\Zindo2\\Murvo.exe", false},
                      PageAppCase{"SystemProgram", "C:\\windows\\system32\\cmd.exe", false},
                      PageAppCase{"Share", "\\\\host\\share\\x.exe", false},
                      PageAppCase{"DotDot", "C:\\Zindo\\..\\..\\x.exe", false},
                      PageAppCase{"ForwardSlashes", "C:/Zindo/x.exe", false},
                      PageAppCase{"Relative", "x\\murvo.exe", false},
                      PageAppCase{"QuoteInjection", "C:\\Windows\\cmd.exe\" /c x", false}),
    [](const ::testing::TestParamInfo<PageAppCase>& info) { return info.param.label; });

TEST_F(ClientUpdatePageTest, CommandLineKeepsItsOwnApplicationNameRule) {
  m_settings.ApplySettingLine("ApplicationName=\\\\host\\share\\Murvo.exe");
  EXPECT_EQ("\\\\host\\share\\", g_applicationFolder);
  EXPECT_EQ("murvo.exe", g_hostExeName);
  g_applicationFolder.clear();
  g_hostExeName.clear();
}

TEST_F(ClientUpdatePageTest, MissingPageFailsTheStep) {
  m_settings.ApplySettingLine(("ServerPage=" + m_server.Url(Path("none.html"))).c_str());
  ASSERT_TRUE(m_server.SetRule(Path("none.html"), "status=404"));
  EXPECT_FALSE(ReadClientUpdatePage(*m_net, m_settings));
  EXPECT_EQ("", m_settings.PackageBaseUrl());
}

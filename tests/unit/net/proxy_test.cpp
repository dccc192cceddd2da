#include "net/proxy.h"

#include <gtest/gtest.h>

#include "net/download.h"
#include "reg_values.h"
#include "server_fixture.h"
#include "settings/reg_key.h"

namespace {
const char kHostSettingsKey[] = "SOFTWARE\\Zindo\\Murvo";
const char kInternetSettingsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char kWebHandlerKey[] = "SOFTWARE\\Classes\\http\\shell\\open\\command";

std::string Scrambled(std::string text) {
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(text[i] ^ (i + 1));
  return text;
}

class ProxySettingsTest : public ::testing::Test {
 protected:
  CZScopedRegTree m_settings{HKEY_CURRENT_USER, kHostSettingsKey};
  CZSavedRegValue m_enable{HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable"};
  CZSavedRegValue m_server{HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer"};
  CZSavedRegValue m_handler{HKEY_LOCAL_MACHINE, kWebHandlerKey, ""};
};

struct ClientProxyCase {
  const char* name;
  DWORD enabled;
  const char* host;  // null: absent
  DWORD port;
  const char* expected;  // null: no proxy
};
// Names the case in test listings.
void PrintTo(const ClientProxyCase& c, std::ostream* os) { *os << c.name; }

class ClientProxyTest : public ProxySettingsTest,
                        public ::testing::WithParamInterface<ClientProxyCase> {};
}  // namespace

TEST_P(ClientProxyTest, ProxyOnlyWhenEnabledIsExactlyOne) {
  const ClientProxyCase& c = GetParam();
  SetRegDword(HKEY_CURRENT_USER, kHostSettingsKey, "Proxy Enabled", c.enabled);
  if (c.host != nullptr) SetRegString(HKEY_CURRENT_USER, kHostSettingsKey, "HTTP Proxy", c.host);
  SetRegDword(HKEY_CURRENT_USER, kHostSettingsKey, "Proxy Port", c.port);
  char text[kProxyTextSize] = "junk";
  EXPECT_EQ(c.expected != nullptr, GetClientProxy(text, sizeof(text)));
  if (c.expected != nullptr) {
    EXPECT_STREQ(c.expected, text);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClientProxyTest,
    ::testing::Values(
        ClientProxyCase{"Enabled", 1, "proxy.example", 3128, "proxy.example:3128"},
        ClientProxyCase{"EnabledTwo", 2, "proxy.example", 3128, nullptr},
        ClientProxyCase{"Disabled", 0, "proxy.example", 3128, nullptr},
        ClientProxyCase{"PortZero", 1, "proxy.example", 0, nullptr},
        ClientProxyCase{"NoHost", 1, nullptr, 3128, nullptr},
        // ":8080" would be a proxy that every request fails on.
        ClientProxyCase{"EmptyHost", 1, "", 8080, nullptr},
        // Would not fit the proxy text: refused rather than cut.
        ClientProxyCase{"HostTooLong", 1,
                        "hhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhh"
                        "hhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhh"
                        "hhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhh"
                        "hhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhh",
                        8080, nullptr}),
    [](const ::testing::TestParamInfo<ClientProxyCase>& info) {
      return std::string(info.param.name);
    });

struct PushDecisionCase {
  const char* name;
  DWORD clientEnabled;
  const char* handler;
  DWORD systemEnabled;
  const char* systemServer;
  bool push;
};
// Names the case in test listings.
void PrintTo(const PushDecisionCase& c, std::ostream* os) { *os << c.name; }

class ShouldPushProxyTest : public ProxySettingsTest,
                            public ::testing::WithParamInterface<PushDecisionCase> {};

TEST_P(ShouldPushProxyTest, Decision) {
  const PushDecisionCase& c = GetParam();
  SetRegDword(HKEY_CURRENT_USER, kHostSettingsKey, "Proxy Enabled", c.clientEnabled);
  SetRegString(HKEY_LOCAL_MACHINE, kWebHandlerKey, "", c.handler);
  SetRegDword(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable", c.systemEnabled);
  SetRegString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer", c.systemServer);
  EXPECT_EQ(c.push, ShouldPushProxy());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShouldPushProxyTest,
    ::testing::Values(
        PushDecisionCase{"ClientProxyOff", 0, "browser.exe %1", 0, "", false},
        PushDecisionCase{"EnabledTwoStillPushes", 2, "browser.exe %1", 0, "", true},
        PushDecisionCase{"Iexplore", 1, "\"C:\\Program Files\\iexplore.exe\" %1", 0, "", false},
        PushDecisionCase{"IexploreInCapitals", 1, "\"C:\\Program Files\\IEXPLORE.EXE\" %1", 0, "",
                         true},
        PushDecisionCase{"SystemProxyInUse", 1, "browser.exe %1", 1, "other:80", false},
        PushDecisionCase{"SystemProxyEnabledButEmpty", 1, "browser.exe %1", 1, "", true},
        PushDecisionCase{"SystemProxyDisabled", 1, "browser.exe %1", 0, "other:80", true}),
    [](const ::testing::TestParamInfo<PushDecisionCase>& info) {
      return std::string(info.param.name);
    });

// The system's Internet settings as the user left them: each value present
// with its value, or absent.
struct SystemProxyCase {
  const char* name;
  const char* server;  // null: absent
  bool enablePresent;
  DWORD enable;
};
// Names the case in test listings.
void PrintTo(const SystemProxyCase& c, std::ostream* os) { *os << c.name; }

class PushProxyTest : public ProxySettingsTest,
                      public ::testing::WithParamInterface<SystemProxyCase> {
 protected:
  void SetSystemProxy(const SystemProxyCase& c) {
    CZRegKey internet;
    ASSERT_EQ(0, internet.Create(kInternetSettingsKey, HKEY_CURRENT_USER));
    internet.DeleteValue("ProxyServer");
    internet.DeleteValue("ProxyEnable");
    if (c.server != nullptr) internet.SetString("ProxyServer", c.server);
    if (c.enablePresent) internet.SetDword("ProxyEnable", c.enable);
  }
  void ExpectSystemProxy(const SystemProxyCase& c) {
    EXPECT_EQ(c.server != nullptr ? c.server : "<absent>",
              ReadRegString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer"));
    EXPECT_EQ(c.enablePresent ? c.enable : 0xDEADu,
              ReadRegDword(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable"));
  }
};

TEST_P(PushProxyTest, OffPutsBackWhatOnFound) {
  const SystemProxyCase& c = GetParam();
  SetRegString(HKEY_CURRENT_USER, kHostSettingsKey, "HTTP Proxy", "proxy.example");
  SetRegDword(HKEY_CURRENT_USER, kHostSettingsKey, "Proxy Port", 0);
  SetSystemProxy(c);
  PushProxy(true);
  EXPECT_EQ("http=proxy.example:0",
            ReadRegString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer"));
  EXPECT_EQ(1u, ReadRegDword(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable"));
  // A second push does not take the pushed values for the user's.
  PushProxy(true);
  PushProxy(false);
  ExpectSystemProxy(c);
  // Undone once: a further Off changes nothing.
  SetRegString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer", "changed:2");
  PushProxy(false);
  EXPECT_EQ("changed:2", ReadRegString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer"));
}

INSTANTIATE_TEST_SUITE_P(Cases, PushProxyTest,
                         ::testing::Values(SystemProxyCase{"KeptWhileDisabled", "kept:1", true, 0},
                                           SystemProxyCase{"InUse", "user.proxy:8080", true, 1},
                                           SystemProxyCase{"EnabledAndEmpty", "", true, 1},
                                           SystemProxyCase{"NeverSet", nullptr, false, 0},
                                           SystemProxyCase{"ServerOnly", "kept:1", false, 0}),
                         [](const ::testing::TestParamInfo<SystemProxyCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(ProxySettingsTest, OffWithoutAPushChangesNothing) {
  SetRegDword(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable", 1);
  SetRegString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer", "user.proxy:8080");
  PushProxy(false);
  EXPECT_EQ("user.proxy:8080",
            ReadRegString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer"));
  EXPECT_EQ(1u, ReadRegDword(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable"));
}

TEST_F(ProxySettingsTest, PushOnWithoutProxyHostWritesNothing) {
  SetRegString(HKEY_CURRENT_USER, kHostSettingsKey, "HTTP Proxy", "");
  SetRegDword(HKEY_CURRENT_USER, kHostSettingsKey, "Proxy Port", 8080);
  SetRegDword(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable", 0);
  SetRegString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer", "kept:1");
  PushProxy(true);
  EXPECT_EQ("kept:1", ReadRegString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer"));
  EXPECT_EQ(0u, ReadRegDword(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable"));
  // Off follows a decided push even when On wrote nothing: still nothing.
  PushProxy(false);
  EXPECT_EQ("kept:1", ReadRegString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer"));
  EXPECT_EQ(0u, ReadRegDword(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable"));
}

// The updater's own traffic against the local server and the recording proxy.
class ProxyTrafficTest : public CZServerTest {
 protected:
  void SetUp() override {
    m_settings = std::make_unique<CZScopedRegTree>(HKEY_CURRENT_USER, kHostSettingsKey);
    CZHttpTestServer server;
    SetRegString(HKEY_CURRENT_USER, kHostSettingsKey, "HTTP Proxy", "127.0.0.1");
    SetRegDword(HKEY_CURRENT_USER, kHostSettingsKey, "Proxy Port", server.ProxyPort());
    SetRegString(HKEY_CURRENT_USER, kHostSettingsKey, "Http Proxy ID", "alice");
    SetRegString(HKEY_CURRENT_USER, kHostSettingsKey, "Http Proxy Passwd", Password());
    SetRegDword(HKEY_CURRENT_USER, kHostSettingsKey, "Proxy Enabled", Enabled());
    CZServerTest::SetUp();
  }
  virtual DWORD Enabled() const { return 1; }
  virtual std::string Password() const { return Scrambled("s3cret"); }

  // Two GETs and one HEAD on the run's connection.
  void MakeRequests() {
    ASSERT_TRUE(m_server.SetRule(Path("a.bin"), "size=100&last_modified=1700000000"));
    Connect();
    for (int i = 0; i < 2; ++i) {
      DWORD length = 0;
      HINTERNET request = m_net->OpenGetRequest(Path("a.bin").c_str(), &length);
      ASSERT_NE(nullptr, request);
      std::vector<char> body(4096);
      EXPECT_TRUE(m_net->DownloadRequest(request, "a", body.data(), 4096, nullptr, length,
                                         kMaxComponentPackageSize, false, 0));
      EXPECT_EQ(GeneratedBody(100), std::string(body.data(), 100));
    }
    ULONGLONG time = 0;
    EXPECT_TRUE(m_net->QueryServerFileTime(Path("a.bin").c_str(), &time));
  }

  std::unique_ptr<CZScopedRegTree> m_settings;
};

TEST_F(ProxyTrafficTest, OnlyTheFirstRequestCarriesTheScrambledCredentials) {
  MakeRequests();
  std::string seen = m_server.ProxyRequests(m_prefix);
  std::string url = m_server.Url(Path("a.bin"));
  EXPECT_EQ(2u, CountOccurrences(seen, "GET " + url + " HTTP/1.0\r\n")) << seen;
  EXPECT_EQ(1u, CountOccurrences(seen, "HEAD " + url + " HTTP/1.0\r\n")) << seen;
  const std::string header = "Proxy-Authorization: " + Scrambled("alice:s3cret") + "\r\n";
  EXPECT_EQ(1u, CountOccurrences(seen, "Proxy-Authorization")) << seen;
  size_t at = seen.find(header);
  ASSERT_NE(std::string::npos, at) << seen;
  // In the first request's head, before the second request line.
  EXPECT_LT(at, seen.find("\r\n\r\n"));
}

TEST_F(ProxyTrafficTest, CredentialsSpentOnAFirstRequestThatCouldNotOpenAreNeverSent) {
  DWORD length = 0;
  // No connection yet: the request cannot be opened, yet it was the first.
  EXPECT_EQ(nullptr, m_net->OpenGetRequest(Path("a.bin").c_str(), &length));
  MakeRequests();
  std::string seen = m_server.ProxyRequests(m_prefix);
  EXPECT_EQ(2u, CountOccurrences(seen, "GET ")) << seen;
  EXPECT_EQ(0u, CountOccurrences(seen, "Proxy-Authorization")) << seen;
}

TEST_F(ProxyTrafficTest, ProxySettingsChangedAfterOpeningDoNotMatter) {
  SetRegDword(HKEY_CURRENT_USER, kHostSettingsKey, "Proxy Enabled", 0);
  SetRegDword(HKEY_CURRENT_USER, kHostSettingsKey, "Proxy Port", 1);
  MakeRequests();
  EXPECT_EQ(3u, CountOccurrences(m_server.ProxyRequests(m_prefix), " HTTP/1.0\r\n"));
}

class ShortPasswordTest : public ProxyTrafficTest {
  // Position 2 holds 3: the clear password ends before it.
  std::string Password() const override { return std::string{'a' ^ 1, 'b' ^ 2, 3, 'd' ^ 4}; }
};

TEST_F(ShortPasswordTest, PasswordEndsAtAByteEqualToItsPositionPlusOne) {
  MakeRequests();
  std::string seen = m_server.ProxyRequests(m_prefix);
  EXPECT_NE(std::string::npos, seen.find("Proxy-Authorization: " + Scrambled("alice:ab") + "\r\n"))
      << seen;
}

class ProxyEnabledTwoTest : public ProxyTrafficTest {
  DWORD Enabled() const override { return 2; }
};

TEST_F(ProxyEnabledTwoTest, RequestsGoStraightToTheServerWithoutTheCredentials) {
  MakeRequests();
  EXPECT_EQ("", m_server.ProxyRequests(m_prefix));
  std::string seen = m_server.Requests(m_prefix);
  EXPECT_EQ(2u, CountOccurrences(seen, "GET " + Path("a.bin") + " HTTP/1.0\r\n")) << seen;
  // The user's proxy name and password are not the server's business.
  EXPECT_EQ(0u, CountOccurrences(seen, "Authorization")) << seen;
}

// A server that asks for credentials gets none of the proxy's, whether the
// requests go through the proxy or straight to it.
struct ChallengeCase {
  const char* name;
  DWORD enabled;
};
// Names the case in test listings.
void PrintTo(const ChallengeCase& c, std::ostream* os) { *os << c.name; }

class ServerChallengeTest : public ProxyTrafficTest,
                            public ::testing::WithParamInterface<ChallengeCase> {
  DWORD Enabled() const override { return GetParam().enabled; }
};

TEST_P(ServerChallengeTest, ProxyCredentialsNeverAnswerTheServer) {
  ASSERT_TRUE(
      m_server.SetRule(Path("auth.bin"), "status=401&authenticate=Basic%20realm%3D%22z%22"));
  Connect();
  DWORD length = 0;
  EXPECT_EQ(nullptr, m_net->OpenGetRequest(Path("auth.bin").c_str(), &length));
  std::string seen = m_server.Requests(m_prefix);
  EXPECT_LE(1u, CountOccurrences(seen, "GET ")) << seen;
  EXPECT_EQ(0u, CountOccurrences(seen, "\r\nAuthorization:")) << seen;
}

INSTANTIATE_TEST_SUITE_P(Cases, ServerChallengeTest,
                         ::testing::Values(ChallengeCase{"ThroughTheProxy", 1},
                                           ChallengeCase{"Direct", 2}),
                         [](const ::testing::TestParamInfo<ChallengeCase>& info) {
                           return std::string(info.param.name);
                         });

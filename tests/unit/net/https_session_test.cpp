// The network session against the local TLS servers (fixture
// "https_server"): the server text keeps the scheme, requests to an https
// server go over TLS, certificates that do not hold are refused with one log
// line, and a change of scheme alone is a change of server.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/update_log.h"
#include "driver/server_switch.h"
#include "http_test_server.h"
#include "https_test_server.h"
#include "net/download.h"
#include "net/http_session.h"
#include "test_support.h"

namespace {
class HttpsSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_tls.IsRunning()) << "the https_server fixture did not start";
    m_prefix = TestPathPrefix();
    m_tls.Clear(m_prefix);
    CreateDirectoryA((m_logFolder / "logs").c_str(), nullptr);
    m_net = std::make_unique<CZHttpSession>();
    StartUpdateLog(m_logFolder.path().c_str());
    ASSERT_EQ(1, m_net->OpenInternet());
  }
  void TearDown() override {
    m_net.reset();
    StopUpdateLog();
  }
  void Connect(const std::string& url) {
    ASSERT_EQ(1, m_net->SetServerFromUrl(url.c_str()));
    ASSERT_EQ(1, m_net->OpenHttpSession());
  }
  // GETs path on the current connection; the body, or "<refused>".
  std::string Get(const std::string& path) {
    DWORD length = 0;
    HINTERNET request = m_net->OpenGetRequest(path.c_str(), &length);
    if (request == nullptr) return "<refused>";
    std::vector<char> body(length + 2048);
    if (!m_net->DownloadRequest(request, "x", body.data(), static_cast<DWORD>(body.size()), nullptr,
                                length, kMaxComponentPackageSize, false, 0))
      return "<broken>";
    return std::string(body.data(), length);
  }
  std::string Path(const std::string& name) const { return m_prefix + name; }
  std::string LogText() const { return ReadFileText(m_logFolder / "logs\\updater.log"); }
  std::string SecureServer(TlsServer server) const {
    return "https://localhost:" + std::to_string(m_tls.Port(server));
  }

  CZHttpsTestServer m_tls;
  std::string m_prefix;
  CZTempFolder m_logFolder{"tlslog"};
  std::unique_ptr<CZHttpSession> m_net;
};

struct ServerTextCase {
  const char* url;
  const char* server;  // null: the split fails
};
// Names the case in test listings.
void PrintTo(const ServerTextCase& c, std::ostream* os) { *os << c.url; }

class UrlServerTest : public ::testing::TestWithParam<ServerTextCase> {};
}  // namespace

TEST_P(UrlServerTest, SchemeGoesWithTheHost) {
  const ServerTextCase& c = GetParam();
  CZHttpSession net;
  ASSERT_EQ(1, net.OpenInternet());
  char server[260] = "junk";
  EXPECT_EQ(c.server != nullptr, net.GetUrlServer(c.url, server, sizeof(server)));
  if (c.server != nullptr) EXPECT_STREQ(c.server, server);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UrlServerTest,
    ::testing::Values(ServerTextCase{"http://updates.example/a", "updates.example"},
                      ServerTextCase{"http://updates.example:443/a", "updates.example:443"},
                      ServerTextCase{"https://updates.example/a", "https://updates.example"},
                      ServerTextCase{"https://updates.example:443/a", "https://updates.example"},
                      ServerTextCase{"https://updates.example:80/a", "https://updates.example:80"},
                      ServerTextCase{"HTTPS://updates.example:8443/",
                                     "https://updates.example:8443"},
                      ServerTextCase{"not a url", nullptr}));

// A host that fills the buffer leaves no room for the scheme: refused, never
// cut into another server's text.
TEST(UrlServerBufferTest, ServerTextThatDoesNotFitIsRefused) {
  CZHttpSession net;
  ASSERT_EQ(1, net.OpenInternet());
  char server[16] = "junk";
  EXPECT_FALSE(net.GetUrlServer("https://abcdefgh.ex/a", server, sizeof(server)));
  EXPECT_STREQ("", server);
  EXPECT_TRUE(net.GetUrlServer("https://abcdefg/a", server, sizeof(server)));
  EXPECT_STREQ("https://abcdefg", server);
}

TEST_F(HttpsSessionTest, GetAndHeadGoOverTls) {
  ASSERT_TRUE(WriteFileText(m_tls.ServedPath(Path("a.txt")), "over tls"));
  ASSERT_TRUE(m_tls.SetRule(TlsServer::Secure, Path("a.txt"), "last_modified=1704067200"));
  Connect(m_tls.Url(TlsServer::Secure, m_prefix));
  EXPECT_TRUE(m_net->IsSecureServer());
  EXPECT_EQ("over tls", Get(Path("a.txt")));
  ULONGLONG time = 0;
  EXPECT_TRUE(m_net->QueryServerFileTime(Path("a.txt").c_str(), &time));
  EXPECT_EQ(FileTimeFromUnix(1704067200), time);
  const std::string seen = m_tls.Requests(TlsServer::Secure, m_prefix);
  EXPECT_NE(std::string::npos, seen.find("GET " + Path("a.txt") + " HTTP/1.0\r\n")) << seen;
  EXPECT_NE(std::string::npos, seen.find("HEAD " + Path("a.txt") + " HTTP/1.0\r\n")) << seen;
  EXPECT_NE(
      std::string::npos,
      LogText().find("OpenHttpSession to server: " + SecureServer(TlsServer::Secure) + "\r\n"))
      << LogText();
}

namespace {
struct RefusedServerCase {
  const char* label;
  TlsServer server;
  bool plainOnHttpsPort;  // the plain server's port named with https
  const char* logLine;    // "{server}" stands for the server's text
};
// Names the case in test listings.
void PrintTo(const RefusedServerCase& c, std::ostream* os) { *os << c.label; }

class RefusedServerTest : public HttpsSessionTest,
                          public ::testing::WithParamInterface<RefusedServerCase> {};
}  // namespace

// Neither a GET nor a HEAD gets past a certificate that does not hold: each
// fails with one log line naming the server and WinINet's error, and the
// server never sees the request.
TEST_P(RefusedServerTest, GetAndHeadAreRefusedAndLogged) {
  const RefusedServerCase& c = GetParam();
  ASSERT_TRUE(WriteFileText(m_tls.ServedPath(Path("a.txt")), "secret"));
  const std::string server = c.plainOnHttpsPort
                                 ? "https://127.0.0.1:" + std::to_string(m_tls.PlainPort())
                                 : SecureServer(c.server);
  Connect(server + m_prefix);
  EXPECT_EQ("<refused>", Get(Path("a.txt")));
  ULONGLONG time = 0;
  EXPECT_FALSE(m_net->QueryServerFileTime(Path("a.txt").c_str(), &time));
  std::string line = c.logLine;
  line.replace(line.find("{server}"), 8, server);
  const std::string log = LogText();
  EXPECT_EQ(2u, CountOccurrences(log, line)) << line << "\n" << log;
  EXPECT_EQ(std::string::npos, log.find("Length of file")) << log;
  const std::string seen =
      c.plainOnHttpsPort ? m_tls.PlainRequests(m_prefix) : m_tls.Requests(c.server, m_prefix);
  EXPECT_EQ("", seen);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedServerTest,
    ::testing::Values(RefusedServerCase{"AnotherName", TlsServer::WrongName, false,
                                        "Certificate of {server} refused, 12038\r\n"},
                      RefusedServerCase{"Expired", TlsServer::Expired, false,
                                        "Certificate of {server} refused, 12037\r\n"},
                      RefusedServerCase{"UntrustedAuthority", TlsServer::Untrusted, false,
                                        "Certificate of {server} refused, 120"},
                      RefusedServerCase{"PlainHttpOnHttpsPort", TlsServer::Secure, true,
                                        "Secure request to {server} failed, 12"}),
    [](const ::testing::TestParamInfo<RefusedServerCase>& info) { return info.param.label; });

// The certificate names "localhost": the same server reached as 127.0.0.1
// does not match it.
TEST_F(HttpsSessionTest, CertificateMustNameTheHostOfTheUrl) {
  ASSERT_TRUE(WriteFileText(m_tls.ServedPath(Path("a.txt")), "x"));
  Connect(m_tls.Url(TlsServer::Secure, m_prefix, "127.0.0.1"));
  EXPECT_EQ("<refused>", Get(Path("a.txt")));
  EXPECT_NE(std::string::npos,
            LogText().find("Certificate of https://127.0.0.1:" +
                           std::to_string(m_tls.Port(TlsServer::Secure)) + " refused, 12038\r\n"))
      << LogText();
}

// A plain http failure stays as silent as it always was.
TEST_F(HttpsSessionTest, PlainHttpFailureIsNotLoggedAsSecure) {
  // Nothing listens on port 1.
  Connect("http://127.0.0.1:1" + m_prefix);
  EXPECT_EQ("<refused>", Get(Path("a.txt")));
  EXPECT_EQ(std::string::npos, LogText().find("Secure request")) << LogText();
  EXPECT_EQ(std::string::npos, LogText().find("Certificate of")) << LogText();
}

// Put aside and restored, the server keeps its scheme: the restored
// connection is spoken to over TLS again.
TEST_F(HttpsSessionTest, RestoreConnectionBringsTheSchemeBack) {
  ASSERT_TRUE(WriteFileText(m_tls.ServedPath(Path("a.txt")), "both"));
  const std::string page = SecureServer(TlsServer::Secure);
  Connect(m_tls.Url(TlsServer::Secure, m_prefix));
  HINTERNET saved = m_net->DetachConnection();
  char previous[260];
  ASSERT_EQ(1,
            m_net->SetServerFromUrl(m_tls.PlainUrl(m_prefix).c_str(), previous, sizeof(previous)));
  EXPECT_EQ(page, std::string(previous));
  EXPECT_FALSE(m_net->IsSecureServer());
  ASSERT_EQ(1, m_net->OpenHttpSession());
  EXPECT_EQ("both", Get(Path("a.txt")));
  m_net->RestoreConnection(saved, previous);
  EXPECT_EQ(page, m_net->CurrentHost());
  EXPECT_TRUE(m_net->IsSecureServer());
  EXPECT_EQ("both", Get(Path("a.txt")));
  EXPECT_EQ(1u, CountOccurrences(m_tls.Requests(TlsServer::Secure, m_prefix), "GET "));
  EXPECT_EQ(1u, CountOccurrences(m_tls.PlainRequests(m_prefix), "GET "));
}

// The same host and port over another scheme is another server: the switch
// makes its own connection and puts the page's back afterwards.
TEST_F(HttpsSessionTest, SameHostOverAnotherSchemeIsAnotherServer) {
  ASSERT_TRUE(WriteFileText(m_tls.ServedPath(Path("a.txt")), "x"));
  const std::string secureUrl = m_tls.Url(TlsServer::Secure, m_prefix);
  Connect(secureUrl);
  HINTERNET page = m_net->ConnectionHandle();
  const std::string plainUrl =
      "http://localhost:" + std::to_string(m_tls.Port(TlsServer::Secure)) + m_prefix + "a.txt";
  {
    CZServerSwitch server(*m_net, plainUrl.c_str());
    EXPECT_TRUE(server.IsConnected());
    EXPECT_NE(page, m_net->ConnectionHandle());
    EXPECT_FALSE(m_net->IsSecureServer());
  }
  EXPECT_EQ(page, m_net->ConnectionHandle());
  EXPECT_EQ(SecureServer(TlsServer::Secure), m_net->CurrentHost());
  {
    // The page's own server again: no new connection.
    CZServerSwitch server(*m_net, (secureUrl + "a.txt").c_str());
    EXPECT_TRUE(server.IsConnected());
    EXPECT_EQ(page, m_net->ConnectionHandle());
  }
  EXPECT_EQ("x", Get(Path("a.txt")));
}

// The real zupdater.exe over https against the local TLS servers: the whole
// run (page, manifest, a component, the updater package check) over TLS and
// the same site over plain http; certificates that must be refused; servers
// of both schemes in one run; and https through the host client's proxy.
// Only the test Wine prefix trusts the test authority (fixture
// "https_server").
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "http_test_server.h"
#include "https_test_server.h"
#include "reg_values.h"
#include "resources/resource.h"
#include "settings/reg_key.h"
#include "test_support.h"

namespace {
constexpr DWORD kRunTimeoutMs = 90000;
const char kZindoKey[] = "SOFTWARE\\Zindo";
const char kMurvoKey[] = "SOFTWARE\\Zindo\\Murvo";
// The installed updater's date; the server's package carries the same one,
// so the updater counts as current and the run goes on.
constexpr long long kInstalledEpoch = 1704067200;  // 2024-01-01 00:00:00 UTC
const char kSamePackage[] = "last_modified=1704067200";

std::string Package(const std::string& name) { return TestProgramFolder() + "packages\\" + name; }

// A level-4 component (fetched silently, no prompt) named name.dll at url.
std::string ComponentSection(const std::string& name, const std::string& url) {
  return "[" + name +
         ".dll]\r\nRequirement=4\r\nFileVersion=5,1,0,0\r\nRegisterServer=0\r\nUrl=" + url + "\r\n";
}

// A level-4 component without a required version: stale when the server's
// date for its package is newer than the installed file's.
std::string ComponentByDate(const std::string& name, const std::string& url) {
  return "[" + name + ".dll]\r\nRequirement=4\r\nRegisterServer=0\r\nUrl=" + url + "\r\n";
}
// A day after the installed files' date.
const char kNewerPackage[] = "last_modified=1704153600";

// Answers "no" to every update prompt another process shows while it lives
// (a component whose fetch failed stays pending and is offered).
class CZPromptRefuser {
 public:
  CZPromptRefuser() {
    char title[256] = "";
    LoadStringA(GetModuleHandleA(nullptr), IDS_PROMPT_TITLE, title, sizeof(title));
    m_title = title;
    m_thread = std::thread([this] {
      while (!m_stop) {
        EnumWindows(&CZPromptRefuser::Visit, reinterpret_cast<LPARAM>(this));
        Sleep(100);
      }
    });
  }
  ~CZPromptRefuser() {
    m_stop = true;
    m_thread.join();
  }
  int Refusals() const { return m_refusals; }

 private:
  static BOOL CALLBACK Visit(HWND window, LPARAM self) {
    auto* refuser = reinterpret_cast<CZPromptRefuser*>(self);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char title[256] = "";
    GetWindowTextA(window, title, sizeof(title));
    if (process != GetCurrentProcessId() && IsWindowVisible(window) && !refuser->m_title.empty() &&
        refuser->m_title == title) {
      PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
      ++refuser->m_refusals;
      Sleep(500);
    }
    return TRUE;
  }

  std::string m_title;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_refusals{0};
  std::thread m_thread;
};

class HttpsE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_tls.IsRunning()) << "the https_server fixture did not start";
    m_prefix = TestPathPrefix();
    m_tls.Clear(m_prefix);
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kMurvoKey, "LogUpdate", 0));
    ASSERT_TRUE(CopyFileA(UpdaterExePath().c_str(), (m_app / "zupdater.exe").c_str(), FALSE));
    ASSERT_TRUE(StampFile(m_app / "zupdater.exe", FileTimeFromUnix(kInstalledEpoch)));
    ASSERT_TRUE(CopyFileA((TestProgramFolder() + "fake_host5.exe").c_str(),
                          (m_app / "murvo.exe").c_str(), FALSE));
    CreateDirectoryA((m_app / "logs").c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(Package("zupdater_new.qpk").c_str(),
                          m_tls.ServedPath(m_prefix + "p/zupdater.qpk").c_str(), FALSE));
    // Every server answers with the installed updater's own date.
    ASSERT_TRUE(m_tls.SetPlainRule(m_prefix + "p/zupdater.qpk", kSamePackage));
    for (TlsServer server : {TlsServer::Secure, TlsServer::SecureAlt, TlsServer::WrongName,
                             TlsServer::Expired, TlsServer::Untrusted})
      ASSERT_TRUE(m_tls.SetRule(server, m_prefix + "p/zupdater.qpk", kSamePackage));
  }
  void TearDown() override { WaitForProgramsIn(m_app.path(), kRunTimeoutMs); }

  // Serves a package under the test's prefix as path.
  void ServePackage(const std::string& fixture, const std::string& path) {
    ASSERT_TRUE(
        CopyFileA(Package(fixture).c_str(), m_tls.ServedPath(m_prefix + path).c_str(), FALSE));
  }
  // Installs the old (5.0) library as name.dll.
  void InstallOld(const std::string& name) {
    ASSERT_TRUE(CopyFileA((TestProgramFolder() + "zcom500.dll").c_str(),
                          (m_app / (name + ".dll")).c_str(), FALSE));
  }
  bool IsNew(const std::string& name) const {
    return ReadFileText(m_app / (name + ".dll")) ==
           ReadFileText(TestProgramFolder() + "zcom510.dll");
  }
  bool IsOld(const std::string& name) const {
    return ReadFileText(m_app / (name + ".dll")) ==
           ReadFileText(TestProgramFolder() + "zcom500.dll");
  }
  void ServePage(const std::string& page) {
    ASSERT_TRUE(WriteFileText(m_tls.ServedPath(m_prefix + "corvcli.html"), page));
  }
  void ServeManifest(const std::string& manifest) {
    ASSERT_TRUE(WriteFileText(m_tls.ServedPath(m_prefix + "m/components.html"), manifest));
  }
  // Starts zupdater.exe as the host client would, with the page at pageUrl.
  void Run(const std::string& pageUrl) {
    const std::string commandLine =
        "ServerPage=" + pageUrl + ";ApplicationName=" + m_app.path() + "murvo.exe";
    EXPECT_EQ(0u, RunProgram("\"" + (m_app / "zupdater.exe") + "\" " + commandLine, m_app.path(),
                             kRunTimeoutMs));
  }
  std::string Log() const { return ReadFileText(m_app / "logs\\updater.log"); }
  std::string Line(const std::string& verb, const std::string& path) const {
    return verb + " " + m_prefix + path + " HTTP/1.0";
  }

  CZHttpsTestServer m_tls;
  std::string m_prefix;
  CZScopedRegTree m_cleanup{HKEY_CURRENT_USER, kZindoKey};
  CZTempFolder m_app{"app"};
};

// The whole run over one scheme: the page, the manifest, the updater
// package's date and a component, each from the site's server only.
struct SiteCase {
  const char* label;
  bool secure;
};
void PrintTo(const SiteCase& c, std::ostream* os) { *os << c.label; }

class HttpsWholeRunTest : public HttpsE2eTest, public ::testing::WithParamInterface<SiteCase> {};
}  // namespace

TEST_P(HttpsWholeRunTest, EveryRequestGoesToTheSiteOverItsScheme) {
  const bool secure = GetParam().secure;
  const std::string site =
      secure ? m_tls.Url(TlsServer::Secure, m_prefix) : m_tls.PlainUrl(m_prefix);
  const std::string server =
      secure ? "https://localhost:" + std::to_string(m_tls.Port(TlsServer::Secure))
             : "127.0.0.1:" + std::to_string(m_tls.PlainPort());
  ServePage("MURVO-FOLDER=" + site + "m/\nPATCHKEEPER-FOLDER=" + site + "p/\n");
  // zc by its version, zd by the server's date for its package.
  ServeManifest("[components]\r\nzc.dll=\r\nzd.dll=\r\n" +
                ComponentSection("zc", site + "m/zc.dl_") +
                ComponentByDate("zd", site + "m/zd.dl_"));
  ServePackage("https_zc.qpk", "m/zc.dl_");
  ServePackage("https_zd.qpk", "m/zd.dl_");
  ASSERT_TRUE(secure ? m_tls.SetRule(TlsServer::Secure, m_prefix + "m/zd.dl_", kNewerPackage)
                     : m_tls.SetPlainRule(m_prefix + "m/zd.dl_", kNewerPackage));
  InstallOld("zc");
  InstallOld("zd");
  ASSERT_TRUE(StampFile(m_app / "zd.dll", FileTimeFromUnix(kInstalledEpoch)));

  Run(site + "corvcli.html");

  const std::string log = Log();
  for (const std::string& line :
       {"OpenHttpSession to server: " + server + "\r\n",
        std::string("ZUpdater does not need update"),
        "Success CZHttpQueryInfo Date/Time for " + m_prefix + "p/zupdater.qpk",
        std::string("components.html downloaded successfully"),
        site + "m/zc.dl_ downloaded successfully"})
    EXPECT_NE(std::string::npos, log.find(line)) << "log lacks: " << line << "\n" << log;
  EXPECT_EQ(std::string::npos, log.find("Certificate of")) << log;
  EXPECT_EQ(std::string::npos, log.find("Secure request")) << log;
  EXPECT_TRUE(IsNew("zc"));
  EXPECT_TRUE(IsNew("zd"));
  EXPECT_FALSE(FileExists(m_app / "zc.dl_"));
  EXPECT_FALSE(FileExists(m_app / "zd.dl_"));

  const std::string used =
      secure ? m_tls.Requests(TlsServer::Secure, m_prefix) : m_tls.PlainRequests(m_prefix);
  const std::string other =
      secure ? m_tls.PlainRequests(m_prefix) : m_tls.Requests(TlsServer::Secure, m_prefix);
  for (const std::string& line : {Line("GET", "corvcli.html"), Line("GET", "m/components.html"),
                                  Line("HEAD", "p/zupdater.qpk"), Line("GET", "m/zc.dl_"),
                                  Line("HEAD", "m/zd.dl_"), Line("GET", "m/zd.dl_")})
    EXPECT_NE(std::string::npos, used.find(line)) << line << "\n" << used;
  EXPECT_EQ("", other);
}

INSTANTIATE_TEST_SUITE_P(Sites, HttpsWholeRunTest,
                         ::testing::Values(SiteCase{"OverHttps", true},
                                           SiteCase{"OverHttp", false}),
                         [](const ::testing::TestParamInfo<SiteCase>& info) {
                           return info.param.label;
                         });

namespace {
// A server the updater must refuse, and the WinINet error it names.
struct RefusalCase {
  const char* label;
  // The refusing TLS server; Secure stands for the plain http server's port
  // named with https.
  TlsServer server;
  bool plainOnHttpsPort;
  const char* logLine;  // "{server}" stands for the server's text
};
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.label; }

const RefusalCase kRefusals[] = {
    {"CertificateForAnotherName", TlsServer::WrongName, false,
     "Certificate of {server} refused, 12038\r\n"},
    {"ExpiredCertificate", TlsServer::Expired, false, "Certificate of {server} refused, 1203"},
    {"UntrustedAuthority", TlsServer::Untrusted, false, "Certificate of {server} refused, 120"},
    {"PlainHttpOnTheHttpsPort", TlsServer::Secure, true, "Secure request to {server} failed, 12"},
};

class HttpsRefusalTest : public HttpsE2eTest, public ::testing::WithParamInterface<RefusalCase> {
 protected:
  std::string BadSite() const {
    const RefusalCase& c = GetParam();
    if (c.plainOnHttpsPort)
      return "https://127.0.0.1:" + std::to_string(m_tls.PlainPort()) + m_prefix;
    return m_tls.Url(c.server, m_prefix);
  }
  std::string BadServerText() const {
    const RefusalCase& c = GetParam();
    return c.plainOnHttpsPort ? "https://127.0.0.1:" + std::to_string(m_tls.PlainPort())
                              : "https://localhost:" + std::to_string(m_tls.Port(c.server));
  }
  std::string ExpectedLine() const {
    return ReplaceAll(GetParam().logLine, "{server}", BadServerText());
  }
  // What the refusing server saw under the prefix over TLS (nothing may get
  // through: the request never reaches it).
  std::string BadServerRequests() {
    const RefusalCase& c = GetParam();
    return c.plainOnHttpsPort ? m_tls.PlainRequests(m_prefix) : m_tls.Requests(c.server, m_prefix);
  }
};
}  // namespace

// A page behind a refused certificate ends the run at its first step.
TEST_P(HttpsRefusalTest, PageIsNotReadAndNothingElseIsFetched) {
  const std::string site = BadSite();
  ServePage("MURVO-FOLDER=" + site + "m/\nPATCHKEEPER-FOLDER=" + site + "p/\n");
  ServeManifest("[components]\r\n");
  Run(site + "corvcli.html");
  const std::string log = Log();
  EXPECT_EQ(1u, CountOccurrences(log, ExpectedLine())) << ExpectedLine() << "\n" << log;
  EXPECT_EQ(std::string::npos, log.find("ZUpdater")) << log;
  EXPECT_EQ(std::string::npos, log.find("downloaded successfully")) << log;
  EXPECT_EQ("", BadServerRequests());
  EXPECT_FALSE(FileExists(m_app / "components.ini"));
}

// A component behind a refused certificate is not installed: the file in
// place stays as it was, no download is left, and the run goes on (the user
// is offered the update again and refuses).
TEST_P(HttpsRefusalTest, ComponentStaysAsItWas) {
  const std::string site = m_tls.Url(TlsServer::Secure, m_prefix);
  ServePage("MURVO-FOLDER=" + site + "m/\nPATCHKEEPER-FOLDER=" + site + "p/\n");
  ServeManifest("[components]\r\nzc.dll=\r\n" + ComponentSection("zc", BadSite() + "m/zc.dl_"));
  ServePackage("https_zc.qpk", "m/zc.dl_");
  InstallOld("zc");
  {
    CZPromptRefuser refuser;
    Run(site + "corvcli.html");
    // The component stayed pending and was offered.
    EXPECT_EQ(1, refuser.Refusals());
  }
  const std::string log = Log();
  EXPECT_NE(std::string::npos, log.find("components.html downloaded successfully")) << log;
  EXPECT_NE(std::string::npos, log.find(ExpectedLine())) << ExpectedLine() << "\n" << log;
  EXPECT_EQ(std::string::npos, log.find("zc.dl_ downloaded successfully")) << log;
  EXPECT_TRUE(IsOld("zc"));
  EXPECT_FALSE(FileExists(m_app / "zc.dl_"));
  EXPECT_EQ("", BadServerRequests());
}

INSTANTIATE_TEST_SUITE_P(Refusals, HttpsRefusalTest, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) {
                           return info.param.label;
                         });

// Components on a plain http server, on a second https server and on the
// page's own https server in one run: each request goes to its own server
// over its own scheme, and after each switch the page's server (scheme
// included) is back, so the last component comes from it over the page's
// connection. The https page's plain http updater folder is allowed and
// noted once.
TEST_F(HttpsE2eTest, ServersOfBothSchemesInOneRun) {
  const std::string site = m_tls.Url(TlsServer::Secure, m_prefix);
  const std::string plain = m_tls.PlainUrl(m_prefix);
  const std::string alt = m_tls.Url(TlsServer::SecureAlt, m_prefix);
  ServePage("MURVO-FOLDER=" + site + "m/\nPATCHKEEPER-FOLDER=" + plain + "p/\n");
  ServeManifest("[components]\r\nzc.dll=\r\nzd.dll=\r\nze.dll=\r\n" +
                ComponentSection("zc", plain + "m/zc.dl_") +
                ComponentSection("zd", alt + "m/zd.dl_") +
                ComponentSection("ze", site + "m/ze.dl_"));
  for (const char* name : {"zc", "zd", "ze"}) {
    ServePackage(std::string("https_") + name + ".qpk", std::string("m/") + name + ".dl_");
    InstallOld(name);
  }

  Run(site + "corvcli.html");

  const std::string log = Log();
  EXPECT_EQ(1u, CountOccurrences(log, "Secure ClientUpdatePage " + site +
                                          "corvcli.html names plain http folders, e.g. " + plain +
                                          "p/zupdater.qpk\r\n"))
      << log;
  EXPECT_NE(std::string::npos, log.find("ZUpdater does not need update")) << log;
  for (const char* name : {"zc", "zd", "ze"}) EXPECT_TRUE(IsNew(name)) << name;

  const std::string seenPlain = m_tls.PlainRequests(m_prefix);
  const std::string seenAlt = m_tls.Requests(TlsServer::SecureAlt, m_prefix);
  const std::string seenPage = m_tls.Requests(TlsServer::Secure, m_prefix);
  EXPECT_EQ(1u, CountOccurrences(seenPlain, Line("GET", "m/zc.dl_"))) << seenPlain;
  EXPECT_NE(std::string::npos, seenPlain.find(Line("HEAD", "p/zupdater.qpk"))) << seenPlain;
  EXPECT_EQ(1u, CountOccurrences(seenAlt, Line("GET", "m/zd.dl_"))) << seenAlt;
  EXPECT_EQ(1u, CountOccurrences(seenPage, Line("GET", "m/ze.dl_"))) << seenPage;
  EXPECT_EQ(1u, CountOccurrences(seenPage, Line("GET", "m/components.html"))) << seenPage;
  // Nothing went to a server it was not meant for.
  for (const char* name : {"zd", "ze"})
    EXPECT_EQ(std::string::npos, seenPlain.find(std::string("m/") + name)) << seenPlain;
  for (const char* name : {"zc", "ze"})
    EXPECT_EQ(std::string::npos, seenAlt.find(std::string("m/") + name)) << seenAlt;
  for (const char* name : {"zc", "zd"})
    EXPECT_EQ(std::string::npos, seenPage.find(std::string("m/") + name)) << seenPage;
  EXPECT_EQ(std::string::npos, seenPage.find("p/zupdater.qpk")) << seenPage;
}

// Through the host client's proxy an https request is tunnelled: the proxy
// sees only CONNECT to the server (with the proxy credentials), the server
// sees the requests, and the credentials never reach it.
TEST_F(HttpsE2eTest, HttpsGoesThroughTheClientProxy) {
  // The key goes with the test (m_cleanup).
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kMurvoKey, "Proxy Enabled", 1));
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kMurvoKey, "HTTP Proxy", "127.0.0.1"));
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kMurvoKey, "Proxy Port", m_tls.ProxyPort()));
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kMurvoKey, "Http Proxy ID", "tunnel"));
  // "pw" as the host client stores it: byte i XOR (i + 1).
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kMurvoKey, "Http Proxy Passwd",
                           std::string{static_cast<char>('p' ^ 1), static_cast<char>('w' ^ 2)}));
  const std::string site = m_tls.Url(TlsServer::Secure, m_prefix);
  ServePage("MURVO-FOLDER=" + site + "m/\nPATCHKEEPER-FOLDER=" + site + "p/\n");
  ServeManifest("[components]\r\nzc.dll=\r\n" + ComponentSection("zc", site + "m/zc.dl_"));
  ServePackage("https_zc.qpk", "m/zc.dl_");
  InstallOld("zc");

  Run(site + "corvcli.html");

  EXPECT_TRUE(IsNew("zc")) << Log();
  const std::string tunnel =
      "CONNECT localhost:" + std::to_string(m_tls.Port(TlsServer::Secure)) + " HTTP/";
  const std::string proxied = m_tls.ProxyRequests();
  EXPECT_NE(std::string::npos, proxied.find(tunnel)) << proxied;
  EXPECT_NE(std::string::npos, proxied.find("Proxy-Authorization:")) << proxied;
  EXPECT_EQ(std::string::npos, proxied.find(m_prefix)) << "the proxy saw a path\n" << proxied;
  const std::string seen = m_tls.Requests(TlsServer::Secure, m_prefix);
  EXPECT_NE(std::string::npos, seen.find(Line("GET", "corvcli.html"))) << seen;
  EXPECT_NE(std::string::npos, seen.find(Line("GET", "m/zc.dl_"))) << seen;
  EXPECT_EQ(std::string::npos, seen.find("Proxy-Authorization")) << seen;
}

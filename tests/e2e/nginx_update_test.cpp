// The whole job against nginx, a real static server, serving the full update
// site through the vendor's server blocks, http and https side by side
// (tests/server/nginx_site.sh, started by the ctest fixture "nginx_site";
// its test certificate is trusted through "https_server"): its HEAD
// answers, Last-Modified dates and HTTP/1.1 replies to HTTP/1.0 requests
// carry the same run as the test server's. The site names https folders, as
// a vendor's does when moving clients to https: a client still asking for the
// page over http fetches the updater's package, components and releases over
// https, but the manifest and prompt text from the page's own server.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "full_site.h"
#include "running_host.h"
#include "test_support.h"

namespace {
constexpr DWORD kRunTimeoutMs = 120000;
const char kZindoKey[] = "SOFTWARE\\Zindo";
const char kComServerKey[] = "Software\\ZupdaterTests\\ComServer";

std::string NginxFolder() { return TestProgramFolder() + "nginx\\"; }

// A value of the fixture's state file (port=, tls_port=).
unsigned NginxPort(const char* name) {
  const std::string state = "\n" + ReadFileText(NginxFolder() + "state");
  const size_t at = state.find("\n" + std::string(name) + "=");
  return at == std::string::npos
             ? 0u
             : static_cast<unsigned>(atoi(state.c_str() + at + strlen(name) + 2));
}

// nginx's access log lines ("https GET /m/x 200") from offset on, as
// "GET m/x", leaving out the browser's update.html; the scheme of each in
// schemes.
std::vector<std::string> LoggedRequests(size_t offset, std::vector<std::string>* schemes) {
  const std::string log = ReadFileText(NginxFolder() + "access.log");
  std::vector<std::string> lines;
  size_t start = offset;
  for (size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = log.substr(start, end - start);
    const size_t method = line.find(' ') + 1;
    const size_t space = line.find(' ', method);
    const size_t status = line.rfind(' ');
    if (method == 0 || space == std::string::npos || status <= space + 1 || line[space + 1] != '/')
      continue;
    const std::string path = line.substr(space + 2, status - space - 2);
    if (path == "m/update.html") continue;
    lines.push_back(line.substr(method, space - method) + " " + path);
    schemes->push_back(line.substr(0, method - 1));
  }
  return lines;
}

struct NginxRun {
  const char* label;
  const char* host;
  const char* pageScheme;  // how the client asks for the page
  Outcome outcome;
};
void PrintTo(const NginxRun& c, std::ostream* os) { *os << c.label; }

class NginxUpdateTest : public ::testing::TestWithParam<NginxRun> {
 protected:
  void SetUp() override {
    ASSERT_NE(0u, NginxPort("tls_port")) << "the nginx_site fixture did not start nginx";
    RegDeleteTreeA(HKEY_CURRENT_USER, kComServerKey);
  }
  void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kComServerKey); }

  // The URL the site names its folders by.
  std::string Site() const {
    return "https://localhost:" + std::to_string(NginxPort("tls_port")) + "/";
  }
  std::string Page(const std::string& scheme) const {
    return scheme == "https"
               ? Site() + "corvcli.html"
               : "http://127.0.0.1:" + std::to_string(NginxPort("port")) + "/corvcli.html";
  }

  CZScopedRegTree m_cleanup{HKEY_CURRENT_USER, kZindoKey};
};
}  // namespace

TEST_P(NginxUpdateTest, DoesTheWholeJob) {
  const NginxRun& c = GetParam();
  CZClientUnderTest client(c.host);
  ASSERT_TRUE(client.Install());
  const size_t logged = ReadFileText(NginxFolder() + "access.log").size();
  std::string transmitted;
  {
    CZRunningHostClient host;
    ASSERT_TRUE(host.IsUp());
    ASSERT_TRUE(client.Run(Page(c.pageScheme), PromptAnswer::kEnter, kRunTimeoutMs))
        << client.Log();
    transmitted = host.Received();
  }
  // nginx writes its log line once the answer has gone out.
  Sleep(500);
  std::vector<std::string> schemes;
  const std::vector<std::string> requests = LoggedRequests(logged, &schemes);
  ExpectOutcome(c.outcome, client, Site(), requests, transmitted);
  // The page's server serves the page and, at the package folder's path, the
  // manifest, the prompt text and the registry script; the updater's
  // package, the components and the release go to their own (https) URLs.
  ASSERT_EQ(requests.size(), schemes.size());
  for (size_t i = 0; i < requests.size(); ++i) {
    const std::string& request = requests[i];
    const bool onPageServer = request == "GET corvcli.html" || request == "GET m/components.html" ||
                              request == "GET m/update.txt" || request == "GET m/update_reg.qpk";
    EXPECT_EQ(onPageServer ? c.pageScheme : "https", schemes[i]) << request;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Site, NginxUpdateTest,
    ::testing::Values(NginxRun{"EnterInstallsEverything", "fake_host5.exe", "https",
                               Outcome::kAllInstalled},
                      NginxRun{"HttpPageOldHostGetsTheRelease", "fake_host4.exe", "http",
                               Outcome::kReleaseInstalled}),
    [](const ::testing::TestParamInfo<NginxRun>& info) { return std::string(info.param.label); });

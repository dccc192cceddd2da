// The whole job against nginx, a real static server, serving the full update
// site (tests/server/nginx_site.sh, started by the ctest fixture
// "nginx_site"): its HEAD answers, Last-Modified dates and HTTP/1.1 replies
// to HTTP/1.0 requests carry the same run as the test server's.
#include <gtest/gtest.h>

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

unsigned NginxPort() {
  const std::string state = ReadFileText(NginxFolder() + "state");
  const size_t at = state.find("port=");
  return at == std::string::npos ? 0u : static_cast<unsigned>(atoi(state.c_str() + at + 5));
}

// nginx's access log lines ("GET /m/x 200") from offset on, as "GET m/x",
// leaving out the browser's update.html.
std::vector<std::string> LoggedRequests(size_t offset) {
  const std::string log = ReadFileText(NginxFolder() + "access.log");
  std::vector<std::string> lines;
  size_t start = offset;
  for (size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = log.substr(start, end - start);
    const size_t space = line.find(' ');
    const size_t status = line.rfind(' ');
    if (space == std::string::npos || status <= space + 1 || line[space + 1] != '/') continue;
    const std::string path = line.substr(space + 2, status - space - 2);
    if (path != "m/update.html") lines.push_back(line.substr(0, space) + " " + path);
  }
  return lines;
}

struct NginxRun {
  const char* label;
  const char* host;
  Outcome outcome;
};
void PrintTo(const NginxRun& c, std::ostream* os) { *os << c.label; }

class NginxUpdateTest : public ::testing::TestWithParam<NginxRun> {
 protected:
  void SetUp() override {
    ASSERT_NE(0u, NginxPort()) << "the nginx_site fixture did not start nginx";
    RegDeleteTreeA(HKEY_CURRENT_USER, kComServerKey);
  }
  void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kComServerKey); }

  std::string Site() const { return "http://127.0.0.1:" + std::to_string(NginxPort()) + "/"; }

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
    ASSERT_TRUE(client.Run(Site() + "corvcli.html", PromptAnswer::kEnter, kRunTimeoutMs))
        << client.Log();
    transmitted = host.Received();
  }
  // nginx writes its log line once the answer has gone out.
  Sleep(500);
  ExpectOutcome(c.outcome, client, Site(), LoggedRequests(logged), transmitted);
}

INSTANTIATE_TEST_SUITE_P(
    Site, NginxUpdateTest,
    ::testing::Values(NginxRun{"EnterInstallsEverything", "fake_host5.exe", Outcome::kAllInstalled},
                      NginxRun{"OldHostGetsTheRelease", "fake_host4.exe",
                               Outcome::kReleaseInstalled}),
    [](const ::testing::TestParamInfo<NginxRun>& info) { return std::string(info.param.label); });

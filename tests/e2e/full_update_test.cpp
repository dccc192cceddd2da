// The whole job of the real zupdater.exe against the full update site
// (tests/fixtures/site) on the local test server: the component passes with
// the prompt answered by a key press, the registry script, the feature
// settings, and the host client release.
#include <gtest/gtest.h>

#include <string>

#include "full_site.h"
#include "http_test_server.h"
#include "running_host.h"
#include "test_support.h"

namespace {
constexpr DWORD kRunTimeoutMs = 120000;

struct FullRun {
  const char* label;
  const char* host;
  PromptAnswer answer;
  Outcome outcome;
};
// Names the case in test listings.
void PrintTo(const FullRun& c, std::ostream* os) { *os << c.label; }

class FullUpdateTest : public CZServedSiteTest<FullRun> {};
}  // namespace

TEST_P(FullUpdateTest, DoesTheWholeJob) {
  const FullRun& c = GetParam();
  CZClientUnderTest client(c.host);
  ASSERT_TRUE(client.Install());
  std::string transmitted;
  {
    CZRunningHostClient host;
    ASSERT_TRUE(host.IsUp());
    ASSERT_TRUE(client.Run(Site() + "corvcli.html", c.answer, kRunTimeoutMs)) << client.Log();
    transmitted = host.Received();
  }
  ExpectOutcome(c.outcome, client, Site(), SiteRequests(m_server.Requests(m_prefix), m_prefix),
                transmitted);
}

INSTANTIATE_TEST_SUITE_P(
    Site, FullUpdateTest,
    ::testing::Values(FullRun{"EnterInstallsEverything", "fake_host5.exe", PromptAnswer::kEnter,
                              Outcome::kAllInstalled},
                      FullRun{"EscapeKeepsTheOfferedFile", "fake_host5.exe", PromptAnswer::kEscape,
                              Outcome::kOfferRefused},
                      FullRun{"OldHostGetsTheRelease", "fake_host4.exe", PromptAnswer::kEnter,
                              Outcome::kReleaseInstalled},
                      FullRun{"OldHostRefusesTheRelease", "fake_host4.exe", PromptAnswer::kEscape,
                              Outcome::kReleaseRefused}),
    [](const ::testing::TestParamInfo<FullRun>& info) { return std::string(info.param.label); });

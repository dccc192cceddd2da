#include "net/host_port.h"

#include <gtest/gtest.h>

namespace {
struct SplitCase {
  const char* text;
  const char* host;
  unsigned port;
};
// Names the case in test listings.
void PrintTo(const SplitCase& c, std::ostream* os) { *os << "\"" << c.text << "\""; }

class SplitHostPortTest : public ::testing::TestWithParam<SplitCase> {};
}  // namespace

TEST_P(SplitHostPortTest, TrailingNumericPortOnly) {
  const SplitCase& c = GetParam();
  std::string host;
  unsigned port = 99;
  SplitHostPort(c.text, &host, &port);
  EXPECT_EQ(c.host, host);
  EXPECT_EQ(c.port, port);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitHostPortTest,
    ::testing::Values(SplitCase{"updates.example", "updates.example", 0},
                      SplitCase{"updates.example:8080", "updates.example", 8080},
                      SplitCase{"127.0.0.1:65535", "127.0.0.1", 65535},
                      SplitCase{"h:65536", "h:65536", 0}, SplitCase{"h:0", "h:0", 0},
                      SplitCase{"h:", "h:", 0}, SplitCase{"h:80x", "h:80x", 0},
                      SplitCase{"::1", "::1", 0}, SplitCase{"", "", 0}));

TEST(AppendExplicitPortTest, DefaultPortsAreLeftOut) {
  char buffer[32] = "h";
  EXPECT_TRUE(AppendExplicitPort(buffer, sizeof(buffer), 80, 80));
  EXPECT_STREQ("h", buffer);
  EXPECT_TRUE(AppendExplicitPort(buffer, sizeof(buffer), 0, 80));
  EXPECT_STREQ("h", buffer);
  EXPECT_TRUE(AppendExplicitPort(buffer, sizeof(buffer), 8080, 80));
  EXPECT_STREQ("h:8080", buffer);
}

TEST(AppendExplicitPortTest, PortThatDoesNotFitIsRefusedWhole) {
  char buffer[8] = "abcd";
  EXPECT_FALSE(AppendExplicitPort(buffer, sizeof(buffer), 8080, 80));
  EXPECT_STREQ("abcd", buffer);
  char exact[10] = "abcd";
  EXPECT_TRUE(AppendExplicitPort(exact, sizeof(exact), 8080, 80));
  EXPECT_STREQ("abcd:8080", exact);
}

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

namespace {
struct ServerTextCase {
  const char* text;
  bool secure;
  const char* host;
  unsigned port;
};
// Names the case in test listings.
void PrintTo(const ServerTextCase& c, std::ostream* os) { *os << "\"" << c.text << "\""; }

class SplitServerTextTest : public ::testing::TestWithParam<ServerTextCase> {};
}  // namespace

TEST_P(SplitServerTextTest, SchemeHostAndPort) {
  const ServerTextCase& c = GetParam();
  bool secure = !c.secure;
  std::string host;
  unsigned port = 99;
  SplitServerText(c.text, &secure, &host, &port);
  EXPECT_EQ(c.secure, secure);
  EXPECT_EQ(c.host, host);
  EXPECT_EQ(c.port, port);
  EXPECT_EQ(c.secure, IsSecureServerText(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitServerTextTest,
    ::testing::Values(ServerTextCase{"updates.example", false, "updates.example", 0},
                      ServerTextCase{"updates.example:8443", false, "updates.example", 8443},
                      ServerTextCase{"https://updates.example", true, "updates.example", 443},
                      ServerTextCase{"https://updates.example:8443", true, "updates.example", 8443},
                      ServerTextCase{"HTTPS://h:80", true, "h", 80},
                      // only the exact prefix makes a server secure
                      ServerTextCase{"https:/h", false, "https:/h", 0},
                      ServerTextCase{"http://h", false, "http://h", 0},
                      ServerTextCase{"https://", true, "", 443}));

TEST(PrependSecurePrefixTest, PrefixThatDoesNotFitIsRefusedWhole) {
  char buffer[16] = "h:8443";
  EXPECT_TRUE(PrependSecurePrefix(buffer, sizeof(buffer)));
  EXPECT_STREQ("https://h:8443", buffer);
  char tight[14] = "h:8443";
  EXPECT_FALSE(PrependSecurePrefix(tight, sizeof(tight)));
  EXPECT_STREQ("h:8443", tight);
  char exact[15] = "h:8443";
  EXPECT_TRUE(PrependSecurePrefix(exact, sizeof(exact)));
  EXPECT_STREQ("https://h:8443", exact);
}

TEST(UrlSchemeTest, SchemesInAnyCase) {
  EXPECT_TRUE(IsSecureUrl("https://a/"));
  EXPECT_TRUE(IsSecureUrl("HTTPS://a/"));
  EXPECT_FALSE(IsSecureUrl("http://a/"));
  EXPECT_FALSE(IsSecureUrl("httpsx"));
  EXPECT_FALSE(IsSecureUrl(""));
  EXPECT_TRUE(IsPlainHttpUrl("http://a/"));
  EXPECT_TRUE(IsPlainHttpUrl("Http://a/"));
  EXPECT_FALSE(IsPlainHttpUrl("https://a/"));
  EXPECT_FALSE(IsPlainHttpUrl("ftp://a/"));
}

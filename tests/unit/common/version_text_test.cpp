#include "common/version_text.h"

#include <gtest/gtest.h>

namespace {
struct VersionCase {
  const char* text;
  uint16_t parts[4];
};
// Names the case in test listings.
void PrintTo(const VersionCase& c, std::ostream* os) { *os << "\"" << c.text << "\""; }

class VersionTextTest : public ::testing::TestWithParam<VersionCase> {};
}  // namespace

TEST_P(VersionTextTest, FourSixteenBitParts) {
  const VersionCase& c = GetParam();
  CZVersion v;
  v.major = v.minor = v.build = v.revision = 99;
  EXPECT_TRUE(ParseVersionText(c.text, &v));
  EXPECT_EQ(c.parts[0], v.major) << c.text;
  EXPECT_EQ(c.parts[1], v.minor) << c.text;
  EXPECT_EQ(c.parts[2], v.build) << c.text;
  EXPECT_EQ(c.parts[3], v.revision) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionTextTest,
    ::testing::Values(VersionCase{"6,0,0,1200", {6, 0, 0, 1200}}, VersionCase{"6,1", {6, 0, 0, 1}},
                      VersionCase{"7", {0, 0, 0, 7}}, VersionCase{"", {0, 0, 0, 0}},
                      VersionCase{" 5, 2,x,9", {5, 2, 0, 9}},
                      VersionCase{"65537,1,2,3", {1, 1, 2, 3}},
                      VersionCase{"-1,0,0,0", {65535, 0, 0, 0}},
                      VersionCase{"1,2,3,4,5", {1, 2, 3, 4}},
                      VersionCase{"99999999999999999999,1,1,1", {65535, 1, 1, 1}}));

TEST(VersionOrderTest, MostSignificantHalfFirstUnsigned) {
  CZVersion a, b;
  ParseVersionText("5,65535,65535,65535", &a);
  ParseVersionText("6,0,0,0", &b);
  EXPECT_LT(CompareVersions(a, b), 0);
  EXPECT_GT(CompareVersions(b, a), 0);
  ParseVersionText("65535,0,0,0", &a);
  EXPECT_GT(CompareVersions(a, b), 0);
  ParseVersionText("6,0,0,1", &a);
  EXPECT_GT(CompareVersions(a, b), 0);
  ParseVersionText("6,0,0,0", &a);
  EXPECT_EQ(0, CompareVersions(a, b));
}

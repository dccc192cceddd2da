#include "package/base64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
struct CZBase64Case {
  const char* name;
  std::string text;
  bool decodes;
  std::string bytes;
};
void PrintTo(const CZBase64Case& c, std::ostream* os) { *os << c.name; }

class Base64Test : public ::testing::TestWithParam<CZBase64Case> {};
}  // namespace

TEST_P(Base64Test, Decodes) {
  const CZBase64Case& c = GetParam();
  unsigned char out[64];
  memset(out, 0x77, sizeof(out));
  size_t count = 99;
  EXPECT_EQ(c.decodes, DecodeBase64(c.text.data(), c.text.size(), out, sizeof(out), &count));
  EXPECT_EQ(c.bytes.size(), count);
  EXPECT_EQ(c.bytes, std::string(reinterpret_cast<char*>(out), count));
  if (c.decodes) EXPECT_EQ(0, out[count]);  // terminated when there is room
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Base64Test,
    ::testing::Values(
        CZBase64Case{"ThreeBytes", "TWFu", true, "Man"},
        CZBase64Case{"OnePadding", "TWE=", true, "Ma"},
        CZBase64Case{"TwoPadding", "TQ==", true, "M"},
        CZBase64Case{"AllSixtyFourValues", "+/+/", true, std::string("\xfb\xff\xbf", 3)},
        CZBase64Case{"PaddingInTheMiddleGoesOn", "TQ==TWFu", true, "MMan"},
        CZBase64Case{"PaddingInThirdPlaceOnly", "TW=u", true, "M`"},
        CZBase64Case{"StrangerCharactersCountAsZero", "T*Fu", true, std::string("\x4c\x01\x6e", 3)},
        CZBase64Case{"StrangerInsteadOfA", "*AAB", true, std::string("\x00\x00\x01", 3)},
        CZBase64Case{"EqualsAsValueZeroInFirstPlace", "=AAB", true, std::string("\x00\x00\x01", 3)},
        CZBase64Case{"PaddingInSecondPlaceFails", "T=Fu", false, ""},
        CZBase64Case{"PaddingInSecondPlaceOfALaterGroupFails", "TWFuT===", false, ""},
        CZBase64Case{"LengthNotAMultipleOfFour", "TWFuT", false, ""},
        CZBase64Case{"LengthTwo", "TW", false, ""}, CZBase64Case{"Empty", "", true, ""}),
    [](const ::testing::TestParamInfo<CZBase64Case>& info) {
      return std::string(info.param.name);
    });

TEST(Base64LengthTest, ZeroLengthMeansUpToTheTerminator) {
  unsigned char out[8];
  size_t count = 0;
  EXPECT_TRUE(DecodeBase64("TWFuTQ==", 0, out, sizeof(out), &count));
  EXPECT_EQ(std::string("ManM"), std::string(reinterpret_cast<char*>(out), count));
}

TEST(Base64LengthTest, OutputTooSmallFails) {
  unsigned char out[4];
  size_t count = 9;
  EXPECT_FALSE(DecodeBase64("TWFuTWFu", 8, out, sizeof(out), &count));
  EXPECT_EQ(0u, count);
}

#include "ui/prompt_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

struct SizeTagCase {
  const char* name;
  const char* text;
  bool found;
  int width;
  int height;
  const char* rest;
};
// Names the case in test listings.
void PrintTo(const SizeTagCase& c, std::ostream* os) { *os << c.name; }

class SizeTagTest : public ::testing::TestWithParam<SizeTagCase> {};

TEST_P(SizeTagTest, ReadsTheTagAndKeepsTheRest) {
  const SizeTagCase& c = GetParam();
  CZSizeTag tag;
  tag.width = -7;
  tag.rest = "untouched";
  ASSERT_EQ(c.found, ParseSizeTag(c.text, &tag));
  if (!c.found) {
    EXPECT_EQ(-7, tag.width);
    EXPECT_EQ("untouched", tag.rest);
    return;
  }
  EXPECT_EQ(c.width, tag.width);
  EXPECT_EQ(c.height, tag.height);
  EXPECT_EQ(c.rest, tag.rest);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SizeTagTest,
    ::testing::Values(
        SizeTagCase{"Plain", "<width=420 height=260>\r\nNew things!  ", true, 420, 260,
                    "New things!"},
        SizeTagCase{"Quoted", "<width=\"420\" height=\"260\">Text", true, 420, 260, "Text"},
        SizeTagCase{"LoweredPage", "<body><p>x</p><width=500 height=400><zupdater></body>", true,
                    500, 400, "<zupdater></body>"},
        SizeTagCase{"NoTag", "Just text", false, 0, 0, ""},
        SizeTagCase{"UpperCaseIsNoTag", "<WIDTH=500 HEIGHT=400>text", false, 0, 0, ""},
        SizeTagCase{"WidthOnly", "<width=500>text", false, 0, 0, ""},
        SizeTagCase{"HeightAtOffsetZero", "height=5 <width=500 >x", false, 0, 0, ""},
        // Each word is found on its own, wherever it stands.
        SizeTagCase{"HeightBeforeWidth", "xheight=300> then <width=200 y", true, 200, 300,
                    "then <width=200 y"},
        SizeTagCase{"NoBlankAfterWidth", "<width=420height=260>rest", true, 0, 260, "rest"},
        SizeTagCase{"NoClosingBracket", "<width=420 height=260 rest", true, 420, 0,
                    "<width=420 height=260 rest"},
        SizeTagCase{"NotANumber", "<width=abc height=->Text", true, 0, 0, "Text"},
        SizeTagCase{"Negative", "<width=-5 height=-9>Text", true, -5, -9, "Text"},
        SizeTagCase{"Huge", "<width=99999999999999 height=12>T", true, INT_MAX, 12, "T"},
        SizeTagCase{"TagAtTheVeryEnd", "text <width", false, 0, 0, ""},
        SizeTagCase{"WordsAtTheVeryEnd", "<width height", true, 0, 0, "<width height"},
        SizeTagCase{"OnlyTheTag", "<width=1 height=2>", true, 1, 2, ""}),
    [](const ::testing::TestParamInfo<SizeTagCase>& info) { return std::string(info.param.name); });

TEST(SizeTagTest, NullTextHasNoTag) {
  CZSizeTag tag;
  EXPECT_FALSE(ParseSizeTag(nullptr, &tag));
}

TEST(TrimWhiteSpaceTest, RemovesWhiteSpaceAtBothEndsOnly) {
  EXPECT_EQ("a b", TrimWhiteSpace(" \t\r\n a b \v\f\r\n"));
  EXPECT_EQ("", TrimWhiteSpace(" \r\n\t "));
  EXPECT_EQ("", TrimWhiteSpace(""));
  EXPECT_EQ("", TrimWhiteSpace(nullptr));
  // A double-byte character whose trail byte is not white space stays whole.
  EXPECT_EQ("\x82\xa0", TrimWhiteSpace(" \x82\xa0 "));
}

struct MarkerCase {
  const char* name;
  const char* html;
  bool genuine;
};
// Names the case in test listings.
void PrintTo(const MarkerCase& c, std::ostream* os) { *os << c.name; }

class PageMarkerTest : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(PageMarkerTest, MarkerMustFollowTheFirstByte) {
  EXPECT_EQ(GetParam().genuine, HasPageMarker(GetParam().html));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PageMarkerTest,
    ::testing::Values(MarkerCase{"BodyStartsWithIt", "<body><zupdater>hi</body>", true},
                      MarkerCase{"AtTheEnd", "<body>hi<zupdater></body>", true},
                      MarkerCase{"AtOffsetZero", "<zupdater><body></body>", false},
                      MarkerCase{"Missing", "<body>hi</body>", false},
                      MarkerCase{"UpperCaseIsLoweredFirst", "<body><ZUPDATER></body>", false},
                      MarkerCase{"Empty", "", false}),
    [](const ::testing::TestParamInfo<MarkerCase>& info) { return std::string(info.param.name); });

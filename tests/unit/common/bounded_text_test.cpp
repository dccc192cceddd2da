#include "common/bounded_text.h"

#include <gtest/gtest.h>

#include <string>

TEST(BoundedTextTest, CopyCutsAtBufferSizeLessOne) {
  char buffer[8];
  CopyBounded(buffer, "abcdefghijk");
  EXPECT_STREQ("abcdefg", buffer);
  CopyBounded(buffer, nullptr);
  EXPECT_STREQ("", buffer);
}

TEST(BoundedTextTest, AppendNeverPassesTheBuffer) {
  char buffer[kPathSize];
  CopyBounded(buffer, std::string(250, 'a').c_str());
  AppendBounded(buffer, "0123456789ABCDEF");
  EXPECT_EQ(259u, std::string(buffer).size());
  EXPECT_EQ(std::string(250, 'a') + "012345678", buffer);
  AppendBounded(buffer, "more");
  EXPECT_EQ(259u, std::string(buffer).size());
}

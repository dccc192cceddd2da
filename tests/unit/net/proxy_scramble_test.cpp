#include "net/proxy_scramble.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(ProxyScrambleTest, ByteIsXoredWithItsPositionPlusOne) {
  char text[] = "alice:s3cret";
  ScrambleText(text);
  EXPECT_STREQ("`njg`<t;jxnx", text);
  ScrambleText(text);
  EXPECT_STREQ("alice:s3cret", text);
}

TEST(ProxyScrambleTest, ByteEqualToItsPositionPlusOneEndsTheText) {
  // Position 2 holds 3: it unscrambles to zero and the text ends before it.
  char text[] = {'a' ^ 1, 'b' ^ 2, 3, 'd' ^ 4, 0};
  ScrambleText(text);
  EXPECT_STREQ("ab", text);
  EXPECT_EQ('d' ^ 4, text[3]);  // the rest is left as it was
}

TEST(ProxyScrambleTest, PositionsBeyond255WrapAt8Bits) {
  std::string clear(300, ' ');
  for (size_t i = 0; i < clear.size(); ++i) clear[i] = static_cast<char>('a' + i % 26);
  std::string text = clear;
  ScrambleText(&text[0]);
  EXPECT_EQ(static_cast<char>(clear[256] ^ 1), text[256]);  // (256 + 1) & 0xFF is 1
  ASSERT_EQ(300u, strlen(text.c_str()));
  ScrambleText(&text[0]);
  EXPECT_EQ(clear, text);
}

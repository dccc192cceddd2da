// The tool reads a manifest as the system's profile functions do, so that
// check-site sees the sections, keys and values the updater will.
#include <gtest/gtest.h>

#include "tools/ini_text.h"

namespace {
TEST(IniTextTest, ReadsAsTheProfileFunctions) {
  CZIniText ini;
  ini.Parse("Stray=before any section\r\n"
            "[Components]\r\n"
            "  a.dll = \r\n"
            "B.OCX=\r\n"
            "; a comment\r\n"
            "a.DLL=again\r\n"
            "bare\r\n"
            "[a.dll]\r\n"
            "Url = \"http://h/a.dl_\" \r\n"
            "url=second\r\n"
            "[components]\r\n"
            "late.dll=\r\n");
  EXPECT_EQ((std::vector<std::string>{"a.dll", "B.OCX", "bare"}), ini.KeyNames("components"));
  EXPECT_EQ(std::string("a.dll\0B.OCX\0bare\0\0", 18), ini.KeyList("COMPONENTS"));
  EXPECT_EQ("http://h/a.dl_", ini.GetOr("A.DLL", "URL", ""));
  EXPECT_EQ("", ini.GetOr("components", "a.dll", "x"));
  EXPECT_EQ("fallback", ini.GetOr("components", "Stray", "fallback"));
  EXPECT_EQ(std::string("\0", 1), ini.KeyList("missing"));
}
}  // namespace

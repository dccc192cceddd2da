#include "package/file_version.h"

#include <gtest/gtest.h>

#include "package_fixtures.h"
#include "test_support.h"

TEST(FileVersionTest, FixedVersionIsSplitIntoHalves) {
  DWORD high = 0, low = 0;
  ASSERT_TRUE(GetFileVersion((TestProgramFolder() + "version_5123.dll").c_str(), &high, &low));
  EXPECT_EQ(0x00050001u, high);
  EXPECT_EQ(0x00020003u, low);
}

TEST(FileVersionTest, ZeroFixedVersionBesideAStringVersionIsZero) {
  DWORD high = 7, low = 7;
  ASSERT_TRUE(
      GetFileVersion((TestProgramFolder() + "version_string_only.dll").c_str(), &high, &low));
  EXPECT_EQ(0u, high);
  EXPECT_EQ(0u, low);
}

TEST(FileVersionTest, FilesWithoutVersionLeaveTheValuesAlone) {
  for (const std::string& path : {PackageFixture("content\\readme.txt"),
                                  TestProgramFolder() + "absent.dll", std::string("")}) {
    DWORD high = 0xAAAA, low = 0xBBBB;
    EXPECT_FALSE(GetFileVersion(path.c_str(), &high, &low)) << path;
    EXPECT_EQ(0xAAAAu, high);
    EXPECT_EQ(0xBBBBu, low);
  }
}

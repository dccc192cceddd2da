#include "components/manifest_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
struct DestDirCase {
  const char* value;
  int kind;
  const char* subfolder;
};
// Names the case in test listings.
void PrintTo(const DestDirCase& c, std::ostream* os) { *os << '"' << c.value << '"'; }

class DestDirTest : public ::testing::TestWithParam<DestDirCase> {};
}  // namespace

TEST_P(DestDirTest, SplitsAtTheFirstComma) {
  CZDestination d = SplitDestDir(GetParam().value);
  EXPECT_EQ(GetParam().kind, d.kind);
  EXPECT_EQ(GetParam().subfolder, d.subfolder);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DestDirTest,
    ::testing::Values(DestDirCase{"1", 1, ""}, DestDirCase{"2, sub\\", 2, "sub\\"},
                      DestDirCase{"1,   x\\", 1, "x\\"}, DestDirCase{"1,a, b\\", 1, "a, b\\"},
                      DestDirCase{"2,sub dir \\", 2, "sub dir \\"},
                      DestDirCase{" 2 ,x\\", 2, "x\\"}, DestDirCase{"abc,x\\", 0, "x\\"},
                      DestDirCase{",x\\", 0, "x\\"},
                      // Kept as 8 bits.
                      DestDirCase{"258", 2, ""}, DestDirCase{"", 0, ""}));

namespace {
struct SafetyCase {
  const char* text;
  bool safe;
};
// Names the case in test listings.
void PrintTo(const SafetyCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class NameSafetyTest : public ::testing::TestWithParam<SafetyCase> {};
class SubfolderSafetyTest : public ::testing::TestWithParam<SafetyCase> {};
}  // namespace

TEST_P(NameSafetyTest, OnePlainFileName) {
  EXPECT_EQ(GetParam().safe, IsSafeComponentName(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NameSafetyTest,
    ::testing::Values(SafetyCase{"a.dll", true}, SafetyCase{"zcorv control.ocx", true},
                      SafetyCase{"a..b.dll", true}, SafetyCase{".hidden", true},
                      SafetyCase{"", false}, SafetyCase{".", false}, SafetyCase{"..", false},
                      SafetyCase{"...", false}, SafetyCase{". .", false}, SafetyCase{".. ", false},
                      SafetyCase{"a.dll.", true}, SafetyCase{"..\\a.dll", false},
                      SafetyCase{"sub\\a.dll", false}, SafetyCase{"sub/a.dll", false},
                      SafetyCase{"C:a.dll", false}, SafetyCase{"a.dll:stream", false},
                      SafetyCase{"\\\\server\\share\\a.dll", false},
                      // Windows opens a device for these whatever the
                      // extension: the download (com1.dl_) would go to a port.
                      SafetyCase{"com1.dll", false}, SafetyCase{"CON", false},
                      SafetyCase{"nul.ocx", false}, SafetyCase{"LPT1.dll", false},
                      SafetyCase{"console.dll", true}, SafetyCase{"com10.dll", true},
                      // Its download would be saved over the installed file.
                      SafetyCase{"zb.dl_", false}, SafetyCase{"_", false},
                      SafetyCase{"a_b.dll", true}));

class RelativePathSafetyTest : public ::testing::TestWithParam<SafetyCase> {};

// The file a New Install entry compares its version with: in the client's
// folder or below it.
TEST_P(RelativePathSafetyTest, NamesAFileBelowTheFolder) {
  EXPECT_EQ(GetParam().safe, IsSafeRelativePath(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RelativePathSafetyTest,
    ::testing::Values(SafetyCase{"murvo.exe", true}, SafetyCase{"bin\\murvo.exe", true},
                      SafetyCase{"", false}, SafetyCase{"bin\\", false},
                      SafetyCase{"..\\murvo.exe", false}, SafetyCase{"bin\\..\\..\\x.exe", false},
                      SafetyCase{"C:\\Windows\\notepad.exe", false},
                      SafetyCase{"C:notepad.exe", false}, SafetyCase{"\\Windows\\notepad.exe", false},
                      SafetyCase{"\\\\server\\share\\x.exe", false},
                      SafetyCase{"/etc/x", false}, SafetyCase{"... \\x.exe", false}));

TEST_P(SubfolderSafetyTest, RelativeAndNeverClimbing) {
  EXPECT_EQ(GetParam().safe, IsSafeSubfolder(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SubfolderSafetyTest,
    ::testing::Values(SafetyCase{"", true}, SafetyCase{"sub\\", true}, SafetyCase{"a\\b\\", true},
                      SafetyCase{"a/b/", true}, SafetyCase{".\\x\\", true},
                      SafetyCase{"a..b\\", true}, SafetyCase{"..\\", false},
                      SafetyCase{"a\\..\\..\\", false}, SafetyCase{"a/../", false},
                      SafetyCase{"..", false}, SafetyCase{"a\\...\\", false},
                      SafetyCase{".. \\", false}, SafetyCase{"a\\. .\\", false},
                      SafetyCase{"a.\\", true}, SafetyCase{"\\windows\\", false},
                      SafetyCase{"/windows/", false}, SafetyCase{"C:\\windows\\", false},
                      SafetyCase{"C:sub\\", false}, SafetyCase{"sub:stream\\", false},
                      SafetyCase{"\\\\server\\share\\", false}));

TEST(ClsidSafetyTest, NoBackslash) {
  EXPECT_TRUE(IsSafeClsid(""));
  EXPECT_TRUE(IsSafeClsid("{8856F961-340A-11D0-A96B-00C04FD705A2}"));
  EXPECT_FALSE(IsSafeClsid("{8856F961-340A-11D0-A96B-00C04FD705A2}\\InprocServer32"));
  EXPECT_FALSE(IsSafeClsid("..\\txtfile"));
}

namespace {
std::vector<std::string> Take(const std::string& list, size_t limit, bool* cut) {
  return TakeKeyNames(list.data(), list.size(), limit, cut);
}
}  // namespace

TEST(KeyNamesTest, CompleteNamesThatFitWithTheirTerminators) {
  bool cut = true;
  const std::string list("a.dll\0b.ocx\0", 12);
  EXPECT_EQ((std::vector<std::string>{"a.dll", "b.ocx"}), Take(list, 1024, &cut));
  EXPECT_FALSE(cut);
  // 6 + 6 + the final zero: exactly 13 bytes.
  EXPECT_EQ((std::vector<std::string>{"a.dll", "b.ocx"}), Take(list, 13, &cut));
  EXPECT_FALSE(cut);
  EXPECT_EQ((std::vector<std::string>{"a.dll"}), Take(list, 12, &cut));
  EXPECT_TRUE(cut);
  EXPECT_EQ((std::vector<std::string>{}), Take(list, 6, &cut));
  EXPECT_TRUE(cut);
}

TEST(KeyNamesTest, EmptyListAndAnEmptyNameEndIt) {
  bool cut = true;
  EXPECT_TRUE(Take("", 1024, &cut).empty());
  EXPECT_FALSE(cut);
  EXPECT_EQ((std::vector<std::string>{"a"}), Take(std::string("a\0\0b\0", 5), 1024, &cut));
}

TEST(KeyNamesTest, ListWithoutItsLastTerminatorStopsAtItsLength) {
  bool cut = true;
  EXPECT_EQ((std::vector<std::string>{"a", "bc"}), Take(std::string("a\0bc", 4), 1024, &cut));
  EXPECT_FALSE(cut);
}

TEST(ReadDecimalTest, LikeAtoiWithoutOverflow) {
  EXPECT_EQ(42, ReadDecimal("  42abc"));
  EXPECT_EQ(-7, ReadDecimal("-7"));
  EXPECT_EQ(0, ReadDecimal("x1"));
  EXPECT_EQ(0, ReadDecimal(nullptr));
  EXPECT_EQ(static_cast<int32_t>(0xFFFFFFFFu), ReadDecimal("4294967295"));
}

#include "package/stored_name.h"

#include <gtest/gtest.h>

namespace {
struct CZNameCase {
  const char* name;
  bool safe;
};
void PrintTo(const CZNameCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }
class StoredNameTest : public ::testing::TestWithParam<CZNameCase> {};
}  // namespace

TEST_P(StoredNameTest, Judged) {
  EXPECT_EQ(GetParam().safe, IsSafeStoredName(GetParam().name)) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, StoredNameTest,
    ::testing::Values(
        CZNameCase{"zcomp.dll", true}, CZNameCase{"sub\\helper.dat", true},
        CZNameCase{"a\\b\\c.txt", true}, CZNameCase{"..name.txt", true},
        CZNameCase{"name..txt", true}, CZNameCase{"dir.d\\x..", true}, CZNameCase{"", false},
        CZNameCase{"..", false}, CZNameCase{"..\\x.dll", false},
        CZNameCase{"a\\..\\..\\x.dll", false}, CZNameCase{"a/../x.dll", false},
        CZNameCase{"a\\..", false}, CZNameCase{"\\x.dll", false}, CZNameCase{"/x.dll", false},
        CZNameCase{"\\\\server\\share\\x.dll", false}, CZNameCase{"C:\\x.dll", false},
        CZNameCase{"C:x.dll", false}, CZNameCase{"x.dll:stream", false},
        CZNameCase{"...\\x.dll", false}, CZNameCase{". .\\x.dll", false},
        CZNameCase{".\\x.dll", false}, CZNameCase{"a\\\\x.dll", false}, CZNameCase{"sub\\", false},
        CZNameCase{"CON", false}, CZNameCase{"con.txt", false}, CZNameCase{"sub\\nul", false},
        CZNameCase{"Aux.dll", false}, CZNameCase{"prn\\x.dll", false}, CZNameCase{"COM1", false},
        CZNameCase{"lpt9.log", false}, CZNameCase{"COM1 .txt", false}, CZNameCase{"CONIN$", false},
        CZNameCase{"conout$.x", false}, CZNameCase{"COM\xB9", false},
        CZNameCase{"com\xB2.dat", false}, CZNameCase{"sub\\LPT\xB3", false},
        CZNameCase{"LPT\xB9.txt", false}, CZNameCase{"COM0", true}, CZNameCase{"COM10", true},
        CZNameCase{"console.txt", true}, CZNameCase{"nul_file.txt", true},
        CZNameCase{"auxiliary\\x.dll", true}, CZNameCase{"COM\xB4", true},
        CZNameCase{"xcom1", true}, CZNameCase{"CO.M1", true}));

TEST(StoredNameNullTest, NullIsRefused) { EXPECT_FALSE(IsSafeStoredName(nullptr)); }

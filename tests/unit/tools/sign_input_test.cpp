// zpkg sign on input it cannot or must not sign: refused with a message,
// never read or written past its buffers (this program runs under
// AddressSanitizer).
#include <gtest/gtest.h>

#include <functional>

#include "tool_fixtures.h"
#include "tools/verify_image.h"

namespace {
CZBytes Genuine(bool reserve) {
  CZCabinetShape shape;
  shape.files = {{"readme.txt", "read me first\r\n"}, {"zcomp.dll", std::string(3000, 'z')}};
  shape.reserve = reserve;
  return BuildCabinet(shape);
}

// A byte between the folder entries and the first file entry.
void LeaveAGap(CZBytes* b) {
  b->insert(b->begin() + Get32(*b, 16), 0);
  Put32(b, 16, Get32(*b, 16) + 1);
  Put32(b, 8, Get32(*b, 8) + 1);
  Put32(b, 36, Get32(*b, 36) + 1);  // the folder's data offset
}

struct CZSignCase {
  const char* name;
  bool reserve;
  std::function<void(CZBytes*)> spoil;
  uint8_t placement;
  bool unchecked;
  const char* reason;  // empty: signed
};
void PrintTo(const CZSignCase& c, std::ostream* os) { *os << c.name; }
class SignInputTest : public ::testing::TestWithParam<CZSignCase> {};
}  // namespace

TEST_P(SignInputTest, RefusedWithItsReasonOrSigned) {
  const CZSignCase& c = GetParam();
  CZBytes cabinet = Genuine(c.reserve);
  c.spoil(&cabinet);
  CZSignOptions options;
  options.placement = c.placement;
  options.unchecked = c.unchecked;
  std::string reason;
  CZBytes image = SignBytes(cabinet, options, &reason);
  if (*c.reason == 0) {
    EXPECT_FALSE(image.empty()) << reason;
  } else {
    EXPECT_TRUE(image.empty());
    EXPECT_NE(std::string::npos, reason.find(c.reason)) << reason;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, SignInputTest,
    ::testing::Values(
        CZSignCase{"HeaderReservePastTheFile", true, [](CZBytes* b) { Put16(b, 36, 60000); }, 0,
                   true, "header reserve of 60000 bytes runs past the end of the file"},
        CZSignCase{"HeaderReservePastTheFileAppended", true, [](CZBytes* b) { Put16(b, 36, 5000); },
                   1, true, "runs past the end"},
        CZSignCase{"DeclaredSizeBeforeTheFolderEntries", false, [](CZBytes* b) { Put32(b, 8, 20); },
                   0, true, "declared cabinet size 20 ends before the folder entries end at 44"},
        CZSignCase{"DeclaredSizeBeforeTheFolderEntriesAppended", true,
                   [](CZBytes* b) { Put32(b, 8, 41); }, 1, true, "ends before the folder entries"},
        CZSignCase{"FirstFileAfterTheDeclaredSize", false,
                   [](CZBytes* b) { Put32(b, 16, Get32(*b, 8) + 5); }, 0, true,
                   "lies outside the cabinet's file area"},
        CZSignCase{"FirstFileAmongTheFolderEntries", false, [](CZBytes* b) { Put32(b, 16, 40); }, 0,
                   true, "lies outside the cabinet's file area"},
        CZSignCase{"LayoutTheUpdaterRefuses", false, LeaveAGap, 0, false,
                   "the updater would refuse the signed image: the file entries start at"},
        CZSignCase{"LayoutTheUpdaterRefusesSignedUnchecked", false, LeaveAGap, 1, true, ""},
        CZSignCase{"CutShortSignedInPlaceUnchecked", false,
                   [](CZBytes* b) { b->erase(b->end() - 40, b->end()); }, 0, true, ""},
        CZSignCase{"CutShortRefusedWhenChecked", false,
                   [](CZBytes* b) { b->erase(b->end() - 40, b->end()); }, 0, false,
                   "ends before its declared cabinet size"},
        CZSignCase{"CutShortCannotBeAppendedTo", false,
                   [](CZBytes* b) { b->erase(b->end() - 40, b->end()); }, 1, true,
                   "shorter than its declared"},
        CZSignCase{"NotACabinet", false, [](CZBytes* b) { (*b)[0] = 'X'; }, 0, true,
                   "not a cabinet"}),
    [](const ::testing::TestParamInfo<CZSignCase>& info) { return std::string(info.param.name); });

TEST(SignAgainTest, SignedImageSignedAgainInItsReservedAreaStillVerifies) {
  std::string reason;
  CZSignOptions options;
  CZBytes once = SignBytes(Genuine(false), options, &reason);
  ASSERT_FALSE(once.empty()) << reason;
  CZBytes twice = SignBytes(once, options, &reason);
  ASSERT_FALSE(twice.empty()) << reason;
  EXPECT_EQ(once.size(), twice.size());  // the reserved area was reused
  EXPECT_TRUE(VerifyImage(twice, TestKey(), &reason)) << reason;
}

// Each forgery of a genuine signed package keeps its signature valid, and
// zpkg verify refuses it, saying why, as the updater does.
#include <gtest/gtest.h>

#include "cabinet_forgery.h"
#include "tool_fixtures.h"
#include "tools/verify_image.h"

void PrintTo(const CZForgery& f, std::ostream* os) { *os << f.name; }

namespace {
struct CZGenuine {
  const char* name;
  CZPackOptions pack;
  uint8_t placement;
};

const std::vector<CZGenuine>& Genuines() {
  static const std::vector<CZGenuine> list = [] {
    CZPackOptions mszip, stored, folders, reserves;
    stored.compress = false;
    folders.filesPerFolder = 1;
    reserves.filesPerFolder = 2;
    reserves.headerReserve = 24;
    reserves.folderReserve = 4;
    reserves.blockReserve = 8;
    return std::vector<CZGenuine>{{"mszip_p0", mszip, 0},
                                  {"mszip_p1", mszip, 1},
                                  {"stored_p1", stored, 1},
                                  {"folders_p0", folders, 0},
                                  {"reserves_p1", reserves, 1}};
  }();
  return list;
}

CZBytes SignedGenuine(const CZGenuine& genuine) {
  std::vector<CZBuiltFile> files = {{"readme.txt", "read me first\r\n"},
                                    {"sub\\helper.dat", std::string(50000, 'h')},
                                    {"zcomp.dll", "MZ not really a library\r\n"}};
  CZSignOptions sign;
  sign.placement = genuine.placement;
  std::string reason;
  CZBytes image = SignBytes(PackFiles(files, genuine.pack), sign, &reason);
  EXPECT_FALSE(image.empty()) << reason;
  return image;
}

class VerifyForgeryTest : public ::testing::TestWithParam<CZForgery> {};
}  // namespace

TEST_P(VerifyForgeryTest, SignatureHoldsAndVerifyRefusesWithTheReason) {
  for (const CZGenuine& genuine : Genuines()) {
    SCOPED_TRACE(genuine.name);
    const CZBytes original = SignedGenuine(genuine);
    std::string reason;
    ASSERT_TRUE(VerifyImage(original, TestKey(), &reason)) << reason;
    const CZBytes forged = GetParam().make(original);
    EXPECT_TRUE(SignatureHolds(forged, TestKey()));
    EXPECT_FALSE(VerifyImage(forged, TestKey(), &reason));
    EXPECT_NE(std::string::npos, reason.find("not laid out as signed")) << reason;
    EXPECT_TRUE(SaysFault(reason, GetParam().fault)) << reason;
  }
}

INSTANTIATE_TEST_SUITE_P(Forgeries, VerifyForgeryTest, ::testing::ValuesIn(Forgeries()),
                         [](const ::testing::TestParamInfo<CZForgery>& info) {
                           return std::string(info.param.name);
                         });

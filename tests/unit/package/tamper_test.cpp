// Every byte of a signed package changed in turn, each image handed to the
// acceptance gate over a folder that holds older versions of its files.
#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "package/accept_image.h"
#include "package/base64.h"
#include "package/package_key.h"
#include "package/signature_record.h"
#include "package_fixtures.h"
#include "settings/folders.h"
#include "test_support.h"

namespace {
const char kOld[] = "old installed version\r\n";

enum class CZRegion { kSigned, kSignature, kElsewhere };

struct CZSignatureSpan {
  size_t record = 0;  // where the record starts
  size_t textLength = 0;
  uint8_t placement = 0;
};

CZSignatureSpan FindSignature(const CZBytes& b) {
  CZImageLayout layout = ReadLayout(b);
  CZSignatureRecord record;
  CZSignatureSpan span;
  span.record = layout.hasReserve && ParseSignatureRecord(&b[kReservedAreaOffset], &record) &&
                        record.placement == 0
                    ? kReservedAreaOffset
                    : layout.cabinetSize;
  ParseSignatureRecord(&b[span.record], &record);
  span.textLength = record.textLength;
  span.placement = record.placement;
  return span;
}

std::string Decoded(const CZBytes& b, const CZSignatureSpan& span) {
  unsigned char out[516];
  size_t count = 0;
  const char* text = reinterpret_cast<const char*>(&b[span.record + kSignatureRecordSize]);
  if (!DecodeBase64(text, span.textLength, out, sizeof(out), &count)) return "undecodable";
  return std::string(reinterpret_cast<char*>(out), count);
}

// Whether a changed signature record or text still names the same signature.
bool SameSignature(const CZBytes& original, const CZBytes& changed, size_t at,
                   const CZSignatureSpan& span) {
  size_t inRecord = at - span.record;
  if (inRecord < kRecordPlacementOffset) return false;  // magic or length
  if (inRecord == kRecordPlacementOffset) {
    // Only an appended record may carry any non-zero flag.
    return span.placement != 0 && changed[at] != 0;
  }
  if (inRecord < kSignatureRecordSize) return true;  // never read
  return Decoded(original, span) == Decoded(changed, span);
}

struct CZSweptPackage {
  const char* fixture;
  const char* contentFolder;  // where the packed files' originals are
  std::vector<std::string> storedNames;
};
void PrintTo(const CZSweptPackage& p, std::ostream* os) { *os << p.fixture; }

class TamperTest : public ::testing::TestWithParam<CZSweptPackage> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadPackageKey());
    m_destination = m_root / "dest";
    for (const std::string& name : GetParam().storedNames) {
      m_packed[name] =
          ReadFileText(PackageFixture(std::string(GetParam().contentFolder) + "\\" + name));
      ASSERT_FALSE(m_packed[name].empty()) << name;
    }
  }
  void InstallOldVersions() {
    RemoveTree(m_destination);
    for (const std::string& name : GetParam().storedNames) {
      std::string path = m_destination + "\\" + name;
      CreatePathPrefixes(path.c_str());
      ASSERT_TRUE(WriteFileText(path, kOld));
    }
  }
  // The files installed now: "old" when every one is the older version,
  // "new" when every one is the packed version, "other" otherwise.
  std::string InstalledState() {
    bool allOld = true, allNew = true;
    for (const std::string& name : GetParam().storedNames) {
      std::string text = ReadFileText(m_destination + "\\" + name);
      allOld = allOld && text == kOld;
      allNew = allNew && text == m_packed.at(name);
    }
    return allOld ? "old" : allNew ? "new" : "other";
  }

  CZTempFolder m_root{"tamper"};
  std::string m_destination;
  std::map<std::string, std::string> m_packed;
};
}  // namespace

TEST_P(TamperTest, EveryChangedByteIsRefusedOrCleanlyAccepted) {
  const CZBytes original = ReadBytes(PackageFixture(GetParam().fixture));
  ASSERT_FALSE(original.empty());
  const CZImageLayout layout = ReadLayout(original);
  const CZSignatureSpan span = FindSignature(original);
  const size_t signatureEnd = span.record + kSignatureRecordSize + span.textLength;
  std::mt19937 random(20261210);
  InstallOldVersions();
  const std::vector<std::string> expectedAll = ListFiles(m_root.path());
  int acceptedOutside = 0, acceptedDifferent = 0, refusedOutside = 0;

  for (size_t at = 0; at < original.size(); ++at) {
    CZBytes changed = original;
    changed[at] ^= static_cast<unsigned char>(1 + random() % 255);
    const CZRegion region = at >= layout.firstFile && at < layout.cabinetSize ? CZRegion::kSigned
                            : at >= span.record && at < signatureEnd          ? CZRegion::kSignature
                                                                     : CZRegion::kElsewhere;
    InstallOldVersions();
    const std::string image = m_destination + "\\zcomp.dl_";
    ASSERT_TRUE(WriteBytes(image, changed));
    const bool accepted =
        ExtractSignedImage(image.c_str(), (m_destination + "\\zcomp.dll").c_str(), 0);

    SCOPED_TRACE("offset " + std::to_string(at) + " byte " + std::to_string(changed[at]));
    ASSERT_FALSE(FileExists(image));
    // Nothing is ever written beside the destination, nor left in it.
    std::vector<std::string> all = ListFiles(m_root.path());
    ASSERT_EQ(expectedAll, all);

    const std::string state = InstalledState();
    if (!accepted) ASSERT_EQ("old", state);
    switch (region) {
      case CZRegion::kSigned:
        ASSERT_FALSE(accepted);
        break;
      case CZRegion::kSignature:
        ASSERT_EQ(SameSignature(original, changed, at, span), accepted);
        if (accepted) ASSERT_EQ("new", state);
        break;
      case CZRegion::kElsewhere:
        if (accepted) {
          ++acceptedOutside;
          if (state != "new") ++acceptedDifferent;
        } else {
          ++refusedOutside;
        }
        break;
    }
  }
  std::cout << GetParam().fixture << ": " << original.size()
            << " bytes changed one at a time; outside the signed region " << acceptedOutside
            << " accepted (" << acceptedDifferent << " of them with files that differ from "
            << "the packed ones), " << refusedOutside << " refused\n";
  RecordProperty("accepted_with_different_files", acceptedDifferent);
}

const std::vector<std::string> kContentNames = {"readme.txt", "sub\\helper.dat", "zcomp.dll"};
const std::vector<std::string> kMultiBlockNames = {"big\\data.txt", "readme.txt", "sub\\helper.dat",
                                                   "zcomp.dll"};

INSTANTIATE_TEST_SUITE_P(Packages, TamperTest,
                         ::testing::Values(CZSweptPackage{"p0.qpk", "content", kContentNames},
                                           CZSweptPackage{"p1.qpk", "content", kContentNames},
                                           CZSweptPackage{"multiblock.qpk", "content_multi",
                                                          kMultiBlockNames}),
                         [](const ::testing::TestParamInfo<CZSweptPackage>& info) {
                           std::string name = info.param.fixture;
                           return name.substr(0, name.find('.'));
                         });

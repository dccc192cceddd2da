// Every byte of a signed package changed in turn, and every header and folder
// field set to hostile values, each image handed to the acceptance gate over
// a folder that holds older versions of its files, and to zpkg verify's check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "cabinet_builder.h"
#include "package/accept_image.h"
#include "package/base64.h"
#include "package/package_key.h"
#include "package/signature_record.h"
#include "package_fixtures.h"
#include "settings/folders.h"
#include "test_support.h"
#include "tools/verify_image.h"

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

// Where each folder entry's compression type stands: the one unsigned
// choice the layout rules leave.
std::vector<size_t> CompressionFields(const CZBytes& image) {
  CZCabinetMap map;
  MapCabinet(image, &map);
  std::vector<size_t> fields;
  for (size_t f = 0; f < Get16(image, 26); ++f) {
    fields.push_back(map.foldersStart + f * map.folderEntrySize + 6);
  }
  return fields;
}

bool Touches(const std::vector<size_t>& fields, size_t at, size_t width) {
  for (size_t field : fields) {
    if (at < field + 2 && field < at + width) return true;
  }
  return false;
}

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
  // Hands the image to the gate over the older versions. Checks what must
  // hold of every outcome, and that zpkg verify's answer agrees: an image it
  // refuses is refused, and one it passes is refused only when the
  // decompressor fails on it. Returns the installed state, "refused" when
  // the gate refused.
  std::string RunGate(const CZBytes& changed, bool* verified) {
    InstallOldVersions();
    const std::string image = m_destination + "\\zcomp.dl_";
    EXPECT_TRUE(WriteBytes(image, changed));
    std::string reason;
    *verified = VerifyImage(changed, PackageKey(), &reason);
    const bool accepted =
        ExtractSignedImage(image.c_str(), (m_destination + "\\zcomp.dll").c_str(), 0);
    EXPECT_FALSE(FileExists(image));
    // Nothing is ever written beside the destination, nor left in it.
    EXPECT_EQ(m_expectedAll, ListFiles(m_root.path()));
    const std::string state = InstalledState();
    if (!accepted) EXPECT_EQ("old", state);
    if (!*verified) EXPECT_FALSE(accepted) << reason;
    return accepted ? state : "refused";
  }

  CZTempFolder m_root{"tamper"};
  std::string m_destination;
  std::map<std::string, std::string> m_packed;
  std::vector<std::string> m_expectedAll;
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
  m_expectedAll = ListFiles(m_root.path());
  const std::vector<size_t> compression = CompressionFields(original);
  int acceptedOutside = 0, acceptedDifferent = 0, refusedOutside = 0, verifiedNotExtracted = 0;

  for (size_t at = 0; at < original.size(); ++at) {
    CZBytes changed = original;
    changed[at] ^= static_cast<unsigned char>(1 + random() % 255);
    const CZRegion region = at >= layout.firstFile && at < layout.cabinetSize ? CZRegion::kSigned
                            : at >= span.record && at < signatureEnd          ? CZRegion::kSignature
                                                                     : CZRegion::kElsewhere;
    SCOPED_TRACE("offset " + std::to_string(at) + " byte " + std::to_string(changed[at]));
    bool verified = false;
    const std::string state = RunGate(changed, &verified);
    const bool accepted = state != "refused";
    if (HasFailure()) return;
    if (verified && !accepted) {
      ++verifiedNotExtracted;
      // Only another compression method can pass the checks and still fail.
      ASSERT_TRUE(Touches(compression, at, 1));
    }
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
          if (state != "new") {
            ++acceptedDifferent;
            ASSERT_TRUE(Touches(compression, at, 1)) << "installed files that were not signed";
          }
        } else {
          ++refusedOutside;
        }
        break;
    }
  }
  std::cout << GetParam().fixture << ": " << original.size()
            << " bytes changed one at a time; outside the signed region " << acceptedOutside
            << " accepted (" << acceptedDifferent << " of them with files that differ from "
            << "the packed ones), " << refusedOutside << " refused; " << verifiedNotExtracted
            << " passed zpkg verify but failed to extract\n";
  RecordProperty("accepted_with_different_files", acceptedDifferent);
}

namespace {
struct CZField {
  std::string name;
  size_t offset;
  size_t width;
  bool compression;
};

// The header's fields and every folder entry's: none of them is signed.
std::vector<CZField> UnsignedFields(const CZBytes& image) {
  std::vector<CZField> fields = {
      {"reserved 1", 4, 4, false},     {"cabinet size", 8, 4, false},
      {"reserved 2", 12, 4, false},    {"first file offset", 16, 4, false},
      {"reserved 3", 20, 4, false},    {"minor version", 24, 1, false},
      {"major version", 25, 1, false}, {"folder count", 26, 2, false},
      {"file count", 28, 2, false},    {"flags", 30, 2, false},
      {"set id", 32, 2, false},        {"cabinet index", 34, 2, false}};
  if (Get16(image, 30) & kCabinetReservePresent) {
    fields.push_back({"header reserve", 36, 2, false});
    fields.push_back({"folder reserve", 38, 1, false});
    fields.push_back({"block reserve", 39, 1, false});
  }
  CZCabinetMap map;
  MapCabinet(image, &map);
  for (size_t f = 0; f < Get16(image, 26); ++f) {
    const size_t entry = map.foldersStart + f * map.folderEntrySize;
    const std::string folder = "folder " + std::to_string(f) + " ";
    fields.push_back({folder + "data offset", entry, 4, false});
    fields.push_back({folder + "block count", entry + 4, 2, false});
    fields.push_back({folder + "compression", entry + 6, 2, true});
  }
  return fields;
}

uint32_t FieldValue(const CZBytes& image, const CZField& field) {
  return field.width == 4   ? Get32(image, field.offset)
         : field.width == 2 ? Get16(image, field.offset)
                            : image[field.offset];
}

void SetField(CZBytes* image, const CZField& field, uint32_t value) {
  if (field.width == 4) Put32(image, field.offset, value);
  if (field.width == 2) Put16(image, field.offset, static_cast<uint16_t>(value));
  if (field.width == 1) (*image)[field.offset] = static_cast<unsigned char>(value);
}

// Values a forger would try: limits, neighbours, wrap-arounds, and the
// offsets that matter in this image. Each once, never the original.
std::vector<uint32_t> HostileValues(const CZBytes& image, const CZField& field) {
  const uint32_t original = FieldValue(image, field);
  std::vector<uint32_t> values;
  if (field.compression) {
    // Every method the format defines (with valid and invalid parameters).
    values = {0x0000, 0x0001, 0x0002, 0x0003, 0x0012, 0x0A12, 0x1572, 0x1F72,
              0x0F03, 0x1003, 0x1503, 0x1603, 0x2001, 0x0004, 0x000F, 0xFFFF};
  } else {
    const uint32_t size = static_cast<uint32_t>(image.size());
    values = {0,
              1,
              2,
              0x7F,
              0x80,
              0xFF,
              0x7FFF,
              0x8000,
              0xFFFC,
              0xFFFD,
              0xFFFE,
              0xFFFF,
              0x7FFFFFFF,
              0x80000000u,
              0xFFFFFFF0u,
              0xFFFFFFFFu,
              original - 1,
              original + 1,
              original - 8,
              original + 8,
              original + 0x10000,
              original ^ 0x100,
              size,
              Get32(image, 8),
              Get32(image, 8) + 12,
              Get32(image, 16)};
  }
  const uint32_t mask = field.width == 4 ? 0xFFFFFFFFu : field.width == 2 ? 0xFFFF : 0xFF;
  std::vector<uint32_t> kept;
  for (uint32_t value : values) {
    value &= mask;
    if (value != original && std::find(kept.begin(), kept.end(), value) == kept.end()) {
      kept.push_back(value);
    }
  }
  return kept;
}
}  // namespace

TEST_P(TamperTest, HostileHeaderAndFolderValuesAreRefusedOrInstallWhatWasSigned) {
  const CZBytes original = ReadBytes(PackageFixture(GetParam().fixture));
  ASSERT_FALSE(original.empty());
  InstallOldVersions();
  m_expectedAll = ListFiles(m_root.path());
  int changes = 0, refused = 0, acceptedSame = 0, acceptedDifferent = 0, switches = 0;
  int verifiedNotExtracted = 0;
  std::string differentFields;
  for (const CZField& field : UnsignedFields(original)) {
    for (uint32_t value : HostileValues(original, field)) {
      CZBytes changed = original;
      SetField(&changed, field, value);
      SCOPED_TRACE(field.name + " = " + std::to_string(value));
      bool verified = false;
      const std::string state = RunGate(changed, &verified);
      if (HasFailure()) return;
      ++changes;
      if (field.compression && verified) ++switches;
      if (verified && state == "refused") {
        ++verifiedNotExtracted;
        ASSERT_TRUE(field.compression);
      }
      if (state == "refused") {
        ++refused;
      } else if (state == "new") {
        ++acceptedSame;
      } else {
        ++acceptedDifferent;
        differentFields += " " + field.name + "=" + std::to_string(value);
        ASSERT_TRUE(field.compression) << "installed files that were not signed";
      }
    }
  }
  std::cout << GetParam().fixture << ": " << changes << " hostile field values; " << refused
            << " refused, " << acceptedSame << " accepted with the packed files, "
            << acceptedDifferent << " accepted with other files (compression switches:"
            << (differentFields.empty() ? " none" : differentFields) << "); " << switches
            << " passed zpkg verify as another compression method, " << verifiedNotExtracted
            << " of them failed to extract\n";
  RecordProperty("field_values_accepted_with_different_files", acceptedDifferent);
}

const std::vector<std::string> kContentNames = {"readme.txt", "sub\\helper.dat", "zcomp.dll"};
const std::vector<std::string> kMultiBlockNames = {"big\\data.txt", "readme.txt", "sub\\helper.dat",
                                                   "zcomp.dll"};

INSTANTIATE_TEST_SUITE_P(
    Packages, TamperTest,
    ::testing::Values(CZSweptPackage{"p0.qpk", "content", kContentNames},
                      CZSweptPackage{"p1.qpk", "content", kContentNames},
                      CZSweptPackage{"multiblock.qpk", "content_multi", kMultiBlockNames},
                      CZSweptPackage{"stored_p1.qpk", "content", kContentNames},
                      CZSweptPackage{"folders_p1.qpk", "content", kContentNames},
                      CZSweptPackage{"reserves_p0.qpk", "content", kContentNames}),
    [](const ::testing::TestParamInfo<CZSweptPackage>& info) {
      std::string name = info.param.fixture;
      return name.substr(0, name.find('.'));
    });

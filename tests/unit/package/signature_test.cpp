#include <gtest/gtest.h>
#include <openssl/err.h>

#include <cstring>
#include <functional>
#include <string>

#include "package/cabinet.h"
#include "package/package_key.h"
#include "package/signature_check.h"
#include "package/signature_record.h"
#include "package_fixtures.h"
#include "test_support.h"

namespace {
using CZEdit = std::function<void(CZBytes&)>;

// Flips one byte at offset (counted from the given anchor).
CZEdit Flip(std::function<size_t(const CZBytes&)> anchor, size_t offset) {
  return [=](CZBytes& b) { b.at(anchor(b) + offset) ^= 0x5A; };
}
size_t Start(const CZBytes&) { return 0; }
size_t FirstFile(const CZBytes& b) { return ReadLayout(b).firstFile; }
size_t CabinetEnd(const CZBytes& b) { return ReadLayout(b).cabinetSize; }
size_t Folders(const CZBytes& b) { return ReadLayout(b).foldersStart; }
size_t AppendedText(const CZBytes& b) { return CabinetEnd(b) + kSignatureRecordSize; }

// Replaces the appended signature text with a text of length characters.
CZEdit AppendedTextOfLength(size_t length) {
  return [=](CZBytes& b) {
    size_t text = AppendedText(b);
    b.resize(text);
    b.insert(b.end(), length, 'Q');
    WriteSignatureRecord(static_cast<uint32_t>(length), kPlacementAppended, &b[CabinetEnd(b)]);
  };
}

struct CZVerifyCase {
  const char* name;
  const char* fixture;
  CZEdit edit;
  bool verifies;
};
void PrintTo(const CZVerifyCase& c, std::ostream* os) { *os << c.name; }

class VerifyTest : public ::testing::TestWithParam<CZVerifyCase> {
 protected:
  void SetUp() override { ASSERT_TRUE(LoadPackageKey()); }
  CZTempFolder m_folder{"sig"};
};
}  // namespace

TEST_P(VerifyTest, SignatureCheck) {
  const CZVerifyCase& c = GetParam();
  CZBytes bytes = ReadBytes(PackageFixture(c.fixture));
  ASSERT_FALSE(bytes.empty());
  if (c.edit) c.edit(bytes);
  std::string image = m_folder / "image.qpk";
  ASSERT_TRUE(WriteBytes(image, bytes));
  CZCabinet cabinet;
  ASSERT_TRUE(cabinet.OpenImage(image.c_str()));
  EXPECT_EQ(c.verifies, cabinet.VerifySignature(PackageKey()));
  EXPECT_EQ(0ul, ERR_peek_error());  // the error queue is left empty
}

INSTANTIATE_TEST_SUITE_P(
    Packages, VerifyTest,
    ::testing::Values(
        CZVerifyCase{"ReservedAreaRecord", "p0.qpk", nullptr, true},
        CZVerifyCase{"AppendedRecord", "p1.qpk", nullptr, true},
        CZVerifyCase{"NonZeroFlagAt40IsSkipped", "reserved_p1.qpk",
                     [](CZBytes& b) {
                       // A record in the reserved area that says it belongs at the end.
                       WriteSignatureRecord(344, 1, &b[kReservedAreaOffset]);
                     },
                     true},
        CZVerifyCase{"ZeroFlagAt40IsUsed", "reserved_p1.qpk",
                     [](CZBytes& b) { WriteSignatureRecord(4, 0, &b[kReservedAreaOffset]); },
                     false},
        CZVerifyCase{"OtherPlacementFlagAppended", "p1.qpk",
                     [](CZBytes& b) { b[CabinetEnd(b) + kRecordPlacementOffset] = 0x80; }, true},
        CZVerifyCase{"ZeroPlacementFlagAppended", "p1.qpk",
                     [](CZBytes& b) { b[CabinetEnd(b) + kRecordPlacementOffset] = 0; }, false},
        CZVerifyCase{"UnreadRecordBytes", "p1.qpk",
                     [](CZBytes& b) {
                       b[CabinetEnd(b) + 9] = b[CabinetEnd(b) + 10] = b[CabinetEnd(b) + 11] = 0xEE;
                     },
                     true},
        CZVerifyCase{"FirstSignedByteP0", "p0.qpk", Flip(FirstFile, 0), false},
        CZVerifyCase{"FirstSignedByteP1", "p1.qpk", Flip(FirstFile, 0), false},
        CZVerifyCase{"MiddleSignedByte", "p0.qpk", Flip(FirstFile, 100), false},
        CZVerifyCase{"LastSignedByteP0", "p0.qpk", Flip(CabinetEnd, -1), false},
        CZVerifyCase{"LastSignedByteP1", "p1.qpk", Flip(CabinetEnd, -1), false},
        CZVerifyCase{"HeaderReserved1", "p0.qpk", Flip(Start, 4), true},
        CZVerifyCase{"HeaderReserved2", "p1.qpk", Flip(Start, 13), true},
        CZVerifyCase{"HeaderReserved3", "p0.qpk", Flip(Start, 22), true},
        CZVerifyCase{"SetId", "p0.qpk", Flip(Start, 32), true},
        CZVerifyCase{"CabinetIndex", "p1.qpk", Flip(Start, 34), true},
        CZVerifyCase{"ReservedAreaOutsideRecordP1", "reserved_p1.qpk",
                     Flip(Start, kReservedAreaOffset + 20), true},
        CZVerifyCase{
            "ReservedAreaOutsideRecordP0", "reserved_p0.qpk",
            [](CZBytes& b) { b[kReservedAreaOffset + ReadLayout(b).headerReserve - 1] ^= 0x5A; },
            true},
        CZVerifyCase{"FolderEntryDataOffset", "p0.qpk", Flip(Folders, 0), true},
        CZVerifyCase{"FolderEntryCompression", "p1.qpk", Flip(Folders, 6), true},
        CZVerifyCase{"BytesAfterTheCabinetP0", "p0.qpk",
                     [](CZBytes& b) {
                       b.insert(b.end(), {'t', 'a', 'i', 'l'});
                     },
                     true},
        CZVerifyCase{"BytesAfterTheAppendedText", "p1.qpk",
                     [](CZBytes& b) { b.insert(b.end(), 100, 0x33); }, true},
        CZVerifyCase{"SignatureTextChanged", "p1.qpk", Flip(AppendedText, 40), false},
        CZVerifyCase{"Text514Characters", "p1.qpk", AppendedTextOfLength(514), false},
        CZVerifyCase{"Text513Characters", "p1.qpk", AppendedTextOfLength(513), false},
        CZVerifyCase{"TextCutShortByTheEnd", "p1.qpk", [](CZBytes& b) { b.pop_back(); }, false},
        CZVerifyCase{"PaddingInSecondPlace", "p1.qpk",
                     [](CZBytes& b) { b[AppendedText(b) + 1] = '='; }, false},
        CZVerifyCase{"DigestInfoWrapped", "digestinfo.qpk", nullptr, false},
        CZVerifyCase{"OtherKey", "otherkey.qpk", nullptr, false},
        CZVerifyCase{"Unsigned", "unsigned.cab", nullptr, false},
        // Signed over what is there: the digest stops at the end of the file.
        CZVerifyCase{"ShorterThanDeclaredAndSignedSo", "truncated.qpk", nullptr, true},
        CZVerifyCase{"CutShortAfterSigning", "p0.qpk", [](CZBytes& b) { b.resize(b.size() - 10); },
                     false}),
    [](const ::testing::TestParamInfo<CZVerifyCase>& info) {
      return std::string(info.param.name);
    });

TEST(VerifySignatureTest, CharacterReadAsZeroInPlaceOfAStillVerifies) {
  ASSERT_TRUE(LoadPackageKey());
  CZBytes bytes = ReadBytes(PackageFixture("p1.qpk"));
  size_t text = AppendedText(bytes);
  size_t length = ReadLittle32(&bytes[CabinetEnd(bytes) + kRecordLengthOffset]);
  size_t at = text;
  while (at < text + length && bytes[at] != 'A') ++at;
  if (at == text + length) GTEST_SKIP() << "this build's signature text holds no A";
  bytes[at] = '*';
  CZTempFolder folder("sig");
  ASSERT_TRUE(WriteBytes(folder / "image.qpk", bytes));
  CZCabinet cabinet;
  ASSERT_TRUE(cabinet.OpenImage((folder / "image.qpk").c_str()));
  EXPECT_TRUE(cabinet.VerifySignature(PackageKey()));
}

TEST(VerifySignatureTest, NoKeyVerifiesNothing) {
  CZTempFolder folder("sig");
  std::string image = folder / "image.qpk";
  ASSERT_TRUE(CopyFileA(PackageFixture("p0.qpk").c_str(), image.c_str(), FALSE));
  CZCabinet cabinet;
  ASSERT_TRUE(cabinet.OpenImage(image.c_str()));
  EXPECT_FALSE(cabinet.VerifySignature(nullptr));
}

TEST(PackageKeyTest, SecondLoadChangesNothing) {
  EXPECT_EQ(nullptr, PackageKey());  // each test runs in a fresh process
  ASSERT_TRUE(LoadPackageKey());
  EVP_PKEY* first = PackageKey();
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(2048, EVP_PKEY_get_bits(first));
  EXPECT_TRUE(LoadPackageKey());
  EXPECT_EQ(first, PackageKey());
  CZTempFolder folder("sig");
  std::string image = folder / "image.qpk";
  ASSERT_TRUE(CopyFileA(PackageFixture("p1.qpk").c_str(), image.c_str(), FALSE));
  CZCabinet cabinet;
  ASSERT_TRUE(cabinet.OpenImage(image.c_str()));
  EXPECT_TRUE(cabinet.VerifySignature(PackageKey()));
}

TEST(SignatureTextTest, LengthIsCheckedBeforeAnythingElse) {
  unsigned char digest[kDigestSize] = {};
  EXPECT_EQ(CZSignatureCheck::kBadLength, CheckSignatureText(nullptr, "", digest));
  EXPECT_EQ(CZSignatureCheck::kBadLength,
            CheckSignatureText(nullptr, std::string(514, 'A'), digest));
  EXPECT_EQ(CZSignatureCheck::kBadBase64,
            CheckSignatureText(nullptr, std::string(513, 'A'), digest));
  EXPECT_EQ(CZSignatureCheck::kBadBase64, CheckSignatureText(nullptr, "A=AA", digest));
}

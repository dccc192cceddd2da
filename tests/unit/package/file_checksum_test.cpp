#include "package/file_checksum.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "package/checksum_rules.h"
#include "test_support.h"

namespace {
// Reference values computed outside the updater: by zlib, and by an
// independent reading of the checksum rule (make_checksum_files.py).
struct CZExpectedFile {
  std::string name;
  size_t size = 0;
  DWORD crc = 0;
  DWORD checksum = 0;
};

std::vector<CZExpectedFile> ExpectedFiles(std::string* seed) {
  std::ifstream in(TestProgramFolder() + "checksum_files\\expected.txt");
  std::vector<CZExpectedFile> files;
  std::string line;
  std::getline(in, *seed);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    CZExpectedFile file;
    if (fields >> file.name >> file.size >> file.crc >> file.checksum) files.push_back(file);
  }
  return files;
}

class FileChecksumTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = m_folder / name;
    EXPECT_TRUE(WriteFileText(path, bytes));
    return path;
  }
  CZTempFolder m_folder{"checksum"};
};

struct WorkedCase {
  const char* name;
  std::string bytes;
  DWORD checksum;
  const char* diagnostics;
};
// Names the case in test listings.
void PrintTo(const WorkedCase& c, std::ostream* os) { *os << c.name; }

class WorkedValueTest : public FileChecksumTest,
                        public ::testing::WithParamInterface<WorkedCase> {};
}  // namespace

TEST_P(WorkedValueTest, ChecksumAndItsDiagnostics) {
  const WorkedCase& c = GetParam();
  std::string path = Write("worked.bin", c.bytes);
  DWORD value = 0;
  ::testing::internal::CaptureStderr();
  bool ok = FileChecksum(path.c_str(), &value);
  std::string diagnostics = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(ok) << diagnostics;
  EXPECT_EQ(c.checksum, value);
  EXPECT_EQ(c.diagnostics, diagnostics);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WorkedValueTest,
    ::testing::Values(
        // Only the first of the two words counts.
        WorkedCase{"EightBytes", "abcdefgh", 1684234849u,
                   "base checksum (2 DWORDS): 1684234849\nnum straggler bytes: 0\n"
                   "added 0 to base sum: total 1684234849\n"},
        // The first two of three words.
        WorkedCase{"TwelveBytes", "abcdefghijkl", 3435841734u,
                   "base checksum (3 DWORDS): 3435841734\nnum straggler bytes: 0\n"
                   "added 0 to base sum: total 3435841734\n"},
        // The first word and the tail ijk.
        WorkedCase{"ElevenBytes", "abcdefghijk", 1691274442u,
                   "base checksum (2 DWORDS): 1684234849\nnum straggler bytes: 3\n"
                   "added 7039593 to base sum: total 1691274442\n"},
        WorkedCase{"TailOnly", "abc", 6513249u,
                   "base checksum (0 DWORDS): 0\nnum straggler bytes: 3\n"
                   "added 6513249 to base sum: total 6513249\n"},
        WorkedCase{"AllOnes", std::string(4, '\xff'), 0xFFFFFFFFu,
                   "base checksum (1 DWORDS): 4294967295\nnum straggler bytes: 0\n"
                   "added 0 to base sum: total 4294967295\n"}),
    [](const ::testing::TestParamInfo<WorkedCase>& info) { return std::string(info.param.name); });

TEST_F(FileChecksumTest, NineByteFileIgnoresItsSecondWord) {
  const std::string original = "abcdefghi";
  DWORD base = 0;
  ASSERT_TRUE(FileChecksum(Write("nine.bin", original).c_str(), &base));
  for (size_t at = 0; at < original.size(); ++at) {
    std::string changed = original;
    changed[at] = static_cast<char>(changed[at] ^ 0x5A);
    DWORD value = 0;
    ASSERT_TRUE(FileChecksum(Write("nine.bin", changed).c_str(), &value));
    if (at >= 4 && at <= 7) {
      EXPECT_EQ(base, value) << "byte " << at;
    } else {
      EXPECT_NE(base, value) << "byte " << at;
    }
  }
}

TEST_F(FileChecksumTest, EmptyFileHasNoChecksumButACrcOfZero) {
  std::string path = Write("empty.bin", "");
  DWORD value = 77;
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(FileChecksum(path.c_str(), &value));
  std::string diagnostics = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(0u, diagnostics.find("CreateFileMapping failed ")) << diagnostics;
  EXPECT_EQ(77u, value);
  EXPECT_TRUE(FileCRC(path.c_str(), &value));
  EXPECT_EQ(0u, value);
}

TEST_F(FileChecksumTest, MissingFileFailsBoth) {
  std::string path = m_folder / "absent.bin";
  DWORD value = 77;
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(FileChecksum(path.c_str(), &value));
  EXPECT_EQ("CreateFile failed for " + path + "\n", ::testing::internal::GetCapturedStderr());
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(FileCRC(path.c_str(), &value));
  EXPECT_EQ("CreateFile failed 2\n", ::testing::internal::GetCapturedStderr());
  EXPECT_EQ(77u, value);
}

TEST_F(FileChecksumTest, FileOpenForWritingElsewhereCannotBeRead) {
  std::string path = Write("locked.bin", "abcdefgh");
  // Held without share-read: both routines are refused the file.
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  DWORD value = 0;
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(FileChecksum(path.c_str(), &value));
  EXPECT_FALSE(FileCRC(path.c_str(), &value));
  ::testing::internal::GetCapturedStderr();
  CloseHandle(holder);
}

// The CRC table is the reflected one of polynomial 0xEDB88320.
TEST(Crc32TableTest, KnownEntries) {
  EXPECT_EQ(0u, Crc32TableEntry(0));
  EXPECT_EQ(0x77073096u, Crc32TableEntry(1));
  EXPECT_EQ(0xEDB88320u, Crc32TableEntry(128));
  EXPECT_EQ(0x2D02EF8Du, Crc32TableEntry(255));
}

// Random files of every edge size (below a word, word edges, exact
// multiples of the 32768-byte CRC block and one byte either side) and of
// random sizes, against zlib's crc32 and the reference checksum.
TEST(ChecksumFilesTest, MatchZlibAndTheReferenceChecksum) {
  std::string seed;
  std::vector<CZExpectedFile> files = ExpectedFiles(&seed);
  ASSERT_GE(files.size(), 20u) << "checksum_files\\expected.txt missing";
  SCOPED_TRACE(seed);
  bool sawBlockMultiple = false;
  for (const CZExpectedFile& file : files) {
    SCOPED_TRACE(file.name + " of " + std::to_string(file.size) + " bytes");
    std::string path = TestProgramFolder() + "checksum_files\\" + file.name;
    if (file.size > 0 && file.size % 32768 == 0) sawBlockMultiple = true;
    ::testing::internal::CaptureStderr();
    DWORD crc = 0, checksum = 0;
    EXPECT_TRUE(FileCRC(path.c_str(), &crc));
    EXPECT_EQ(file.crc, crc);
    EXPECT_EQ(file.size > 0, FileChecksum(path.c_str(), &checksum));
    if (file.size > 0) {
      EXPECT_EQ(file.checksum, checksum);
    }
    ::testing::internal::GetCapturedStderr();
  }
  EXPECT_TRUE(sawBlockMultiple);
}

struct ExpectedValueCase {
  const char* text;
  uint32_t value;
};
// Names the case in test listings.
void PrintTo(const ExpectedValueCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class ExpectedValueTest : public ::testing::TestWithParam<ExpectedValueCase> {};

TEST_P(ExpectedValueTest, ReadsSignDigitsAndWraps) {
  EXPECT_EQ(GetParam().value, ParseExpectedValue(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExpectedValueTest,
    ::testing::Values(
        ExpectedValueCase{"4294967295", 0xFFFFFFFFu}, ExpectedValueCase{"-1", 0xFFFFFFFFu},
        // The signed 32-bit form and a form one wrap higher.
        ExpectedValueCase{"-2610732447", 1684234849u}, ExpectedValueCase{"5979202145", 1684234849u},
        ExpectedValueCase{" \t+1684234849", 1684234849u}, ExpectedValueCase{"12abc", 12u},
        ExpectedValueCase{"abc", 0u}, ExpectedValueCase{"", 0u}, ExpectedValueCase{"--1", 0u},
        ExpectedValueCase{"+-1", 0u}, ExpectedValueCase{"0x10", 0u}, ExpectedValueCase{"-0", 0u}));

TEST(ExpectedValueNullTest, NoTextIsZero) { EXPECT_EQ(0u, ParseExpectedValue(nullptr)); }

namespace {
struct SizesCase {
  const char* name;
  const char* content;  // null: no file
  const char* section;  // the component's manifest section body
  bool accepted;
};
// Names the case in test listings.
void PrintTo(const SizesCase& c, std::ostream* os) { *os << c.name; }

class CheckFileSizesTest : public FileChecksumTest,
                           public ::testing::WithParamInterface<SizesCase> {};

// abcdefgh: checksum 1684234849, CRC-32 2934909520 (zlib.crc32(b"abcdefgh")).
const char kEight[] = "abcdefgh";
}  // namespace

TEST_P(CheckFileSizesTest, EverySetValueMustMatch) {
  const SizesCase& c = GetParam();
  std::string image = m_folder / "a.dl_";
  if (c.content != nullptr) {
    ASSERT_TRUE(WriteFileText(image, c.content));
  }
  std::string manifest = m_folder / "components.ini";
  ASSERT_TRUE(WriteFileText(manifest, std::string("[components]\r\na.dll=\r\n[A.DLL]\r\n") +
                                          c.section + "[other]\r\nSize1=1\r\nSize2=1\r\n"));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(c.accepted, CheckFileSizes(image.c_str(), "a.dll", manifest.c_str()));
  ::testing::internal::GetCapturedStderr();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckFileSizesTest,
    ::testing::Values(
        SizesCase{"NoValues", kEight, "", true},
        SizesCase{"BothMatch", kEight, "Size1=1684234849\r\nSize2=2934909520\r\n", true},
        SizesCase{"ChecksumDiffers", kEight, "Size1=1684234850\r\n", false},
        SizesCase{"CrcDiffers", kEight, "Size1=1684234849\r\nSize2=2934909521\r\n", false},
        SizesCase{"CrcAsSigned", kEight, "Size2=-1360057776\r\n", true},
        SizesCase{"ChecksumAsSigned", kEight, "Size1=-2610732447\r\n", true},
        SizesCase{"ZeroSkipsBoth", kEight, "Size1=0\r\nSize2=0\r\n", true},
        SizesCase{"NotNumericSkips", kEight, "Size1=abc\r\nSize2=\r\n", true},
        SizesCase{"AllOnesUnsigned", "\xff\xff\xff\xff", "Size1=4294967295\r\n", true},
        SizesCase{"AllOnesAsMinusOne", "\xff\xff\xff\xff", "Size1=-1\r\nSize2=-1\r\n", true},
        // Only 39 characters are read: the leading zeros push digits out.
        SizesCase{"LongTextIsCut", kEight, "Size1=000000000000000000000000000000001684234849\r\n",
                  false},
        SizesCase{"EmptyFileWithChecksum", "", "Size1=1\r\n", false},
        SizesCase{"EmptyFileZeroChecksum", "", "Size1=0\r\nSize2=0\r\n", true},
        SizesCase{"EmptyFileCrcSet", "", "Size2=5\r\n", false},
        SizesCase{"MissingFileChecked", nullptr, "Size2=5\r\n", false},
        SizesCase{"MissingFileUnchecked", nullptr, "Size1=0\r\n", true}),
    [](const ::testing::TestParamInfo<SizesCase>& info) { return std::string(info.param.name); });

TEST_F(FileChecksumTest, ManifestWithoutTheSectionAcceptsEveryFile) {
  std::string image = Write("b.dl_", "abcdefgh");
  EXPECT_TRUE(CheckFileSizes(image.c_str(), "b.dll", (m_folder / "absent.ini").c_str()));
}

// A package larger than 2 GB: read in blocks, it fits a 32-bit process's
// address space, where one view of the whole file would not. The file is
// sparse: only its first word and its last three bytes hold anything.
TEST_F(FileChecksumTest, FileLargerThanTwoGigabytesIsReadInBlocks) {
  const std::string path = m_folder / "large.bin";
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  const uint8_t first[4] = {5, 0, 0, 0};
  const uint8_t last[3] = {1, 2, 3};
  const ULONGLONG size = 0x90000003ULL;  // 2.25 GB and three straggler bytes
  DWORD written = 0;
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(size - 3);
  const bool made = WriteFile(file, first, 4, &written, nullptr) &&
                    SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
                    WriteFile(file, last, 3, &written, nullptr);
  CloseHandle(file);
  if (!made) {
    DeleteFileA(path.c_str());
    GTEST_SKIP() << "the file system here holds no sparse 2 GB file";
  }
  DWORD value = 0;
  ::testing::internal::CaptureStderr();
  const bool ok = FileChecksum(path.c_str(), &value);
  const std::string diagnostics = ::testing::internal::GetCapturedStderr();
  DeleteFileA(path.c_str());
  ASSERT_TRUE(ok) << diagnostics;
  EXPECT_EQ(5u + 0x030201u, value);
  EXPECT_NE(std::string::npos, diagnostics.find("num straggler bytes: 3\n")) << diagnostics;
}

#include "package/cabinet.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/handles.h"
#include "package/package_key.h"
#include "package/signature_record.h"
#include "package_fixtures.h"
#include "settings/folders.h"
#include "test_support.h"

namespace {
const char kOld[] = "old installed version\r\n";

class CabinetTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(LoadPackageKey()); }
  // The destination folder, without its trailing backslash.
  std::string Destination() const {
    std::string path = m_folder.path();
    path.pop_back();
    return path;
  }
  std::string PlaceImage(const std::string& fixture) {
    std::string image = m_folder / "pkg.qpk";
    EXPECT_TRUE(CopyFileA(PackageFixture(fixture).c_str(), image.c_str(), FALSE));
    return image;
  }
  std::string PlaceImage(const CZBytes& bytes) {
    std::string image = m_folder / "pkg.qpk";
    EXPECT_TRUE(WriteBytes(image, bytes));
    return image;
  }
  void InstallOldVersions() {
    CreateDirectoryA((m_folder / "sub").c_str(), nullptr);
    for (const CZPackedFile& file : PackedFiles())
      ASSERT_TRUE(WriteFileText(m_folder / file.storedName, kOld));
  }
  void ExpectOldVersions() {
    for (const CZPackedFile& file : PackedFiles()) {
      EXPECT_EQ(kOld, ReadFileText(m_folder / file.storedName)) << file.storedName;
    }
  }
  void ExpectNewVersions() {
    for (const CZPackedFile& file : PackedFiles()) {
      EXPECT_EQ(file.content, ReadFileText(m_folder / file.storedName)) << file.storedName;
    }
  }
  // The installed files, the image and nothing else (no staging folder).
  void ExpectOnlyInstalledFiles() {
    EXPECT_EQ((std::vector<std::string>{"pkg.qpk", "readme.txt", "sub\\", "sub\\helper.dat",
                                        "zcomp.dll"}),
              ListFiles(m_folder.path()));
  }

  CZTempFolder m_folder{"cab"};
};
}  // namespace

TEST_F(CabinetTest, ExtractsEveryFileAndCreatesSubfolders) {
  CZCabinet cabinet;
  ASSERT_TRUE(cabinet.OpenImage(PlaceImage("p0.qpk").c_str()));
  ASSERT_TRUE(cabinet.VerifySignature(PackageKey()));
  ASSERT_TRUE(cabinet.ExtractTo(Destination().c_str()));
  ExpectNewVersions();
  EXPECT_TRUE(cabinet.IsOpen());  // extraction leaves the object open
  // The commit lasts (its journal kept) until the object is reset: the
  // caller stamps and registers within it.
  EXPECT_TRUE(FileExists(m_folder / "pkg.qpk~\\journal.txt"));
  cabinet.Reset();
  ExpectOnlyInstalledFiles();
}

TEST_F(CabinetTest, ExtractedFilesCarryTheTimeOfExtraction) {
  FILETIME before;
  GetSystemTimeAsFileTime(&before);
  ULARGE_INTEGER start = {{before.dwLowDateTime, before.dwHighDateTime}};
  CZCabinet cabinet;
  ASSERT_TRUE(cabinet.OpenImage(PlaceImage("p0.qpk").c_str()));
  ASSERT_TRUE(cabinet.ExtractTo(Destination().c_str()));
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExA((m_folder / "zcomp.dll").c_str(), GetFileExInfoStandard, &data));
  ULARGE_INTEGER written = {
      {data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime}};
  // The image records the packing time, which lies before this test began.
  EXPECT_GE(written.QuadPart + 20000000ULL, start.QuadPart);
}

TEST_F(CabinetTest, ReadOnlyInstalledFileIsOverwritten) {
  InstallOldVersions();
  std::string target = m_folder / "zcomp.dll";
  ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
  CZCabinet cabinet;
  ASSERT_TRUE(cabinet.OpenImage(PlaceImage("p0.qpk").c_str()));
  ASSERT_TRUE(cabinet.ExtractTo(Destination().c_str()));
  ExpectNewVersions();
  EXPECT_EQ(0u, GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY);
  cabinet.Reset();
  ExpectOnlyInstalledFiles();
}

// Each way of making one installed file impossible to replace. zcomp.dll is
// the last file of the image, so the files before it must be put back.
struct CZBlockedTarget {
  const char* name;
  std::function<void(CZTempFolder&, CZUniqueFile*)> block;
};
void PrintTo(const CZBlockedTarget& c, std::ostream* os) { *os << c.name; }

class UnwritableTargetTest : public CabinetTest,
                             public ::testing::WithParamInterface<CZBlockedTarget> {};

TEST_P(UnwritableTargetTest, AbortsAndLeavesTheInstalledFilesAsTheyWere) {
  InstallOldVersions();
  CZUniqueFile holder;
  GetParam().block(m_folder, &holder);
  std::string image = PlaceImage("p0.qpk");
  std::vector<std::string> before = ListFiles(m_folder.path());
  CZCabinet cabinet;
  ASSERT_TRUE(cabinet.OpenImage(image.c_str()));
  EXPECT_FALSE(cabinet.ExtractTo(Destination().c_str()));
  holder.reset();
  for (const CZPackedFile& file : PackedFiles()) {
    DWORD attributes = GetFileAttributesA((m_folder / file.storedName).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    EXPECT_EQ(kOld, ReadFileText(m_folder / file.storedName)) << file.storedName;
  }
  EXPECT_EQ(before, ListFiles(m_folder.path()));
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, UnwritableTargetTest,
    ::testing::Values(CZBlockedTarget{"FolderInPlaceOfTheFile",
                                      [](CZTempFolder& folder, CZUniqueFile*) {
                                        std::string target = folder / "zcomp.dll";
                                        DeleteFileA(target.c_str());
                                        CreateDirectoryA(target.c_str(), nullptr);
                                      }},
                      CZBlockedTarget{"FileInPlaceOfItsFolder",
                                      [](CZTempFolder& folder, CZUniqueFile*) {
                                        RemoveTree(folder / "sub");
                                        ASSERT_TRUE(WriteFileText(folder / "sub", kOld));
                                      }},
                      CZBlockedTarget{"FileHeldOpenWithoutSharing",
                                      [](CZTempFolder& folder, CZUniqueFile* holder) {
                                        holder->reset(CreateFileA((folder / "zcomp.dll").c_str(),
                                                                  GENERIC_READ, 0, nullptr,
                                                                  OPEN_EXISTING, 0, nullptr));
                                        ASSERT_TRUE(holder->valid());
                                      }},
                      CZBlockedTarget{"ReadOnlyFileHeldOpenWithoutSharing",
                                      [](CZTempFolder& folder, CZUniqueFile* holder) {
                                        std::string target = folder / "zcomp.dll";
                                        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
                                        holder->reset(CreateFileA(target.c_str(), GENERIC_READ, 0,
                                                                  nullptr, OPEN_EXISTING, 0,
                                                                  nullptr));
                                        ASSERT_TRUE(holder->valid());
                                      }}),
    [](const ::testing::TestParamInfo<CZBlockedTarget>& info) {
      return std::string(info.param.name);
    });

TEST_F(CabinetTest, ReadOnlyAttributeIsRestoredWhenTheReplacementIsUndone) {
  InstallOldVersions();
  std::string readme = m_folder / "readme.txt";
  ASSERT_TRUE(SetFileAttributesA(readme.c_str(), FILE_ATTRIBUTE_READONLY));
  std::string target = m_folder / "zcomp.dll";
  DeleteFileA(target.c_str());
  CreateDirectoryA(target.c_str(), nullptr);
  CZCabinet cabinet;
  ASSERT_TRUE(cabinet.OpenImage(PlaceImage("p0.qpk").c_str()));
  EXPECT_FALSE(cabinet.ExtractTo(Destination().c_str()));
  EXPECT_EQ(kOld, ReadFileText(readme));
  EXPECT_NE(0u, GetFileAttributesA(readme.c_str()) & FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA(readme.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(CabinetTest, RefusedMoveRemovesTheFoldersItMade) {
  // Nothing installed yet, and zcomp.dll, the last file, cannot be placed:
  // readme.txt and sub\helper.dat are taken back, and so is sub\.
  CreateDirectoryA((m_folder / "zcomp.dll").c_str(), nullptr);
  CZCabinet cabinet;
  ASSERT_TRUE(cabinet.OpenImage(PlaceImage("p0.qpk").c_str()));
  EXPECT_FALSE(cabinet.ExtractTo(Destination().c_str()));
  EXPECT_EQ((std::vector<std::string>{"pkg.qpk", "zcomp.dll\\"}), ListFiles(m_folder.path()));
}

TEST_F(CabinetTest, NamesThatDifferOnlyInCaseInstallOneFile) {
  CZCabinet cabinet;
  ASSERT_TRUE(cabinet.OpenImage(PlaceImage("casefold.qpk").c_str()));
  ASSERT_TRUE(cabinet.ExtractTo(Destination().c_str()));
  cabinet.Reset();
  std::vector<std::string> files = ListFiles(m_folder.path());
  ASSERT_EQ(2u, files.size());
  EXPECT_EQ("pkg.qpk", files[0]);
  // The later entry's bytes, under the name the file was first made with.
  EXPECT_EQ(PackedFiles()[2].content, ReadFileText(m_folder / files[1]));
}

TEST_F(CabinetTest, LayoutFaultIsReportedAndNothingIsWritten) {
  InstallOldVersions();
  CZBytes bytes = ReadBytes(PackageFixture("p1.qpk"));
  bytes[24] = 2;  // format version 1.2
  std::vector<std::string> before = ListFiles(m_folder.path());
  CZCabinet cabinet;
  ASSERT_TRUE(cabinet.OpenImage(PlaceImage(bytes).c_str()));
  EXPECT_TRUE(cabinet.VerifySignature(PackageKey()));
  EXPECT_FALSE(cabinet.ExtractTo(Destination().c_str()));
  EXPECT_EQ("cabinet format version 1.2, not 1.3", cabinet.LayoutFault());
  ExpectOldVersions();
  before.insert(before.begin(), "pkg.qpk");
  EXPECT_EQ(before, ListFiles(m_folder.path()));
  cabinet.Reset();
  EXPECT_EQ("", cabinet.LayoutFault());
}

TEST_F(CabinetTest, DamagedDataBlockLeavesNothingBehind) {
  InstallOldVersions();
  CZBytes bytes = ReadBytes(PackageFixture("unsigned.cab"));
  CZImageLayout layout = ReadLayout(bytes);
  // The data block follows the file entries: spoil the MSZIP block marker
  // of the first block, so that decompression fails after the entries.
  uint32_t dataStart = ReadLittle32(&bytes[layout.foldersStart]);
  bytes[dataStart + 8] ^= 0xFF;
  bytes[dataStart + 9] ^= 0xFF;
  std::vector<std::string> before = ListFiles(m_folder.path());
  CZCabinet cabinet;
  ASSERT_TRUE(cabinet.OpenImage(PlaceImage(bytes).c_str()));
  EXPECT_FALSE(cabinet.ExtractTo(Destination().c_str()));
  ExpectOldVersions();
  before.insert(before.begin(), "pkg.qpk");
  EXPECT_EQ(before, ListFiles(m_folder.path()));
}

TEST_F(CabinetTest, StagedPathTooLongLeavesNothingBehind) {
  // A destination so deep that the staged copy of "sub\helper.dat" no longer
  // fits in a path, although the destination itself does.
  std::string deep = Destination();
  while (deep.size() < 229) deep += "\\dddddddddd";
  deep += "\\" + std::string(240 - deep.size() - 1, 'e');
  CreateDirectoryPath(deep.c_str());
  std::string image = deep + "\\pkg.qpk";
  ASSERT_TRUE(CopyFileA(PackageFixture("p0.qpk").c_str(), image.c_str(), FALSE));
  CZCabinet cabinet;
  ASSERT_TRUE(cabinet.OpenImage(image.c_str()));
  EXPECT_FALSE(cabinet.ExtractTo(deep.c_str()));
  EXPECT_EQ(std::vector<std::string>{"pkg.qpk"}, ListFiles(deep + "\\"));
}

TEST_F(CabinetTest, StoredNamesThatLeaveTheDestinationAreRefused) {
  std::vector<std::string> names;
  for (std::string line : {ReadFileText(PackageFixture("unsafe_names.txt"))}) {
    size_t start = 0;
    for (size_t end; (end = line.find('\n', start)) != std::string::npos; start = end + 1) {
      std::string name = line.substr(start, end - start);
      if (!name.empty() && name.back() == '\r') name.pop_back();
      names.push_back(name);
    }
  }
  ASSERT_FALSE(names.empty());
  // Destination two levels down, so that a step up still lands in the test's folder.
  std::string destination = m_folder / "a\\b";
  CreateDirectoryPath(destination.c_str());
  for (size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    std::string image = destination + "\\pkg.qpk";
    ASSERT_TRUE(CopyFileA(PackageFixture("unsafe_" + std::to_string(i) + ".qpk").c_str(),
                          image.c_str(), FALSE));
    CZCabinet cabinet;
    ASSERT_TRUE(cabinet.OpenImage(image.c_str()));
    EXPECT_TRUE(cabinet.VerifySignature(PackageKey()));  // signed, and still refused
    EXPECT_FALSE(cabinet.ExtractTo(destination.c_str()));
    EXPECT_EQ((std::vector<std::string>{"a\\", "a\\b\\", "a\\b\\pkg.qpk"}),
              ListFiles(m_folder.path()));
    EXPECT_FALSE(FileExists("C:\\drive.txt"));
    EXPECT_FALSE(FileExists("C:\\rooted.txt"));
  }
}

TEST_F(CabinetTest, ImagePathWithoutBackslashIsRefused) {
  CZCabinet cabinet;
  EXPECT_FALSE(cabinet.OpenImage("p0.qpk"));
  EXPECT_FALSE(cabinet.IsOpen());
}

struct CZRefusedImage {
  const char* name;
  std::function<CZBytes()> make;
};
void PrintTo(const CZRefusedImage& c, std::ostream* os) { *os << c.name; }

class RefusedImageTest : public CabinetTest,
                         public ::testing::WithParamInterface<CZRefusedImage> {};

TEST_P(RefusedImageTest, OpenImageRefusesAndStaysIdle) {
  CZCabinet cabinet;
  EXPECT_FALSE(cabinet.OpenImage(PlaceImage(GetParam().make()).c_str()));
  EXPECT_FALSE(cabinet.IsOpen());
  EXPECT_FALSE(cabinet.ExtractTo(Destination().c_str()));
  EXPECT_EQ(std::vector<std::string>{"pkg.qpk"}, ListFiles(m_folder.path()));
}

INSTANTIATE_TEST_SUITE_P(
    Images, RefusedImageTest,
    ::testing::Values(CZRefusedImage{"TextFile",
                                     [] {
                                       std::string text =
                                           "not a cabinet at all, just some words in a file\r\n";
                                       return CZBytes(text.begin(), text.end());
                                     }},
                      CZRefusedImage{"FormatVersion1_4",
                                     [] {
                                       CZBytes bytes = ReadBytes(PackageFixture("p0.qpk"));
                                       bytes[24] = 4;
                                       return bytes;
                                     }},
                      CZRefusedImage{"FormatVersion2_3",
                                     [] {
                                       CZBytes bytes = ReadBytes(PackageFixture("p0.qpk"));
                                       bytes[25] = 2;
                                       return bytes;
                                     }},
                      CZRefusedImage{"EmptyFile", [] { return CZBytes(); }}),
    [](const ::testing::TestParamInfo<CZRefusedImage>& info) {
      return std::string(info.param.name);
    });

TEST_F(CabinetTest, MissingImageIsRefused) {
  CZCabinet cabinet;
  EXPECT_FALSE(cabinet.OpenImage((m_folder / "absent.qpk").c_str()));
  EXPECT_FALSE(cabinet.IsOpen());
}

TEST_F(CabinetTest, CabinetWithoutSignatureOpensButDoesNotVerify) {
  CZCabinet cabinet;
  ASSERT_TRUE(cabinet.OpenImage(PlaceImage("unsigned.cab").c_str()));
  EXPECT_TRUE(cabinet.IsOpen());
  EXPECT_TRUE(cabinet.SignatureText().empty());
  EXPECT_FALSE(cabinet.VerifySignature(PackageKey()));
}

TEST_F(CabinetTest, ExtractToNeedsAnOpenImageAndAFolder) {
  CZCabinet cabinet;
  EXPECT_FALSE(cabinet.ExtractTo(Destination().c_str()));
  ASSERT_TRUE(cabinet.OpenImage(PlaceImage("p0.qpk").c_str()));
  EXPECT_FALSE(cabinet.ExtractTo(""));
  cabinet.Reset();
  EXPECT_FALSE(cabinet.IsOpen());
  EXPECT_FALSE(cabinet.ExtractTo(Destination().c_str()));
  EXPECT_EQ(std::vector<std::string>{"pkg.qpk"}, ListFiles(m_folder.path()));
}

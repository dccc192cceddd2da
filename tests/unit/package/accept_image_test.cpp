#include "package/accept_image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/handles.h"
#include "common/process_state.h"
#include "common/update_log.h"
#include "package/package_key.h"
#include "package_fixtures.h"
#include "settings/install_records.h"
#include "test_support.h"

namespace {
const char kOld[] = "old installed version\r\n";
constexpr ULONGLONG kServerTime = 0x01D5C0FFEE123450ULL;  // late 2019

class AcceptImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadPackageKey());
    CreateDirectoryA((m_logFolder / "logs").c_str(), nullptr);
    StartUpdateLog(m_logFolder.path().c_str());
  }
  void TearDown() override { StopUpdateLog(); }

  // The log's lines without their date and time.
  std::vector<std::string> LogLines() {
    StopUpdateLog();
    std::string text = ReadFileText(m_logFolder / "logs\\updater.log");
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      lines.push_back(text.substr(start + 18, end + 2 - start - 18));
    }
    return lines;
  }
  std::string PlaceImage(const std::string& fixture) {
    std::string image = m_folder / "zcomp.dl_";
    EXPECT_TRUE(CopyFileA(PackageFixture(fixture).c_str(), image.c_str(), FALSE));
    return image;
  }
  static ULONGLONG LastWrite(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
  }

  CZTempFolder m_folder{"accept"};
  CZTempFolder m_logFolder{"acceptlog"};
  ULONGLONG m_serverTime = kServerTime;
};
}  // namespace

TEST_F(AcceptImageTest, SignedImageIsExtractedStampedAndDeleted) {
  std::string image = PlaceImage("p0.qpk");
  std::string target = m_folder / "zcomp.dll";
  ASSERT_TRUE(ExtractSignedImage(image.c_str(), target.c_str(), m_serverTime));
  EXPECT_FALSE(FileExists(image));
  // Times first: reading the contents may move the access time.
  CZUniqueFile handle(CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(handle.valid());
  FILETIME created, accessed, written;
  ASSERT_TRUE(GetFileTime(handle.get(), &created, &accessed, &written));
  auto value = [](const FILETIME& t) {
    return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  EXPECT_EQ(kServerTime, value(written));
  EXPECT_EQ(kServerTime, value(accessed));
  // Wine on Linux keeps no creation time that can be set: there it is the
  // change time. On Windows all three match.
  if (value(created) != kServerTime) EXPECT_GT(value(created), kServerTime);
  handle.reset();
  for (const CZPackedFile& file : PackedFiles())
    EXPECT_EQ(file.content, ReadFileText(m_folder / file.storedName));
  EXPECT_EQ(std::vector<std::string>{"File signed correctly " + image + "\r\n"}, LogLines());
}

TEST_F(AcceptImageTest, UnsignedImageIsRefusedAndDeleted) {
  std::string image = PlaceImage("unsigned.cab");
  std::string target = m_folder / "zcomp.dll";
  EXPECT_FALSE(ExtractSignedImage(image.c_str(), target.c_str(), m_serverTime));
  EXPECT_FALSE(FileExists(image));
  EXPECT_EQ(std::vector<std::string>{}, ListFiles(m_folder.path()));
  EXPECT_EQ(std::vector<std::string>{"File NOT signed correctly " + image + "\r\n"}, LogLines());
}

TEST_F(AcceptImageTest, ImageThatIsNoCabinetIsRefusedAndDeleted) {
  std::string image = m_folder / "zcomp.dl_";
  ASSERT_TRUE(WriteFileText(image, "<html>404 Not Found</html>"));
  EXPECT_FALSE(ExtractSignedImage(image.c_str(), (m_folder / "zcomp.dll").c_str(), m_serverTime));
  EXPECT_FALSE(FileExists(image));
  EXPECT_EQ(std::vector<std::string>{"File NOT signed correctly " + image + "\r\n"}, LogLines());
}

TEST_F(AcceptImageTest, TargetMissingFromTheImageIsRefusedAndNothingIsInstalled) {
  std::string image = PlaceImage("p1.qpk");
  std::string target = m_folder / "missing.dll";
  EXPECT_FALSE(ExtractSignedImage(image.c_str(), target.c_str(), m_serverTime));
  EXPECT_FALSE(FileExists(image));
  // A genuine package fetched in the wrong place: none of its files land.
  EXPECT_EQ(std::vector<std::string>{}, ListFiles(m_folder.path()));
  EXPECT_EQ((std::vector<std::string>{"File signed correctly " + image + "\r\n",
                                      "Downloaded file " + target + " not exist!\r\n"}),
            LogLines());
}

// A vendor-signed package served for another target, where an old file of
// the target's name already lies: the old file must not pass for the new
// one (stamped, then registered or started), and nothing is committed.
TEST_F(AcceptImageTest, OldFileOfTheTargetsNameDoesNotPassForTheDelivery) {
  std::string image = PlaceImage("p1.qpk");
  std::string target = m_folder / "setup.exe";
  ASSERT_TRUE(WriteFileText(target, kOld));
  const ULONGLONG before = LastWrite(target);
  EXPECT_FALSE(ExtractSignedImage(image.c_str(), target.c_str(), m_serverTime));
  EXPECT_EQ(kOld, ReadFileText(target));
  EXPECT_EQ(before, LastWrite(target));
  EXPECT_EQ(std::vector<std::string>{"setup.exe"}, ListFiles(m_folder.path()));
  EXPECT_EQ((std::vector<std::string>{"File signed correctly " + image + "\r\n",
                                      "Downloaded file " + target + " not exist!\r\n"}),
            LogLines());
}

// The target's name is compared with the stored names case-folded.
TEST_F(AcceptImageTest, TargetNamedInAnotherCaseIsAccepted) {
  std::string image = PlaceImage("p0.qpk");
  std::string target = m_folder / "ZCOMP.DLL";
  EXPECT_TRUE(ExtractSignedImage(image.c_str(), target.c_str(), m_serverTime));
  EXPECT_EQ(kServerTime, LastWrite(target));
}

// A target outside the image's folder is never one of its files.
TEST_F(AcceptImageTest, TargetOutsideTheImagesFolderIsRefused) {
  std::string image = PlaceImage("p0.qpk");
  CZTempFolder elsewhere{"acceptother"};
  std::string target = elsewhere / "zcomp.dll";
  EXPECT_FALSE(ExtractSignedImage(image.c_str(), target.c_str(), m_serverTime));
  EXPECT_FALSE(FileExists(target));
  EXPECT_EQ(std::vector<std::string>{}, ListFiles(m_folder.path()));
}

TEST_F(AcceptImageTest, FileTimeThatCannotBeSetStillAccepts) {
  // A time beyond what the file system can hold.
  m_serverTime = 0xFFFFFFFFFFFFFFF0ULL;
  std::string image = PlaceImage("p0.qpk");
  std::string target = m_folder / "zcomp.dll";
  EXPECT_TRUE(ExtractSignedImage(image.c_str(), target.c_str(), m_serverTime));
  EXPECT_FALSE(FileExists(image));
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("File signed correctly " + image + "\r\n", lines[0]);
  EXPECT_EQ(0u, lines[1].find("Can not set file time " + target + ", ")) << lines[1];
  EXPECT_EQ(" \r\n", lines[1].substr(lines[1].size() - 3));
}

TEST_F(AcceptImageTest, FailedExtractionIsRefusedAndTheOlderFileKeepsItsDate) {
  // Signed, laid out as signed, but its data cannot be inflated: its files
  // cannot all come out. The older copy must not pass as the new one.
  CreateDirectoryA((m_folder / "sub").c_str(), nullptr);
  for (const CZPackedFile& file : PackedFiles())
    ASSERT_TRUE(WriteFileText(m_folder / file.storedName, kOld));
  std::string target = m_folder / "zcomp.dll";
  ULONGLONG before = LastWrite(target);
  std::string image = PlaceImage("damaged.qpk");
  EXPECT_FALSE(ExtractSignedImage(image.c_str(), target.c_str(), m_serverTime));
  EXPECT_FALSE(FileExists(image));
  for (const CZPackedFile& file : PackedFiles())
    EXPECT_EQ(kOld, ReadFileText(m_folder / file.storedName));
  EXPECT_EQ(before, LastWrite(target));
  EXPECT_EQ((std::vector<std::string>{"File signed correctly " + image + "\r\n",
                                      "Can not extract " + image + "\r\n"}),
            LogLines());
}

TEST_F(AcceptImageTest, ImageShorterThanItsDeclaredSizeIsRefusedBeforeExtraction) {
  // Signed over what is left of it: the signature holds, the layout does not.
  CreateDirectoryA((m_folder / "sub").c_str(), nullptr);
  for (const CZPackedFile& file : PackedFiles())
    ASSERT_TRUE(WriteFileText(m_folder / file.storedName, kOld));
  std::vector<std::string> before = ListFiles(m_folder.path());
  std::string image = PlaceImage("truncated.qpk");
  EXPECT_FALSE(ExtractSignedImage(image.c_str(), (m_folder / "zcomp.dll").c_str(), m_serverTime));
  EXPECT_EQ(before, ListFiles(m_folder.path()));
  EXPECT_EQ(
      (std::vector<std::string>{
          "File signed correctly " + image + "\r\n",
          "Package " + image +
              " is not laid out as signed: the image ends before its declared cabinet size " +
              std::to_string(ReadLayout(ReadBytes(PackageFixture("truncated.qpk"))).cabinetSize) +
              "\r\n",
          "Can not extract " + image + "\r\n"}),
      LogLines());
}

TEST_F(AcceptImageTest, ImagePathWithoutBackslashIsRefused) {
  EXPECT_FALSE(ExtractSignedImage("zcomp.dl_", "zcomp.dll", m_serverTime));
  EXPECT_EQ(std::vector<std::string>{"File NOT signed correctly zcomp.dl_\r\n"}, LogLines());
}

// The next run's start: a download cut off in the updater's folder is
// removed and forgotten, with a cut-off commit beside it put back; a record
// naming a file anywhere else (the user's registry is writable by programs
// with fewer rights than an elevated updater) is forgotten and nothing
// there is touched.
TEST_F(AcceptImageTest, CutOffDownloadsAreRemovedOnlyInTheUpdatersFolders) {
  CZTempFolder elsewhere{"elsewhere"};
  const std::string saved = g_workingFolder;
  g_workingFolder = m_folder.path();
  const std::string own = m_folder / "zcomp.dl_";
  const std::string foreign = elsewhere / "precious.doc";
  ASSERT_TRUE(WriteFileText(own, "half a download"));
  ASSERT_TRUE(WriteFileText(m_folder / "zcomp.dll", "new"));
  ASSERT_TRUE(CreateDirectoryA((own + "~").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((own + "~\\o").c_str(), nullptr));
  ASSERT_TRUE(WriteFileText(own + "~\\o\\0", kOld));
  std::string destination = m_folder.path();
  destination.pop_back();
  ASSERT_TRUE(WriteFileText(own + "~\\journal.txt",
                            "zupdater commit\nD|" + destination + "\nF|0|1|32|zcomp.dll\n"));
  ASSERT_TRUE(WriteFileText(foreign, "keep me"));
  AddPendingPackage(own);
  AddPendingPackage(foreign);

  RecoverUnfinishedUpdates();
  g_workingFolder = saved;

  EXPECT_TRUE(PendingPackages().empty());
  EXPECT_FALSE(FileExists(own));
  EXPECT_FALSE(FileExists(own + "~"));
  EXPECT_EQ(kOld, ReadFileText(m_folder / "zcomp.dll"));
  EXPECT_EQ("keep me", ReadFileText(foreign));
  const std::vector<std::string> lines = LogLines();
  EXPECT_EQ(
      (std::vector<std::string>{
          "Update from " + own + " was cut off: 1 installed files put back\r\n",
          "Unfinished update record " + foreign + " is not in the updater's folders, ignored\r\n"}),
      lines);
}

#include "settings/folders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/bounded_text.h"
#include "common/process_state.h"
#include "test_support.h"

namespace {
const char kShellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Puts a WriteCheck.tmp folder beside the test program so the write check
// cannot open its file, and takes it away again.
class CZBlockedWriteCheck {
 public:
  CZBlockedWriteCheck() : m_path(TestProgramFolder() + "WriteCheck.tmp") {
    CreateDirectoryA(m_path.c_str(), nullptr);
  }
  ~CZBlockedWriteCheck() { RemoveDirectoryA(m_path.c_str()); }

 private:
  std::string m_path;
};

// Sets the user's AppData shell folder for one test and restores it.
class CZScopedAppData {
 public:
  explicit CZScopedAppData(const char* value) {
    RegOpenKeyExA(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_ALL_ACCESS, &m_key);
    DWORD size = sizeof(m_saved);
    m_hadValue = RegQueryValueExA(m_key, "AppData", nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(m_saved), &size) == ERROR_SUCCESS;
    if (value == nullptr)
      RegDeleteValueA(m_key, "AppData");
    else
      RegSetValueExA(m_key, "AppData", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                     static_cast<DWORD>(strlen(value) + 1));
  }
  ~CZScopedAppData() {
    if (m_hadValue)
      RegSetValueExA(m_key, "AppData", 0, REG_SZ, reinterpret_cast<const BYTE*>(m_saved),
                     static_cast<DWORD>(strlen(m_saved) + 1));
    else
      RegDeleteValueA(m_key, "AppData");
    RegCloseKey(m_key);
  }

 private:
  HKEY m_key = nullptr;
  char m_saved[MAX_PATH] = "";
  bool m_hadValue = false;
};
}  // namespace

TEST(FoldersTest, WritableFolderIsTheWorkingFolder) {
  EXPECT_EQ(1, CheckFolderWritable());
  EXPECT_FALSE(FileExists(TestProgramFolder() + "WriteCheck.tmp"));
  char folder[kPathSize];
  ASSERT_TRUE(GetWorkingFolder(folder, sizeof(folder)));
  EXPECT_EQ(TestProgramFolder(), folder);
  EXPECT_EQ('\\', folder[strlen(folder) - 1]);
}

TEST(FoldersTest, ExistingWriteCheckFileIsOpenedAndDeleted) {
  ASSERT_TRUE(WriteFileText(TestProgramFolder() + "WriteCheck.tmp", "left over"));
  EXPECT_EQ(1, CheckFolderWritable());
  EXPECT_FALSE(FileExists(TestProgramFolder() + "WriteCheck.tmp"));
}

TEST(FoldersTest, WriteCheckIsComputedOncePerProcess) {
  {
    CZBlockedWriteCheck blocked;
    EXPECT_EQ(0, CheckFolderWritable());
  }
  // The folder is writable again, but the first answer stands.
  EXPECT_EQ(0, CheckFolderWritable());
}

TEST(FoldersTest, UnwritableFolderFallsBackToThePerUserFolder) {
  CZTempFolder appData("appdata");
  std::string appDataPath = appData.path().substr(0, appData.path().size() - 1);
  CZScopedAppData scoped(appDataPath.c_str());
  CZBlockedWriteCheck blocked;
  char folder[kPathSize];
  ASSERT_TRUE(GetWorkingFolder(folder, sizeof(folder)));
  EXPECT_EQ(appDataPath + "\\Zindo!\\Corvane\\", folder);
  EXPECT_TRUE(FileExists(folder));
}

TEST(FoldersTest, NoPerUserFolderIsAFailure) {
  CZScopedAppData scoped(nullptr);
  CZBlockedWriteCheck blocked;
  char folder[kPathSize] = "stale";
  EXPECT_FALSE(GetWorkingFolder(folder, sizeof(folder)));
  EXPECT_STREQ("", folder);
}

TEST(FoldersTest, CreateDirectoryPathMakesEveryMissingParent) {
  CZTempFolder temp("dirs");
  std::string deep = temp / "one\\two\\three";
  CreateDirectoryPath(deep.c_str());
  EXPECT_TRUE(FileExists(temp / "one"));
  EXPECT_TRUE(FileExists(temp / "one\\two"));
  EXPECT_TRUE(FileExists(deep));
  // A trailing backslash and an existing chain are no error.
  CreateDirectoryPath((deep + "\\four\\").c_str());
  EXPECT_TRUE(FileExists(deep + "\\four"));
}

TEST(FoldersTest, CreatePathPrefixesStopsBeforeTheFileName) {
  CZTempFolder temp("prefixes");
  CreatePathPrefixes((temp / "a\\b\\file.dll").c_str());
  EXPECT_TRUE(FileExists(temp / "a\\b"));
  EXPECT_FALSE(FileExists(temp / "a\\b\\file.dll"));
}

struct ResolveCase {
  const char* name;
  ResolveBase base;
  const char* workingFolder;
  const char* applicationFolder;
  const char* expected;
};
// Names the case in test listings by its values, never by its bytes (they
// hold pointers, which differ from one process to the next).
void PrintTo(const ResolveCase& c, std::ostream* os) {
  *os << (c.name != nullptr ? c.name : "(null)") << " from "
      << (c.base == ResolveBase::WorkingFolder ? "working" : "application") << " folder";
}

class ResolveFileNameTest : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveFileNameTest, JoinsBareNamesToTheirBase) {
  const ResolveCase& c = GetParam();
  g_workingFolder = c.workingFolder;
  g_applicationFolder = c.applicationFolder;
  EXPECT_STREQ(c.expected, ResolveFileName(c.name, c.base));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResolveFileNameTest,
    ::testing::Values(ResolveCase{"abc.dll", ResolveBase::WorkingFolder, "C:\\Work\\", "C:\\App\\",
                                  "C:\\Work\\abc.dll"},
                      ResolveCase{"abc.dll", ResolveBase::ApplicationFolder, "C:\\Work\\",
                                  "C:\\App\\", "C:\\App\\abc.dll"},
                      ResolveCase{"D:\\x\\abc.dll", ResolveBase::ApplicationFolder, "C:\\Work\\",
                                  "C:\\App\\", "D:\\x\\abc.dll"},
                      ResolveCase{"host.exe", ResolveBase::ApplicationFolder, "C:\\Work\\", "",
                                  "host.exe"},
                      ResolveCase{nullptr, ResolveBase::WorkingFolder, "C:\\Work\\", "", ""}));

TEST(FoldersTest, ResolvedPathsAreCutAt259Characters) {
  g_workingFolder = "C:\\" + std::string(250, 'w') + "\\";
  std::string resolved = ResolveFileName("abcdefghijkl.dll", ResolveBase::WorkingFolder);
  EXPECT_EQ(259u, resolved.size());
  EXPECT_EQ(g_workingFolder + "abcde", resolved);
  std::string longName = "C:\\" + std::string(300, 'n');
  EXPECT_EQ(259u,
            std::string(ResolveFileName(longName.c_str(), ResolveBase::WorkingFolder)).size());
}

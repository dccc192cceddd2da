#include "driver/updater.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/process_state.h"
#include "net/progress_dialog.h"
#include "settings/folders.h"
#include "test_support.h"

namespace {
const char kHostClassKey[] = "CLSID\\{6B2F0D31-95C4-4E7A-A1D8-3C5E7F902B46}";

std::vector<char> Writable(const std::string& text) {
  std::vector<char> line(text.begin(), text.end());
  line.push_back('\0');
  return line;
}

class UpdaterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_hostExeName.clear();
    g_applicationFolder.clear();
  }
  CZScopedRegTree m_hostClass{HKEY_CLASSES_ROOT, kHostClassKey};
};
}  // namespace

TEST_F(UpdaterTest, CommandLinePiecesAreAppliedInOrder) {
  auto line = Writable(
      "ServerPage=http://127.0.0.1/a.html;MURVO-FOLDER=http://127.0.0.1/m/;;"
      "PATCHKEEPER-FOLDER=http://127.0.0.1/p/;File=ABC.DLL;ServerPage=http://127.0.0.1/b.html");
  CZUpdater updater(nullptr, line.data());
  ASSERT_TRUE(updater.IsReady());
  EXPECT_EQ("http://127.0.0.1/b.html", updater.Settings().ServerPage());
  EXPECT_EQ("http://127.0.0.1/m/", updater.Settings().PackageBaseUrl());
  EXPECT_EQ("http://127.0.0.1/p/zupdater.qpk", updater.Settings().UpdaterPackageUrl());
  EXPECT_EQ("abc.dll", updater.Settings().FileSetting());
}

TEST_F(UpdaterTest, ApplicationNameSetsTheHostClientProcessWide) {
  auto line = Writable("ApplicationName=C:\\Program Files\\Zindo\\Murvo.EXE");
  CZUpdater updater(nullptr, line.data());
  EXPECT_EQ("C:\\Program Files\\Zindo\\", g_applicationFolder);
  EXPECT_EQ("murvo.exe", g_hostExeName);
}

struct RegisteredCase {
  const char* label;
  const char* command;
  const char* exeName;
};

// Names the case in test listings.
void PrintTo(const RegisteredCase& c, std::ostream* os) { *os << c.label; }

class RegisteredHostTest : public UpdaterTest,
                           public ::testing::WithParamInterface<RegisteredCase> {};

// The server value often quotes the path or carries arguments; the name is
// the program's file name all the same, taken as registered (not lowered).
TEST_P(RegisteredHostTest, HostNameComesFromTheClassRegistrationWithoutApplicationName) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT,
                                           (std::string(kHostClassKey) + "\\LocalServer32").c_str(),
                                           0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  const std::string command = GetParam().command;
  RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                 static_cast<DWORD>(command.size() + 1));
  RegCloseKey(key);
  auto line = Writable("");
  CZUpdater updater(nullptr, line.data());
  EXPECT_EQ(GetParam().exeName, g_hostExeName);
  EXPECT_EQ("", g_applicationFolder);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RegisteredHostTest,
    ::testing::Values(
        RegisteredCase{"Plain", "C:\\Program Files\\Zindo\\Murvo.exe", "Murvo.exe"},
        RegisteredCase{"Quoted", "\"C:\\Program Files\\Zindo\\Murvo.exe\"", "Murvo.exe"},
        RegisteredCase{"QuotedWithArgument", "\"C:\\Program Files\\Zindo\\murvo.exe\" /x",
                       "murvo.exe"},
        RegisteredCase{"UnquotedWithArgument", "C:\\Program Files\\Zindo\\murvo.exe -arg",
                       "murvo.exe"},
        RegisteredCase{"ArgumentWithBackslash", "C:\\Zindo\\murvo.exe /log:C:\\x\\y", "murvo.exe"}),
    [](const ::testing::TestParamInfo<RegisteredCase>& info) { return info.param.label; });

TEST_F(UpdaterTest, UnreadableClassRegistrationLeavesTheNameEmpty) {
  auto line = Writable("File=x");
  CZUpdater updater(nullptr, line.data());
  EXPECT_EQ("", g_hostExeName);
}

TEST_F(UpdaterTest, WorkingFolderIsKeptForTheProcess) {
  auto line = Writable("");
  CZUpdater updater(nullptr, line.data());
  EXPECT_EQ(TestProgramFolder(), g_workingFolder);
}

TEST_F(UpdaterTest, ManifestIsDeletedWhenTheRunEnds) {
  std::string manifest = TestProgramFolder() + "components.ini";
  {
    auto line = Writable("");
    CZUpdater updater(nullptr, line.data());
    ASSERT_TRUE(WriteFileText(manifest, "[New Install]\r\n"));
  }
  EXPECT_FALSE(FileExists(manifest));
}

TEST_F(UpdaterTest, ProgressWindowGoesWithTheRunObject) {
  HWND dialog = nullptr;
  {
    auto line = Writable("");
    CZUpdater updater(nullptr, line.data());
    dialog = EnsureProgressDialog();
    ASSERT_NE(nullptr, dialog);
  }
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(nullptr, ProgressDialog());
}

namespace {
// The run's own manifest: components.ini in the working folder, removed
// when the run object goes.
class UpdaterManifestTest : public UpdaterTest {
 protected:
  void TearDown() override { DeleteFileA(m_manifest.c_str()); }
  std::string m_manifest = TestProgramFolder() + "components.ini";
};
}  // namespace

TEST_F(UpdaterManifestTest, ComponentListComesFromTheWorkingFoldersManifest) {
  auto line = Writable("");
  CZUpdater updater(nullptr, line.data());
  EXPECT_EQ(m_manifest, updater.ManifestPath());
  EXPECT_FALSE(updater.LoadComponentManifest());
  ASSERT_TRUE(WriteFileText(m_manifest,
                            "[components]\r\nb.ocx=\r\na.dll=\r\n[a.dll]\r\nRequirement=4\r\n"));
  ASSERT_TRUE(updater.LoadComponentManifest());
  ASSERT_EQ(2u, updater.Components().size());
  EXPECT_EQ("b.ocx", updater.Components()[0].Name());
  EXPECT_EQ("a.dll", updater.Components()[1].Name());
  EXPECT_EQ(4, updater.Components()[1].Requirement());
  EXPECT_EQ(m_manifest, updater.Components()[1].ManifestPath());
}

TEST_F(UpdaterManifestTest, NewInstallEntryComparesTheHostClientInTheWorkingFolder) {
  auto line = Writable("");
  CZUpdater updater(nullptr, line.data());
  // fake_host5.exe beside the tests is version 5.0.1.0.
  g_hostExeName = "fake_host5.exe";
  ASSERT_TRUE(WriteFileText(m_manifest,
                            "[New Install1]\r\nVersion=5,0,1,0\r\nLink=http://h/one.qpk\r\n"
                            "[New Install2]\r\nVersion=5,0,1,1\r\nLink=http://h/two.qpk\r\n"));
  char link[260] = "";
  int end = 0, silent = 1;
  EXPECT_EQ(0, updater.CheckNewInstallEntry(1, link, sizeof(link), &end, &silent));
  EXPECT_STREQ("", link);
  EXPECT_EQ(1, updater.CheckNewInstallEntry(2, link, sizeof(link), &end, &silent));
  EXPECT_STREQ("http://h/two.qpk", link);
  EXPECT_EQ(0, end);
  EXPECT_EQ(0, updater.CheckNewInstallEntry(3, link, sizeof(link), &end, &silent));
  EXPECT_EQ(1, end);
}

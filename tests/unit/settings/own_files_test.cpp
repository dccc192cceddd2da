// The updater's own files and links below the working folder (the test
// program's folder here), as Windows resolves a path.
#include "settings/own_files.h"

#include <gtest/gtest.h>

#include <string>

#include "common/process_state.h"
#include "test_support.h"

namespace {
struct OwnPathCase {
  const char* label;
  const char* path;  // {work}: the working folder
  bool own;
};
void PrintTo(const OwnPathCase& c, std::ostream* os) { *os << c.label; }
class OwnPathTest : public ::testing::TestWithParam<OwnPathCase> {};

std::string InWorkingFolder(const std::string& text) {
  std::string path = text;
  const size_t at = path.find("{work}");
  if (at != std::string::npos) path.replace(at, 6, TestProgramFolder());
  return path;
}
}  // namespace

TEST_P(OwnPathTest, OwnFilesAreKnownUnderAnySpelling) {
  EXPECT_EQ(GetParam().own, IsUpdaterOwnPath(InWorkingFolder(GetParam().path)));
  // The same answer for a name below the folder, as a package's files are
  // checked.
  const std::string path = GetParam().path;
  if (path.compare(0, 6, "{work}") == 0) {
    std::string folder = TestProgramFolder();
    folder.pop_back();
    EXPECT_EQ(GetParam().own, CZOwnPathCheck(folder).IsOwn(path.substr(6)));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OwnPathTest,
    ::testing::Values(OwnPathCase{"Updater", "{work}zupdater.exe", true},
                      OwnPathCase{"OtherCase", "{work}ZUPDATER.EXE", true},
                      OwnPathCase{"TrailingDotAndBlank", "{work}zupdater.exe. ", true},
                      OwnPathCase{"NewUpdater", "{work}ZUDPTEMP.EXE", true},
                      OwnPathCase{"NewUpdatersDownload", "{work}zudptemp.ex_", true},
                      OwnPathCase{"RelayCopy", "{work}zupdater.new", true},
                      OwnPathCase{"Manifest", "{work}components.ini", true},
                      OwnPathCase{"RegistryScript", "{work}update.reg", true},
                      OwnPathCase{"RegistryPackage", "{work}update_reg.qpk", true},
                      OwnPathCase{"WriteCheck", "{work}WriteCheck.tmp", true},
                      OwnPathCase{"LogFolder", "{work}logs", true},
                      OwnPathCase{"InTheLogFolder", "{work}logs\\updater.log", true},
                      OwnPathCase{"ClimbingBackIn", "{work}sub\\..\\zupdater.exe", true},
                      OwnPathCase{"ForwardSlash", "{work}sub/../zupdater.exe", true},
                      // The same names elsewhere are other files.
                      OwnPathCase{"InASubfolder", "{work}sub\\zupdater.exe", false},
                      OwnPathCase{"Elsewhere", "C:\\other\\zupdater.exe", false},
                      OwnPathCase{"AComponent", "{work}za.dll", false},
                      OwnPathCase{"SimilarName", "{work}zupdater.exe.bak", false}),
    [](const ::testing::TestParamInfo<OwnPathCase>& info) {
      return std::string(info.param.label);
    });

// An 8.3 short name is the same file.
TEST(OwnPathShortNameTest, ShortNameOfAnOwnFileIsOwn) {
  const std::string path = TestProgramFolder() + "update_reg.qpk";
  ASSERT_TRUE(WriteFileText(path, "x"));
  char shortPath[MAX_PATH] = "";
  const DWORD length = GetShortPathNameA(path.c_str(), shortPath, sizeof(shortPath));
  const bool own = IsUpdaterOwnPath(shortPath);
  DeleteFileA(path.c_str());
  ASSERT_NE(0u, length);
  if (_stricmp(shortPath, path.c_str()) == 0) GTEST_SKIP() << "no short names here";
  EXPECT_TRUE(own) << shortPath;
}

// linked_folder beside the test program is a link the build made to a
// folder outside it: anything written through it would land there.
TEST(PathThroughLinkTest, LinksBelowTheWorkingFolderAreFound) {
  const std::string work = TestProgramFolder();
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((work + "linked_folder").c_str()))
      << "the build makes this link";
  EXPECT_TRUE(IsPathThroughLink(work + "linked_folder"));
  EXPECT_TRUE(IsPathThroughLink(work + "linked_folder\\a.dll"));
  EXPECT_TRUE(IsPathThroughLink(work + "linked_folder\\deeper\\a.dll"));
  EXPECT_FALSE(IsPathThroughLink(work + "a.dll"));
  EXPECT_FALSE(IsPathThroughLink(work + "plain\\a.dll"));
}

// Where a record of an unfinished download may point for the next run to
// act on it: the updater's own folders, the system folder, and a release
// folder of the updater's own in the temporary folder; nowhere else.
TEST(UpdaterDownloadPathTest, OnlyTheUpdatersFoldersAreActedOn) {
  const std::string saved = g_workingFolder;
  g_workingFolder = TestProgramFolder();
  char system[MAX_PATH] = "", temp[MAX_PATH] = "";
  ASSERT_NE(0u, GetSystemDirectoryA(system, sizeof(system)));
  ASSERT_NE(0u, GetTempPathA(sizeof(temp), temp));
  const std::string work = TestProgramFolder(), sys = std::string(system) + "\\", tmp = temp;
  const struct {
    std::string path;
    bool own;
  } cases[] = {
      {work + "zsilent.dl_", true},
      {work + "plugins\\zoffer.dl_", true},
      {work + "update_reg.qpk", true},
      {sys + "zsys.dl_", true},
      {tmp + "zupdater-0badf00d\\zsetup.qpk", true},
      {work + "..\\zsilent.dl_", false},
      {sys + "drivers\\x.dl_", false},
      {tmp + "zsetup.qpk", false},
      {tmp + "other\\zsetup.qpk", false},
      {tmp + "zupdater-0badf00d\\deeper\\zsetup.qpk", false},
      {"C:\\precious.doc", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.own, IsUpdaterDownloadPath(c.path)) << c.path;
  g_workingFolder = saved;
}

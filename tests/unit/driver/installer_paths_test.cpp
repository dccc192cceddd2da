#include "driver/installer_paths.h"

#include <gtest/gtest.h>

#include <string>

#include "common/bounded_text.h"
#include "common/process_state.h"
#include "test_support.h"

namespace {
struct PathCase {
  const char* name;
  const char* folder;
  const char* link;
  const char* package;  // null: refused
  const char* installer;
};
void PrintTo(const PathCase& c, std::ostream* os) { *os << c.name; }

class InstallerPathsTest : public ::testing::TestWithParam<PathCase> {};
}  // namespace

TEST_P(InstallerPathsTest, PackageAndInstallerStayInTheFolder) {
  const PathCase& c = GetParam();
  char package[kPathSize] = "unset", installer[kPathSize] = "unset";
  ASSERT_EQ(c.package != nullptr, BuildInstallerPaths(c.folder, c.link, package, installer));
  if (c.package == nullptr) return;
  EXPECT_STREQ(c.package, package);
  EXPECT_STREQ(c.installer, installer);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InstallerPathsTest,
    ::testing::Values(
        PathCase{"LastSegment", "C:\\TEMP\\", "http://h/rel/setup.qpk", "C:\\TEMP\\setup.qpk",
                 "C:\\TEMP\\setup.exe"},
        PathCase{"NoSlash", "C:\\TEMP\\", "zcorv", "C:\\TEMP\\zcorv.qpk", "C:\\TEMP\\zcorv.exe"},
        PathCase{"EndsWithSlash", "C:\\TEMP\\", "http://h/rel/", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        PathCase{"BackslashClimbs", "C:\\TEMP\\", "http://h/..\\..\\Windows\\evil.qpk",
                 "C:\\TEMP\\zcorv.qpk", "C:\\TEMP\\zcorv.exe"},
        PathCase{"DriveInName", "C:\\TEMP\\", "http://h/C:evil.qpk", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        PathCase{"DotsOnly", "C:\\TEMP\\", "http://h/a/..", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        // A dot in a folder name is not the file's extension: a name without
        // one would make the package its own installer.
        PathCase{"DotInFolderOnly", "C:\\Users\\j.doe\\Temp\\", "http://h/setup",
                 "C:\\Users\\j.doe\\Temp\\zcorv.qpk", "C:\\Users\\j.doe\\Temp\\zcorv.exe"},
        PathCase{"InstallerName", "C:\\TEMP\\", "http://h/rel/setup.exe", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        PathCase{"InstallerNameInCapitals", "C:\\TEMP\\", "http://h/rel/SETUP.EXE",
                 "C:\\TEMP\\zcorv.qpk", "C:\\TEMP\\zcorv.exe"},
        PathCase{"TrailingDot", "C:\\TEMP\\", "http://h/rel/setup.qpk.", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        PathCase{"TrailingBlank", "C:\\TEMP\\", "http://h/rel/setup.qpk ", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        PathCase{"ExtensionOnly", "C:\\TEMP\\", "http://h/rel/.qpk", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        PathCase{"ExeInsideTheName", "C:\\TEMP\\", "http://h/rel/setup.exe.qpk",
                 "C:\\TEMP\\setup.exe.qpk", "C:\\TEMP\\setup.exe.exe"},
        PathCase{"PipeAndDots", "C:\\TEMP\\", "http://h/x..y.qpk", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        // Names Windows opens as devices in any folder: the package's bytes
        // would go to a port or the console.
        PathCase{"SerialPort", "C:\\TEMP\\", "http://h/rel/COM1.qpk", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        PathCase{"ConsoleAnyCase", "C:\\TEMP\\", "http://h/rel/con.qpk", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        PathCase{"NulWithoutExtension", "C:\\TEMP\\", "http://h/nul", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        // Characters no file name may hold: such a name fails on every run.
        PathCase{"Question", "C:\\TEMP\\", "http://h/rel/a?.qpk", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        PathCase{"Star", "C:\\TEMP\\", "http://h/rel/a*.qpk", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        PathCase{"Quote", "C:\\TEMP\\", "http://h/rel/a\"b.qpk", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        PathCase{"Angles", "C:\\TEMP\\", "http://h/rel/<a>.qpk", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        PathCase{"Pipe", "C:\\TEMP\\", "http://h/rel/a|b.qpk", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        PathCase{"ControlCharacter", "C:\\TEMP\\", "http://h/rel/a\tb.qpk", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        // The updater's own names, as package or as the installer inside: a
        // release never starts an updater.
        PathCase{"UpdatersTemporaryCopy", "C:\\TEMP\\", "http://h/rel/ZUDPTEMP.qpk",
                 "C:\\TEMP\\zcorv.qpk", "C:\\TEMP\\zcorv.exe"},
        PathCase{"UpdaterItself", "C:\\TEMP\\", "http://h/rel/zupdater.qpk", "C:\\TEMP\\zcorv.qpk",
                 "C:\\TEMP\\zcorv.exe"},
        PathCase{"RegistryScriptPackage", "C:\\TEMP\\", "http://h/rel/update_reg.qpk",
                 "C:\\TEMP\\zcorv.qpk", "C:\\TEMP\\zcorv.exe"},
        // A name that only starts like a device is a file.
        PathCase{"DeviceLikeName", "C:\\TEMP\\", "http://h/console.qpk", "C:\\TEMP\\console.qpk",
                 "C:\\TEMP\\console.exe"}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

TEST(InstallerPathsTest, PathThatWouldBeCutIsRefused) {
  std::string folder = "C:\\" + std::string(240, 'f') + "\\";
  char package[kPathSize], installer[kPathSize];
  EXPECT_FALSE(BuildInstallerPaths(folder.c_str(), "http://h/a-long-installer-name.qpk", package,
                                   installer));
}

TEST(InstallerCommandTest, QuotedWithTheSilentSwitchWhenAsked) {
  char command[300];
  BuildInstallerCommand("C:\\TEMP\\setup.exe", true, command, sizeof(command));
  EXPECT_STREQ("\"C:\\TEMP\\setup.exe\" /s", command);
  BuildInstallerCommand("C:\\TEMP\\setup.exe", false, command, sizeof(command));
  EXPECT_STREQ("\"C:\\TEMP\\setup.exe\"", command);
}

TEST(InstallerFolderTest, TemporaryFolderThatIsAFileGivesTheWorkingFolder) {
  CZTempFolder scratch("instfolder");
  std::string file = scratch / "notafolder";
  ASSERT_TRUE(WriteFileText(file, "x"));
  char saved[kPathSize] = "";
  GetEnvironmentVariableA("TMP", saved, sizeof(saved));
  SetEnvironmentVariableA("TMP", file.c_str());
  std::string working = g_workingFolder;
  g_workingFolder = "C:\\work\\";
  char folder[kPathSize];
  ChooseInstallerFolder(folder);
  SetEnvironmentVariableA("TMP", saved);
  g_workingFolder = working;
  EXPECT_STREQ("C:\\work\\", folder);
}

// Each run gets a folder of its own in the temporary folder, made afresh;
// the folder of an earlier run goes, another program's files stay.
TEST(InstallerFolderTest, EachRunGetsAFreshFolderOfItsOwn) {
  CZTempFolder scratch("instfolder");
  std::string bare = scratch.path().substr(0, scratch.path().size() - 1);
  ASSERT_TRUE(WriteFileText(scratch / "notes.exe", "another program's"));
  char saved[kPathSize] = "";
  GetEnvironmentVariableA("TMP", saved, sizeof(saved));
  SetEnvironmentVariableA("TMP", bare.c_str());
  char first[kPathSize], second[kPathSize];
  ChooseInstallerFolder(first);
  const bool firstMade = WriteFileText(std::string(first) + "setup.exe", "installer");
  ChooseInstallerFolder(second);
  SetEnvironmentVariableA("TMP", saved);
  const std::string prefix = scratch.path() + "zupdater-";
  for (const std::string folder : {std::string(first), std::string(second)}) {
    EXPECT_EQ(prefix, folder.substr(0, prefix.size())) << folder;
    EXPECT_EQ('\\', folder.back()) << folder;
  }
  EXPECT_TRUE(firstMade);
  EXPECT_STRNE(first, second);
  EXPECT_FALSE(FileExists(first)) << "the earlier run's folder stays";
  EXPECT_TRUE(FileExists(second));
  EXPECT_EQ("another program's", ReadFileText(scratch / "notes.exe"));
}

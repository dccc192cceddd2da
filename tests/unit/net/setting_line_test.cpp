#include "net/setting_line.h"

#include <gtest/gtest.h>

#include <string>

struct LineCase {
  const char* label;
  std::string line;
  bool accepted;
  SettingKey key;
  std::string value;
};
// Names the case in test listings.
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.label; }

class SettingLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(SettingLineTest, ParsesAsExpected) {
  const LineCase& c = GetParam();
  SettingLine parsed{SettingKey::File, "untouched"};
  EXPECT_EQ(c.accepted, ParseSettingLine(c.line.c_str(), &parsed));
  if (c.accepted) {
    EXPECT_EQ(c.key, parsed.key);
    EXPECT_EQ(c.value, parsed.value);
  } else {
    EXPECT_EQ("untouched", parsed.value);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SettingLineTest,
    ::testing::Values(
        LineCase{"Plain", "ServerPage=http://h/p.html", true, SettingKey::ServerPage,
                 "http://h/p.html"},
        LineCase{"WhiteSpaceAround", " \t MURVO-FOLDER=http://h/m/ \r\n", true,
                 SettingKey::MurvoFolder, "http://h/m/"},
        LineCase{"KeyCase", "patchkeeper-folder=http://h/p/", true, SettingKey::PatchkeeperFolder,
                 "http://h/p/"},
        LineCase{"MixedCase", "aPPLICATIONnAME=C:\\a\\b.exe", true, SettingKey::ApplicationName,
                 "C:\\a\\b.exe"},
        LineCase{"ValueKeepsEquals", "IPAddrLookup=a=b=c", true, SettingKey::IPAddrLookup, "a=b=c"},
        LineCase{"EmptyValue", "HttpServers=", true, SettingKey::HttpServers, ""},
        LineCase{"SpaceInValueKept", "SocketServers=a b ; c", true, SettingKey::SocketServers,
                 "a b ; c"},
        LineCase{"SpaceBeforeEquals", "MURVO-FOLDER =http://h/m/", false, SettingKey::File, ""},
        LineCase{"NoEquals", "MURVO-FOLDER http://h/m/", false, SettingKey::File, ""},
        LineCase{"Empty", "", false, SettingKey::File, ""},
        LineCase{"OnlySpace", "   \r\n", false, SettingKey::File, ""},
        LineCase{"UnknownKey", "Colour=blue", false, SettingKey::File, ""},
        LineCase{"KeyPrefixOnly", "Files=x", false, SettingKey::File, ""},
        LineCase{"Cut1023", "File=" + std::string(1100, 'a'), true, SettingKey::File,
                 std::string(1018, 'a')},
        LineCase{"EqualsPastTheCut", std::string(1023, ' ') + "File=x", false, SettingKey::File,
                 ""}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return info.param.label; });

struct AppNameCase {
  const char* label;
  std::string value;
  bool accepted;
  std::string folder;
  std::string exeName;
};
// Names the case in test listings.
void PrintTo(const AppNameCase& c, std::ostream* os) { *os << c.label; }

class ApplicationNameTest : public ::testing::TestWithParam<AppNameCase> {};

TEST_P(ApplicationNameTest, SplitsFolderAndLowerExeName) {
  const AppNameCase& c = GetParam();
  std::string folder = "f", exe = "e";
  EXPECT_EQ(c.accepted, SplitApplicationName(c.value, &folder, &exe));
  EXPECT_EQ(c.folder, folder);
  EXPECT_EQ(c.exeName, exe);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ApplicationNameTest,
    ::testing::Values(AppNameCase{"Backslashes", "C:\\Program Files\\Zindo\\Murvo.EXE", true,
                                  "C:\\Program Files\\Zindo\\", "murvo.exe"},
                      AppNameCase{"ForwardSlashesOnly", "C:/Zindo/Murvo.exe", true, "C:/Zindo\\",
                                  "murvo.exe"},
                      AppNameCase{"BackslashWinsOverSlash", "C:\\Zindo/x\\sub/Murvo.exe", true,
                                  "C:\\Zindo/x\\", "sub/murvo.exe"},
                      AppNameCase{"NoSeparator", "Murvo.exe", false, "f", "e"}),
    [](const ::testing::TestParamInfo<AppNameCase>& info) { return info.param.label; });

TEST(FolderUrlTest, UpdaterPackageUrlCarriesTheLocale) {
  EXPECT_EQ("http://h/p/zupdater.qpk", BuildUpdaterPackageUrl("http://h/p/", ""));
  EXPECT_EQ("http://h/p/us/zupdater.qpk", BuildUpdaterPackageUrl("http://h/p/", "us"));
}

TEST(FolderUrlTest, PackageBaseUrlJoinsLocaleCobrandAndLigans) {
  EXPECT_EQ("http://h/m/", BuildPackageBaseUrl("http://h/m/", "", "", false));
  EXPECT_EQ("http://h/m/us/ligans/", BuildPackageBaseUrl("http://h/m/", "us", "", true));
  EXPECT_EQ("http://h/m/ligans/", BuildPackageBaseUrl("http://h/m/", "", "", true));
  EXPECT_EQ("http://h/m/us/acme/ligans/", BuildPackageBaseUrl("http://h/m/", "us", "acme", true));
}

TEST(FolderUrlTest, PackageBaseUrlIsCutToItsRoom) {
  // Room for the value, the cobrand and 15 characters more.
  std::string url = BuildPackageBaseUrl("http://h/m/", "verylonglocale", "co", true);
  EXPECT_EQ(std::string("http://h/m/").size() + 2 + 15, url.size());
  EXPECT_EQ("http://h/m/verylonglocale/co", url);
}

struct LocalPathCase {
  const char* label;
  std::string value;
  bool local;
};

// Names the case in test listings.
void PrintTo(const LocalPathCase& c, std::ostream* os) { *os << c.label; }

class LocalAbsolutePathTest : public ::testing::TestWithParam<LocalPathCase> {};

TEST_P(LocalAbsolutePathTest, OnlyDriveColonBackslashWithoutDotDot) {
  EXPECT_EQ(GetParam().local, IsLocalAbsolutePath(GetParam().value));
}

INSTANTIATE_TEST_SUITE_P(
    Values, LocalAbsolutePathTest,
    ::testing::Values(LocalPathCase{"Plain", "C:\\Program Files\\Zindo\\murvo.exe", true},
                      LocalPathCase{"LowerDrive", "d:\\murvo.exe", true},
                      LocalPathCase{"DotsInNames", "C:\\a..b\\..murvo.exe", true},
                      LocalPathCase{"Share", "\\\\host\\share\\x.exe", false},
                      LocalPathCase{"DevicePath", "\\\\?\\C:\\x.exe", false},
                      LocalPathCase{"RootedWithoutDrive", "\\Windows\\x.exe", false},
                      LocalPathCase{"DriveRelative", "C:x.exe", false},
                      LocalPathCase{"ForwardSlashes", "C:/Zindo/murvo.exe", false},
                      LocalPathCase{"Relative", "Zindo\\murvo.exe", false},
                      LocalPathCase{"DotDot", "C:\\Zindo\\..\\..\\evil.exe", false},
                      LocalPathCase{"DotDotBehindSlash", "C:\\Zindo/../evil.exe", false},
                      LocalPathCase{"DotDotAtTheEnd", "C:\\Zindo\\..", false},
                      LocalPathCase{"DotsAndSpacesStep", "C:\\Zindo\\. .\\x.exe", false},
                      LocalPathCase{"ThreeDotsStep", "C:\\Zindo\\...\\x.exe", false},
                      LocalPathCase{"NoFileName", "C:\\Zindo\\", false},
                      LocalPathCase{"DriveOnly", "C:\\", false},
                      LocalPathCase{"Quote", "C:\\Windows\\cmd.exe\" /c x", false},
                      LocalPathCase{"Stream", "C:\\Zindo\\murvo.exe:evil", false},
                      LocalPathCase{"ControlCharacter", "C:\\Zindo\\mur\tvo.exe", false},
                      LocalPathCase{"DigitAsDrive", "1:\\murvo.exe", false},
                      LocalPathCase{"Empty", "", false}),
    [](const ::testing::TestParamInfo<LocalPathCase>& info) { return info.param.label; });

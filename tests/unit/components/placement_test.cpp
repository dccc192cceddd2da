// Where a component's file lives and whether the host client's view
// setting lets it be updated.
#include <cstring>
#include <string>
#include <vector>

#include "component_fixture.h"
#include "components/component_manifest.h"
#include "net/http_session.h"
#include "reg_values.h"
#include "settings/reg_key.h"

namespace {
const char kClsid[] = "{5E7A1C44-0B2D-4F6E-9A31-7C20D8E4B915}";
const char kClassKey[] = "CLSID\\{5E7A1C44-0B2D-4F6E-9A31-7C20D8E4B915}";
const char kServerKey[] = "CLSID\\{5E7A1C44-0B2D-4F6E-9A31-7C20D8E4B915}\\InprocServer32";
const char kViewKey[] = "SOFTWARE\\Zindo\\Murvo\\View\\{5E7A1C44-0B2D-4F6E-9A31-7C20D8E4B915}";

class PlacementTest : public CZManifestTest {
 protected:
  // The one component of a manifest whose section body is given.
  std::vector<CZComponent> Load(const std::string& name, const std::string& section) {
    WriteManifest("[components]\n" + name + "=\n[" + name + "]\n" + section);
    std::vector<CZComponent> list;
    EXPECT_TRUE(LoadComponentManifest(m_manifest.c_str(), &list));
    return list;
  }
  std::string PlaceOf(const std::string& section) {
    std::vector<CZComponent> list = Load("a.dll", section);
    return list.size() == 1 ? list[0].InstallPath() : "<refused>";
  }

  CZScopedRegTree m_class{HKEY_CLASSES_ROOT, kClassKey};
  CZScopedRegTree m_view{HKEY_CURRENT_USER, "SOFTWARE\\Zindo\\Murvo"};
};

struct RegisteredCase {
  const char* label;
  const char* value;  // InprocServer32 default value; null: no registration
  // {env} stands for ZU_PLACE_TEST (the working folder without its closing
  // backslash), {work} for the working folder, {sys} for the system folder.
  const char* place;
  bool refusalLogged;  // the registered path was there and is named as not used
};
// Names the case in test listings.
void PrintTo(const RegisteredCase& c, std::ostream* os) { *os << c.label; }

class RegisteredPlaceTest : public PlacementTest,
                            public ::testing::WithParamInterface<RegisteredCase> {};

std::string Expand(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}
std::string ExpandPlaces(const std::string& text, const std::string& env) {
  return Expand(Expand(Expand(text, "{env}", env), "{work}", TestProgramFolder()), "{sys}",
                SystemFolder());
}
}  // namespace

// The manifest may name any class on the machine: its registered file is
// used only when it is the component's own, in the client's folders.
TEST_P(RegisteredPlaceTest, ComServerIsUpdatedWhereItIsRegisteredOnlyWhenItIsItsOwn) {
  const RegisteredCase& c = GetParam();
  std::string env = TestProgramFolder();
  env.pop_back();
  SetEnvironmentVariableA("ZU_PLACE_TEST", env.c_str());
  const std::string registered = c.value != nullptr ? ExpandPlaces(c.value, "%ZU_PLACE_TEST%") : "";
  if (c.value != nullptr) {
    ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, kServerKey, "", registered.c_str()));
  }
  EXPECT_EQ(ExpandPlaces(c.place, env),
            PlaceOf(std::string("clsid=") + kClsid + "\nDestDir=1,sub\\\n"));
  const bool logged = LogText().find("Component a.dll: registered path ") != std::string::npos;
  EXPECT_EQ(c.refusalLogged, logged) << LogText();
  SetEnvironmentVariableA("ZU_PLACE_TEST", nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegisteredPlaceTest,
    ::testing::Values(
        RegisteredCase{"WorkingFolder", "{work}a.dll", "{work}a.dll", false},
        RegisteredCase{"WorkingSubfolder", "{work}plug\\a.dll", "{work}plug\\a.dll", false},
        RegisteredCase{"NameInOtherCase", "{work}plug\\A.DLL", "{work}plug\\A.DLL", false},
        RegisteredCase{"Quoted", "\"{work}a.dll\"", "{work}a.dll", false},
        RegisteredCase{"EnvironmentReference", "{env}\\a.dll", "{env}\\a.dll", false},
        RegisteredCase{"QuotedEnvironmentReference", "\"{env}\\a.dll\"", "{env}\\a.dll", false},
        RegisteredCase{"StepsDownAndBackUp", "{work}plug\\..\\a.dll", "{work}plug\\..\\a.dll",
                       false},
        RegisteredCase{"SystemFolder", "{sys}\\a.dll", "{sys}\\a.dll", false},
        // Another program's file, or another file: the default location.
        RegisteredCase{"OtherProgramsFolder", "C:\\Program Files\\Other\\a.dll", "{work}sub\\a.dll",
                       true},
        RegisteredCase{"OtherFileName", "{work}x.dll", "{work}sub\\a.dll", true},
        RegisteredCase{"NameOnlyEndsTheSame", "{work}xa.dll", "{work}sub\\a.dll", true},
        RegisteredCase{"ClimbsOut", "{work}..\\a.dll", "{work}sub\\a.dll", true},
        RegisteredCase{"SiblingWithTheSamePrefix", "{env}-other\\a.dll", "{work}sub\\a.dll", true},
        RegisteredCase{"BelowTheSystemFolder", "{sys}\\drivers\\a.dll", "{work}sub\\a.dll", true},
        RegisteredCase{"BareName", "a.dll", "{work}sub\\a.dll", true},
        RegisteredCase{"OneQuoteOnly", "\"{work}a.dll", "{work}sub\\a.dll", true},
        RegisteredCase{"UnknownReference", "%ZU_NO_SUCH_VAR%\\a.dll", "{work}sub\\a.dll", true},
        // Names no file: the default location, nothing to name.
        RegisteredCase{"EmptyValue", "", "{work}sub\\a.dll", false},
        RegisteredCase{"EmptyQuotes", "\"\"", "{work}sub\\a.dll", false},
        RegisteredCase{"NotRegistered", nullptr, "{work}sub\\a.dll", false}),
    [](const ::testing::TestParamInfo<RegisteredCase>& info) {
      return std::string(info.param.label);
    });

// SysWOW64 is the system folder of a 32-bit program on 64-bit Windows: its
// COM servers there are registered with that name. To a 64-bit program it
// is another program's folder.
TEST_F(PlacementTest, Wow64SystemFolderIsOwnOnlyUnderWow64) {
  char wow64Folder[MAX_PATH] = "";
  if (GetSystemWow64DirectoryA(wow64Folder, sizeof(wow64Folder)) == 0)
    GTEST_SKIP() << "this Windows has no SysWOW64 folder";
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  const std::string folder = wow64Folder;
  const std::string fallback = TestProgramFolder() + "sub\\a.dll";
  const struct {
    std::string registered, place;
  } cases[] = {
      {folder + "\\a.dll", wow64 ? folder + "\\a.dll" : fallback},
      {folder + "\\drivers\\a.dll", fallback},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, kServerKey, "", c.registered.c_str()));
    EXPECT_EQ(c.place, PlaceOf(std::string("clsid=") + kClsid + "\nDestDir=1,sub\\\n"))
        << c.registered;
  }
}

TEST_F(PlacementTest, SystemFolderWhateverTheClsid) {
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, kServerKey, "", "C:\\elsewhere\\x.dll"));
  EXPECT_EQ(SystemFolder() + "\\a.dll", PlaceOf(std::string("clsid=") + kClsid + "\nDestDir=2\n"));
  EXPECT_EQ(SystemFolder() + "\\sub\\a.dll", PlaceOf("DestDir=2, sub\\\n"));
}

// The updater's own files are never a component's, however the manifest
// spells them; nor is a place below the updater's log folder.
TEST_F(PlacementTest, UpdatersOwnFilesAreRefused) {
  for (const char* name : {"zupdater.exe", "ZUDPTEMP.EXE", "zudptemp.exe.", "components.ini",
                           "update.reg", "update_reg.qpk", "WriteCheck.tmp", "logs",
                           "ZUDPTEMP.EXX" /* its download would be ZUDPTEMP.EX_ */}) {
    WriteManifest(std::string("[components]\n") + name + "=\n[" + name + "]\nUrl=x\n");
    std::vector<CZComponent> list;
    LoadComponentManifest(m_manifest.c_str(), &list);
    EXPECT_TRUE(list.empty()) << name;
  }
  EXPECT_EQ("<refused>", PlaceOf("DestDir=1,logs\\\n"));
  EXPECT_EQ("<refused>", PlaceOf("DestDir=1,x\\..\\LOGS\\\n"));
}

// A component whose path, once Windows resolves it, is one of the updater's
// own files (by an 8.3 short name): refused, and the log says so.
TEST_F(PlacementTest, ShortNameOfAnOwnFileIsRefused) {
  const std::string updater = TestProgramFolder() + "update_reg.qpk";
  const bool made = !FileExists(updater);
  if (made) ASSERT_TRUE(WriteFileText(updater, "updater"));
  char shortPath[MAX_PATH] = "";
  GetShortPathNameA(updater.c_str(), shortPath, sizeof(shortPath));
  std::string shortName = strrchr(shortPath, '\\') + 1;
  std::vector<CZComponent> list;
  if (_stricmp(shortName.c_str(), "update_reg.qpk") != 0) {
    WriteManifest("[components]\n" + shortName + "=\n[" + shortName + "]\nUrl=x\n");
    LoadComponentManifest(m_manifest.c_str(), &list);
  }
  if (made) DeleteFileA(updater.c_str());
  if (_stricmp(shortName.c_str(), "update_reg.qpk") == 0) GTEST_SKIP() << "no short names here";
  EXPECT_TRUE(list.empty()) << shortName;
  EXPECT_NE(std::string::npos, LogText().find("is the updater's own file, refused")) << LogText();
}

// A subfolder that is a link (linked_folder, which the build makes beside
// the tests) would write wherever it leads: refused, and the log says so.
TEST_F(PlacementTest, SubfolderThatIsALinkIsRefused) {
  EXPECT_EQ("<refused>", PlaceOf("DestDir=1,linked_folder\\\n"));
  EXPECT_NE(std::string::npos, LogText().find("leads through a link, refused")) << LogText();
}

TEST_F(PlacementTest, WorkingFolderWithoutClsid) {
  EXPECT_EQ(TestProgramFolder() + "a.dll", PlaceOf(""));
  EXPECT_EQ(TestProgramFolder() + "x\\a.dll", PlaceOf("DestDir=1,   x\\\n"));
  // The subfolder is joined as it stands: no separator is added.
  EXPECT_EQ(TestProgramFolder() + "xa.dll", PlaceOf("DestDir=1,x\n"));
}

TEST_F(PlacementTest, ExpansionThatDoesNotFitAPathFallsBackToTheDefault) {
  SetEnvironmentVariableA("ZU_PLACE_LONG", std::string(300, 'p').c_str());
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, kServerKey, "", "C:\\%ZU_PLACE_LONG%\\x.dll"));
  EXPECT_EQ(TestProgramFolder() + "a.dll", PlaceOf(std::string("clsid=") + kClsid + "\n"));
  SetEnvironmentVariableA("ZU_PLACE_LONG", nullptr);
}

namespace {
struct ViewCase {
  const char* label;
  bool clsid;
  int requirement;
  bool viewKey;
  DWORD showView;  // ~0: no ShowView value
  int flag;
};
// Names the case in test listings.
void PrintTo(const ViewCase& c, std::ostream* os) { *os << c.label; }

class ViewFlagTest : public PlacementTest, public ::testing::WithParamInterface<ViewCase> {};
}  // namespace

TEST_P(ViewFlagTest, HostClientsViewSwitch) {
  const ViewCase& c = GetParam();
  if (c.viewKey) {
    CZRegKey view;
    ASSERT_EQ(0, view.Create(kViewKey, HKEY_CURRENT_USER));
    if (c.showView != ~0u) {
      ASSERT_EQ(0, view.SetDword("ShowView", c.showView));
    }
  }
  std::string section = "Requirement=" + std::to_string(c.requirement) + "\n";
  if (c.clsid) section += std::string("clsid=") + kClsid + "\n";
  std::vector<CZComponent> list = Load("v.dll", section);
  ASSERT_EQ(1u, list.size());
  EXPECT_EQ(c.flag, list[0].ViewEnabled());

  // A missing file needs an update without any request: eligibility then
  // follows the view flag alone.
  CZHttpSession net;
  list[0].CheckNeedsUpdate(net);
  EXPECT_EQ(1, list[0].NeedsUpdate());
  EXPECT_EQ(c.flag != 0, list[0].IsEligible());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ViewFlagTest,
    ::testing::Values(ViewCase{"NoKey", true, 2, false, ~0u, 1},
                      ViewCase{"KeyWithoutValue", true, 2, true, ~0u, 0},
                      ViewCase{"ValueZero", true, 2, true, 0, 0},
                      ViewCase{"ValueOne", true, 2, true, 1, 1},
                      ViewCase{"OtherValueIsKept", true, 3, true, 5, 5},
                      ViewCase{"RequirementOneIgnoresTheKey", true, 1, true, 0, 1},
                      ViewCase{"NoClsidIgnoresTheKey", false, 2, true, 0, 1}),
    [](const ::testing::TestParamInfo<ViewCase>& info) { return std::string(info.param.label); });

// Where a component's file lives and whether the host client's view
// setting lets it be updated.
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
  const char* place;  // {env} stands for ZU_PLACE_TEST, {work} for the working folder
};
// Names the case in test listings.
void PrintTo(const RegisteredCase& c, std::ostream* os) { *os << c.label; }

class RegisteredPlaceTest : public PlacementTest,
                            public ::testing::WithParamInterface<RegisteredCase> {};

std::string Expand(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}
}  // namespace

TEST_P(RegisteredPlaceTest, ComServerIsUpdatedWhereItIsRegistered) {
  const RegisteredCase& c = GetParam();
  SetEnvironmentVariableA("ZU_PLACE_TEST", "C:\\placed by env");
  if (c.value != nullptr) {
    ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, kServerKey, "", c.value));
  }
  std::string want =
      Expand(Expand(c.place, "{env}", "C:\\placed by env"), "{work}", TestProgramFolder());
  EXPECT_EQ(want, PlaceOf(std::string("clsid=") + kClsid + "\nDestDir=1,sub\\\n"));
  SetEnvironmentVariableA("ZU_PLACE_TEST", nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegisteredPlaceTest,
    ::testing::Values(
        RegisteredCase{"Plain", "C:\\Program Files\\Zindo\\x.dll",
                       "C:\\Program Files\\Zindo\\x.dll"},
        RegisteredCase{"Quoted", "\"C:\\Program Files\\Zindo\\x.dll\"",
                       "C:\\Program Files\\Zindo\\x.dll"},
        RegisteredCase{"EnvironmentReference", "%ZU_PLACE_TEST%\\x.dll", "{env}\\x.dll"},
        RegisteredCase{"QuotedEnvironmentReference", "\"%ZU_PLACE_TEST%\\x.dll\"", "{env}\\x.dll"},
        // Anything else is kept as read.
        RegisteredCase{"OneQuoteOnly", "\"C:\\Zindo\\x.dll", "\"C:\\Zindo\\x.dll"},
        RegisteredCase{"UnknownReference", "%ZU_NO_SUCH_VAR%\\x.dll", "%ZU_NO_SUCH_VAR%\\x.dll"},
        // Names no file: the default location.
        RegisteredCase{"EmptyValue", "", "{work}sub\\a.dll"},
        RegisteredCase{"EmptyQuotes", "\"\"", "{work}sub\\a.dll"},
        RegisteredCase{"NotRegistered", nullptr, "{work}sub\\a.dll"}),
    [](const ::testing::TestParamInfo<RegisteredCase>& info) {
      return std::string(info.param.label);
    });

TEST_F(PlacementTest, SystemFolderWhateverTheClsid) {
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, kServerKey, "", "C:\\elsewhere\\x.dll"));
  EXPECT_EQ(SystemFolder() + "\\a.dll", PlaceOf(std::string("clsid=") + kClsid + "\nDestDir=2\n"));
  EXPECT_EQ(SystemFolder() + "\\sub\\a.dll", PlaceOf("DestDir=2, sub\\\n"));
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

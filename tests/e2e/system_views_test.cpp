// What a 32-bit program meets on 64-bit Windows (WOW64), and the 64-bit
// build of the same sources elsewhere: registry keys kept apart for each
// bitness, and a system folder of its own (SysWOW64). Whole runs check that
// the updater writes and places files where a host client of its own
// bitness looks.
#include <gtest/gtest.h>

#include "reg_values.h"
#include "whole_run.h"

namespace {
const char kMachineKey[] = "SOFTWARE\\ZupdaterTest";
const char kClassKey[] = "Software\\Classes\\CLSID\\{3B8E51C2-7A04-4D19-9F6E-2C5D0A7B1E93}";
const char kServerClsid[] = "{9C2D47E1-3F85-4A60-B7D2-5E18C0A9F364}";
const char kServerClassKey[] = "CLSID\\{9C2D47E1-3F85-4A60-B7D2-5E18C0A9F364}";

// The view a program of this build's bitness reads, and the other one.
constexpr REGSAM kOwnView = sizeof(void*) == 4 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
constexpr REGSAM kOtherView = sizeof(void*) == 4 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

bool UnderWow64() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}
bool RunsUnderWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}
std::string Wow64SystemFolder() {
  char path[MAX_PATH] = "";
  UINT length = GetSystemWow64DirectoryA(path, sizeof(path));
  return length != 0 && length < sizeof(path) ? path : "";
}

// Deletes a file when the object goes.
struct CZScopedFile {
  std::string path;
  ~CZScopedFile() { DeleteFileA(path.c_str()); }
};

struct ViewValue {
  HKEY root;
  std::string subKey;
  const char* name;
  const char* value;
  // Whether Wine keeps the key apart for each bitness as Windows does: it
  // shares HKCU\Software\Classes\CLSID between them, where Windows does not.
  bool apartUnderWine;
};
}  // namespace

// The script's HKLM\SOFTWARE and HKCU\Software\Classes\CLSID lines land in
// the view this build reads (the 32-bit one for the shipped program under
// 64-bit Windows), not in the other: the registry editor of its own
// bitness imported them.
TEST(SystemViewsTest, RegistryScriptLandsInTheUpdatersOwnView) {
  CZScopedRegTree machine32(HKEY_LOCAL_MACHINE, kMachineKey, KEY_WOW64_32KEY);
  CZScopedRegTree machine64(HKEY_LOCAL_MACHINE, kMachineKey, KEY_WOW64_64KEY);
  CZScopedRegTree class32(HKEY_CURRENT_USER, kClassKey, KEY_WOW64_32KEY);
  CZScopedRegTree class64(HKEY_CURRENT_USER, kClassKey, KEY_WOW64_64KEY);
  CZWholeRun run;
  ASSERT_TRUE(
      run.ServeFile("m/update_reg.qpk", TestProgramFolder() + "packages\\reg\\views_reg.qpk"));
  CZRunCase c = CaseOf("", "[New Install]\r\n[update.reg]\r\nVersion=9,0,0,0\r\n", {});
  c.answer = IDOK;
  ASSERT_NO_FATAL_FAILURE(RunCase(run, c));
  ASSERT_EQ("9,0,0,0",
            ReadRegString(HKEY_CURRENT_USER, "SOFTWARE\\Zindo\\Murvo\\Update", "RegFileVersion"))
      << run.Log();

  const std::string serverKey = std::string(kClassKey) + "\\InprocServer32";
  const ViewValue written[] = {
      {HKEY_LOCAL_MACHINE, std::string(kMachineKey) + "\\Views", "Applied", "machine", true},
      {HKEY_CURRENT_USER, serverKey, "", "zview.dll", false},
  };
  for (const ViewValue& v : written) {
    const char* key = v.subKey.c_str();
    EXPECT_EQ(v.value, ReadRegString(v.root, key, v.name)) << key;
    EXPECT_EQ(v.value, ReadRegStringInView(v.root, key, v.name, kOwnView)) << key;
    // 32-bit Windows has one view only.
    if ((sizeof(void*) == 8 || UnderWow64()) && (v.apartUnderWine || !RunsUnderWine())) {
      EXPECT_EQ("<absent>", ReadRegStringInView(v.root, key, v.name, kOtherView)) << key;
    }
  }
}

// A COM server component registered in SysWOW64, the 32-bit system folder
// of 64-bit Windows, is the shipped program's own there and is updated in
// place; to a 64-bit program it is another program's file, and its copy
// goes to the client's folder.
TEST(SystemViewsTest, ServerRegisteredInSysWow64IsUpdatedThereOnlyUnderWow64) {
  const std::string wow64Folder = Wow64SystemFolder();
  if (wow64Folder.empty()) GTEST_SKIP() << "this Windows has no SysWOW64 folder";
  const std::string registered = wow64Folder + "\\zd.dll";
  CZScopedFile oldFile{registered};
  CZScopedFile download{wow64Folder + "\\zd.dl_"};
  CZScopedRegTree registration(HKEY_CLASSES_ROOT, kServerClassKey);
  ASSERT_TRUE(CopyFileA((TestProgramFolder() + "zcom500.dll").c_str(), registered.c_str(), FALSE));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT,
                           (std::string(kServerClassKey) + "\\InprocServer32").c_str(), "",
                           registered));
  CZWholeRun run;
  ASSERT_TRUE(run.ServeFile("c/zd.dl_", PassPackage("zd.dl_")));
  CZRunCase c = CaseOf("",
                       ComponentList({"zd"}) +
                           ComponentSection("zd", 4, std::string("clsid=") + kServerClsid + "\r\n"),
                       {});
  c.answer = IDOK;
  ASSERT_NO_FATAL_FAILURE(RunCase(run, c));

  const std::string log = run.Log();
  const bool own = UnderWow64();
  const std::string placed = own ? registered : run.App() + "zd.dll";
  EXPECT_TRUE(ReadFileText(placed) == FixtureBytes("zcom510.dll")) << placed << "\n" << log;
  EXPECT_NE(std::string::npos,
            log.find("File signed correctly " + placed.substr(0, placed.size() - 4) + ".dl_\r\n"))
      << log;
  EXPECT_FALSE(FileExists(wow64Folder + "\\zd.dl_"));
  if (!own) {
    EXPECT_TRUE(ReadFileText(registered) == FixtureBytes("zcom500.dll"));
    EXPECT_NE(std::string::npos, log.find("Component zd.dll: registered path " + registered +
                                          " is not its own, not used\r\n"))
        << log;
  }
}

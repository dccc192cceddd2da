#include "components/component_server.h"

#include <string>

#include "component_fixture.h"
#include "reg_values.h"

namespace {
const char kTraceKey[] = "Software\\ZupdaterTests\\ComServer";

class ComponentServerTest : public ::testing::Test {
 protected:
  std::string Place(const char* fixture, const char* name) {
    std::string path = m_folder / name;
    EXPECT_TRUE(CopyFileA(FixturePath(fixture).c_str(), path.c_str(), FALSE));
    return path;
  }
  CZScopedRegTree m_trace{HKEY_CURRENT_USER, kTraceKey};
  CZTempFolder m_folder{"comserver"};
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}
}  // namespace

TEST_F(ComponentServerTest, RegistrationRunsAndTheLibraryIsReleased) {
  std::string path = Place("zcom500.dll", "registered.dll");
  EXPECT_EQ(1, RegisterComponentServer(path.c_str()));
  // The fixture's DllRegisterServer leaves its own path and counts its calls.
  EXPECT_EQ(Lower(path), Lower(ReadRegString(HKEY_CURRENT_USER, kTraceKey, "Registered")));
  EXPECT_EQ(1u, ReadRegDword(HKEY_CURRENT_USER, kTraceKey, "Count"));
  EXPECT_EQ(nullptr, GetModuleHandleA(path.c_str()));
  // Released, so the file can be replaced at once.
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST_F(ComponentServerTest, LibraryWithoutTheExportStillCounts) {
  std::string path = Place("zplain.dll", "plain.dll");
  EXPECT_EQ(1, RegisterComponentServer(path.c_str()));
  EXPECT_EQ("<absent>", ReadRegString(HKEY_CURRENT_USER, kTraceKey, "Registered"));
  EXPECT_EQ(nullptr, GetModuleHandleA(path.c_str()));
}

TEST_F(ComponentServerTest, WhatCannotBeLoadedGivesZero) {
  std::string text = m_folder / "text.dll";
  ASSERT_TRUE(WriteFileText(text, "MZ but no library at all"));
  std::string empty = m_folder / "empty.dll";
  ASSERT_TRUE(WriteFileText(empty, ""));
  for (const std::string& path : {text, empty, m_folder / "absent.dll"}) {
    EXPECT_EQ(0, RegisterComponentServer(path.c_str())) << path;
  }
  EXPECT_EQ("<absent>", ReadRegString(HKEY_CURRENT_USER, kTraceKey, "Registered"));
}

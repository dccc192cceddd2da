#include "settings/reg_key.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {
const char kTestKey[] = "Software\\ZUpdaterTests\\RegKey";

class RegKeyTest : public ::testing::Test {
 protected:
  CZScopedRegTree m_cleanup{HKEY_CURRENT_USER, kTestKey};

  void SetRaw(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
  }
};
}  // namespace

TEST_F(RegKeyTest, WrittenValuesReadBackWithTheirTypes) {
  CZRegKey key;
  ASSERT_EQ(0, key.Create(kTestKey, HKEY_CURRENT_USER));
  ASSERT_TRUE(key.IsOpen());
  EXPECT_EQ(0, key.SetString("Text", "hello"));
  EXPECT_EQ(0, key.SetDword("Number", 0xDEADBEEF));

  CZRegKey reopened(kTestKey, HKEY_CURRENT_USER);
  ASSERT_TRUE(reopened.IsOpen());
  char buffer[32];
  EXPECT_TRUE(reopened.QueryString("Text", buffer, sizeof(buffer)));
  EXPECT_STREQ("hello", buffer);
  DWORD value = 1;
  EXPECT_TRUE(reopened.QueryDword("Number", &value));
  EXPECT_EQ(0xDEADBEEFu, value);
  EXPECT_EQ(0xDEADBEEFu, reopened.GetDword("Number"));

  HKEY raw;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &raw));
  DWORD type = 0, size = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(raw, "Text", nullptr, &type, nullptr, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(6u, size);  // the text and its terminating zero
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(raw, "Number", nullptr, &type, nullptr, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(4u, size);
  RegCloseKey(raw);
}

TEST_F(RegKeyTest, MissingValuesReadAsEmptyAndZero) {
  CZRegKey key;
  ASSERT_EQ(0, key.Create(kTestKey, HKEY_CURRENT_USER));
  DWORD value = 7;
  EXPECT_FALSE(key.QueryDword("Absent", &value));
  EXPECT_EQ(0u, value);
  EXPECT_EQ(0u, key.GetDword("Absent"));
  char buffer[16] = "stale";
  EXPECT_FALSE(key.QueryString("Absent", buffer, sizeof(buffer)));
  EXPECT_STREQ("", buffer);
}

TEST_F(RegKeyTest, StoredZeroAndMissingValueLookAlikeToGetDword) {
  CZRegKey key;
  ASSERT_EQ(0, key.Create(kTestKey, HKEY_CURRENT_USER));
  key.SetDword("Zero", 0);
  EXPECT_EQ(key.GetDword("Zero"), key.GetDword("Absent"));
  DWORD value = 9;
  EXPECT_TRUE(key.QueryDword("Zero", &value));
  EXPECT_FALSE(key.QueryDword("Absent", &value));
}

TEST_F(RegKeyTest, QueryStringOnADwordGivesItsRawBytes) {
  const DWORD number = 0x00434241;  // "ABC" and a zero byte, little-endian
  SetRaw("Number", REG_DWORD, &number, sizeof(number));
  CZRegKey key(kTestKey, HKEY_CURRENT_USER);
  char buffer[16];
  memset(buffer, 'x', sizeof(buffer));
  EXPECT_TRUE(key.QueryString("Number", buffer, sizeof(buffer)));
  EXPECT_STREQ("ABC", buffer);
}

TEST_F(RegKeyTest, ShortValuesOfOtherTypesReadAsDwordsAndLongOnesFail) {
  const BYTE three[3] = {1, 2, 3};
  const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  SetRaw("Three", REG_BINARY, three, sizeof(three));
  SetRaw("Eight", REG_BINARY, eight, sizeof(eight));
  CZRegKey key(kTestKey, HKEY_CURRENT_USER);
  DWORD value = 0;
  EXPECT_TRUE(key.QueryDword("Three", &value));
  EXPECT_EQ(0x030201u, value);
  EXPECT_FALSE(key.QueryDword("Eight", &value));
  EXPECT_EQ(0u, value);
  EXPECT_EQ(0u, key.GetDword("Eight"));
}

TEST_F(RegKeyTest, StringLongerThanTheBufferFailsWithEmptyText) {
  CZRegKey key;
  ASSERT_EQ(0, key.Create(kTestKey, HKEY_CURRENT_USER));
  key.SetString("Long", std::string(40, 'z').c_str());
  char buffer[16] = "stale";
  EXPECT_FALSE(key.QueryString("Long", buffer, sizeof(buffer)));
  EXPECT_STREQ("", buffer);
  char exact[41];
  EXPECT_TRUE(key.QueryString("Long", exact, sizeof(exact)));
  EXPECT_EQ(std::string(40, 'z'), exact);
}

TEST_F(RegKeyTest, UnterminatedDataFillingTheBufferIsRefused) {
  const char raw[4] = {'a', 'b', 'c', 'd'};
  SetRaw("Raw", REG_SZ, raw, sizeof(raw));
  CZRegKey key(kTestKey, HKEY_CURRENT_USER);
  char buffer[4];
  EXPECT_FALSE(key.QueryString("Raw", buffer, sizeof(buffer)));
  EXPECT_STREQ("", buffer);
  char room[8];
  EXPECT_TRUE(key.QueryString("Raw", room, sizeof(room)));
  EXPECT_STREQ("abcd", room);
}

TEST_F(RegKeyTest, EmptyStringStoresOneZeroByte) {
  CZRegKey key;
  ASSERT_EQ(0, key.Create(kTestKey, HKEY_CURRENT_USER));
  EXPECT_EQ(0, key.SetString("Empty", ""));
  HKEY raw;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &raw));
  BYTE data[4] = {9, 9, 9, 9};
  DWORD size = sizeof(data);
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(raw, "Empty", nullptr, nullptr, data, &size));
  RegCloseKey(raw);
  EXPECT_EQ(1u, size);
  EXPECT_EQ(0, data[0]);
}

TEST_F(RegKeyTest, DefaultValueIsReadByTheEmptyName) {
  SetRaw("", REG_SZ, "C:\\Host\\host.exe", 17);
  CZRegKey key(kTestKey, HKEY_CURRENT_USER);
  char buffer[64];
  EXPECT_TRUE(key.QueryString("", buffer, sizeof(buffer)));
  EXPECT_STREQ("C:\\Host\\host.exe", buffer);
}

TEST_F(RegKeyTest, MissingKeyLeavesTheObjectEmpty) {
  CZRegKey key("Software\\ZUpdaterTests\\RegKey\\Nowhere", HKEY_CURRENT_USER);
  EXPECT_FALSE(key.IsOpen());
  DWORD value = 5;
  EXPECT_FALSE(key.QueryDword("x", &value));
  EXPECT_EQ(0u, value);
  EXPECT_NE(0, key.SetDword("x", 1));
  EXPECT_NE(0, key.SetString("x", "y"));
}

TEST_F(RegKeyTest, CreateReleasesTheKeyItHeld) {
  CZRegKey key;
  ASSERT_EQ(0, key.Create(kTestKey, HKEY_CURRENT_USER));
  ASSERT_EQ(0, key.Create("Software\\ZUpdaterTests\\RegKey\\Inner", HKEY_CURRENT_USER));
  key.SetDword("Where", 1);
  CZRegKey inner("Software\\ZUpdaterTests\\RegKey\\Inner", HKEY_CURRENT_USER);
  EXPECT_EQ(1u, inner.GetDword("Where"));
  CZRegKey outer(kTestKey, HKEY_CURRENT_USER);
  EXPECT_EQ(0u, outer.GetDword("Where"));
}

// A machine-wide key that refuses full access is stood in for by the same
// path of the current user.
TEST_F(RegKeyTest, RefusedMachineKeyFallsBackToTheCurrentUser) {
  CZScopedRegTree machine(HKEY_LOCAL_MACHINE, kTestKey);
  HKEY raw;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &raw, nullptr));
  DWORD machineValue = 1;
  RegSetValueExA(raw, "Where", 0, REG_DWORD, reinterpret_cast<BYTE*>(&machineValue), 4);
  // Everyone may read the machine key; nobody may write it.
  EXPLICIT_ACCESSA access = {};
  access.grfAccessPermissions = KEY_READ;
  access.grfAccessMode = SET_ACCESS;
  access.grfInheritance = NO_INHERITANCE;
  access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
  access.Trustee.ptstrName = const_cast<char*>("EVERYONE");
  PACL acl = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, SetEntriesInAclA(1, &access, nullptr, &acl));
  ASSERT_EQ(ERROR_SUCCESS,
            SetSecurityInfo(raw, SE_REGISTRY_KEY,
                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, acl, nullptr));
  LocalFree(acl);
  RegCloseKey(raw);
  HKEY probe;
  LONG probeResult = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_ALL_ACCESS, &probe);
  if (probeResult == ERROR_SUCCESS) RegCloseKey(probe);
  ASSERT_EQ(ERROR_ACCESS_DENIED, probeResult) << "the platform did not refuse full access";

  CZRegKey user;
  ASSERT_EQ(0, user.Create(kTestKey, HKEY_CURRENT_USER));
  user.SetDword("Where", 2);

  CZRegKey key(kTestKey, HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(key.IsOpen());
  EXPECT_EQ(2u, key.GetDword("Where"));
}

TEST_F(RegKeyTest, AnyValueReadsBackAsStoredAndGoesWhenDeleted) {
  // Longer than any fixed buffer, with zero bytes inside, of an odd type.
  std::vector<BYTE> bytes(5000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<BYTE>(i % 7);
  SetRaw("Blob", REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
  CZRegKey key(kTestKey, HKEY_CURRENT_USER);
  DWORD type = 0;
  std::vector<BYTE> read;
  ASSERT_TRUE(key.QueryValue("Blob", &type, &read));
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
  EXPECT_EQ(bytes, read);

  EXPECT_EQ(0, key.SetValue("Copy", REG_EXPAND_SZ, {'%', 'x', '%', 0}));
  ASSERT_TRUE(key.QueryValue("Copy", &type, &read));
  EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
  EXPECT_EQ((std::vector<BYTE>{'%', 'x', '%', 0}), read);

  EXPECT_EQ(0, key.DeleteValue("Copy"));
  type = 77;
  read = {1, 2};
  EXPECT_FALSE(key.QueryValue("Copy", &type, &read));
  EXPECT_EQ(77u, type);
  EXPECT_EQ((std::vector<BYTE>{1, 2}), read);
  EXPECT_NE(0, key.DeleteValue("Copy"));
}

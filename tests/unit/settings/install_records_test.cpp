#include "settings/install_records.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "common/version_text.h"
#include "net/update_settings.h"
#include "reg_values.h"
#include "test_support.h"

namespace {
const char kHostSettingsKey[] = "SOFTWARE\\Zindo\\Murvo";
const char kUpdateKey[] = "SOFTWARE\\Zindo\\Murvo\\Update";

void SetString(const char* subKey, const char* name, const char* text) {
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, subKey, name, text));
}
void SetDword(const char* subKey, const char* name, DWORD value) {
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, subKey, name, value));
}
std::string ReadString(const char* subKey, const char* name) {
  return ReadRegString(HKEY_CURRENT_USER, subKey, name);
}

class InstallRecordsTest : public ::testing::Test {
 protected:
  void TearDown() override { DeleteFileA(m_manifest.c_str()); }
  CZScopedRegTree m_settings{HKEY_CURRENT_USER, kHostSettingsKey};
  std::string m_manifest = TestProgramFolder() + "components.ini";
};

struct LocaleCase {
  const char* name;
  const char* intl;     // null: absent
  const char* cobrand;  // null: absent
  DWORD ligans;         // ~0: absent
  const char* packageBase;
  const char* updaterPackage;
  bool localeRead;
};
// Names the case in test listings.
void PrintTo(const LocaleCase& c, std::ostream* os) { *os << c.name; }

class LocaleSettingsTest : public InstallRecordsTest,
                           public ::testing::WithParamInterface<LocaleCase> {};
}  // namespace

TEST_P(LocaleSettingsTest, FolderUrlsCarryLocaleCobrandAndLigans) {
  const LocaleCase& c = GetParam();
  SetString(kHostSettingsKey, "Unrelated", "x");
  if (c.intl != nullptr) SetString("SOFTWARE\\Zindo\\Murvo\\Locale", "intl", c.intl);
  if (c.cobrand != nullptr) SetString(kHostSettingsKey, "Cobrand", c.cobrand);
  if (c.ligans != ~0u) SetDword(kHostSettingsKey, "ligans", c.ligans);
  CZUpdateSettings settings;
  EXPECT_EQ(c.localeRead, settings.ReadLocaleSettings());
  settings.ApplySettingLine("MURVO-FOLDER=http://127.0.0.1/m/");
  settings.ApplySettingLine("PATCHKEEPER-FOLDER=http://127.0.0.1/p/");
  EXPECT_EQ(c.packageBase, settings.PackageBaseUrl());
  EXPECT_EQ(c.updaterPackage, settings.UpdaterPackageUrl());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocaleSettingsTest,
    ::testing::Values(LocaleCase{"LocaleOnly", "us", "", ~0u, "http://127.0.0.1/m/us/",
                                 "http://127.0.0.1/p/us/zupdater.qpk", true},
                      LocaleCase{"LigansOnly", nullptr, nullptr, 1, "http://127.0.0.1/m/ligans/",
                                 "http://127.0.0.1/p/zupdater.qpk", false},
                      LocaleCase{"Everything", "de", "acme", 7,
                                 "http://127.0.0.1/m/de/acme/ligans/",
                                 "http://127.0.0.1/p/de/zupdater.qpk", true},
                      LocaleCase{"LigansZero", "fr", "acme", 0, "http://127.0.0.1/m/fr/acme/",
                                 "http://127.0.0.1/p/fr/zupdater.qpk", true},
                      LocaleCase{"Nothing", nullptr, nullptr, ~0u, "http://127.0.0.1/m/",
                                 "http://127.0.0.1/p/zupdater.qpk", false}),
    [](const ::testing::TestParamInfo<LocaleCase>& info) { return std::string(info.param.name); });

TEST_F(InstallRecordsTest, RefusalStoresTheTimeAndAcceptanceStoresZero) {
  EXPECT_EQ(0u, GetLastUpdateTime());
  DWORD before = static_cast<DWORD>(time(nullptr));
  SetLastUpdateTime(false);
  DWORD after = static_cast<DWORD>(time(nullptr));
  DWORD stored = GetLastUpdateTime();
  EXPECT_GE(stored, before);
  EXPECT_LE(stored, after);
  SetLastUpdateTime(true);
  EXPECT_EQ(0u, GetLastUpdateTime());
}

// An acceptance withdraws the refusal before its files go in: a run cut off
// then leaves no refusal to hold back the next offer.
TEST_F(InstallRecordsTest, AcceptanceWithdrawsTheRefusalAtOnce) {
  SetLastUpdateTime(false);
  ASSERT_NE(0u, GetLastUpdateTime());
  WithdrawRefusal();
  EXPECT_EQ(0u, GetLastUpdateTime());
  EXPECT_EQ("<absent>", ReadString(kUpdateKey, "LastUpdateTime"));
  WithdrawRefusal();  // nothing to withdraw
  EXPECT_EQ(0u, GetLastUpdateTime());
}

TEST_F(InstallRecordsTest, RefusedVersionComesFromTheManifest) {
  ASSERT_TRUE(WriteFileText(m_manifest, "[New Install]\r\nVersionNew=6,0,0,1200\r\n"));
  SetLastUpdateVersion();
  EXPECT_EQ("6,0,0,1200", ReadString(kUpdateKey, "LastUpdateVersion"));
  CZVersion version;
  ASSERT_TRUE(GetLastUpdateVersion(&version));
  EXPECT_EQ(6, version.major);
  EXPECT_EQ(0, version.minor);
  EXPECT_EQ(0, version.build);
  EXPECT_EQ(1200, version.revision);
}

TEST_F(InstallRecordsTest, ManifestWithoutVersionKeepsTheRecord) {
  SetString(kUpdateKey, "LastUpdateVersion", "5,1,0,7");
  ASSERT_TRUE(WriteFileText(m_manifest, "[New Install]\r\nLink1=x\r\n"));
  SetLastUpdateVersion();
  EXPECT_EQ("5,1,0,7", ReadString(kUpdateKey, "LastUpdateVersion"));
}

TEST_F(InstallRecordsTest, LongManifestVersionIsCutTo39Characters) {
  std::string longVersion = "1,2,3," + std::string(60, '4');
  ASSERT_TRUE(WriteFileText(m_manifest, "[New Install]\r\nVersionNew=" + longVersion + "\r\n"));
  SetLastUpdateVersion();
  EXPECT_EQ(longVersion.substr(0, 39), ReadString(kUpdateKey, "LastUpdateVersion"));
}

TEST_F(InstallRecordsTest, EmptyOrAbsentRefusedVersionIsNotRead) {
  CZVersion version;
  EXPECT_FALSE(GetLastUpdateVersion(&version));
  SetString(kUpdateKey, "LastUpdateVersion", "");
  EXPECT_FALSE(GetLastUpdateVersion(&version));
}

TEST_F(InstallRecordsTest, MissingManifestIsNoError) {
  DeleteFileA(m_manifest.c_str());
  DeleteManifest();
  EXPECT_FALSE(FileExists(m_manifest));
}

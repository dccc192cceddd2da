#include "components/feature_settings.h"

#include <windows.h>

#include <string>
#include <vector>

#include "common/update_log.h"
#include "components/manifest_rules.h"
#include "components/manifest_sections.h"
#include "settings/reg_key.h"

namespace {
constexpr size_t kKeyListSize = kFeatureKeyListSize;
constexpr size_t kValueSize = kFeatureValueSize;
const char kComponentUpdateKey[] = "SOFTWARE\\Zindo\\Murvo\\ComponentUpdate\\";
const char kHostWindowClass[] = "ZindoBuddyMain";
// A registry key name has at most 255 characters.
constexpr DWORD kFeatureKeyNameSize = 256;

// What one run may still write: values in all, and new keys and values
// while the registry's budget lasts.
struct CZFeatureAllowance {
  size_t writes = kMaxFeatureValuesPerRun;
  size_t stored = 0;  // feature keys and values the registry holds
  bool budgetLogged = false;
  // Whether one more new key or value may be kept; logs once when not.
  bool MayAdd(const std::string& where) {
    if (stored < kMaxFeatureEntries) return true;
    if (!budgetLogged) {
      WriteLog(
          "Feature settings add nothing new from %s on: at most %lu keys and values are "
          "kept\r\n",
          where.c_str(), static_cast<unsigned long>(kMaxFeatureEntries));
      budgetLogged = true;
    }
    return false;
  }
};

// The feature keys and their values the registry holds from earlier runs.
size_t CountStoredEntries() {
  std::string rootPath = kComponentUpdateKey;
  rootPath.pop_back();  // the key itself, without the separator its subkeys follow
  CZRegKey root(rootPath.c_str(), HKEY_CURRENT_USER);
  DWORD subkeys = 0, values = 0;
  if (!root.CountEntries(&subkeys, &values)) return 0;
  size_t stored = subkeys + values;
  char name[kFeatureKeyNameSize];
  for (DWORD i = 0; root.SubkeyName(i, name, sizeof(name)); ++i) {
    CZRegKey feature((kComponentUpdateKey + std::string(name)).c_str(), HKEY_CURRENT_USER);
    DWORD innerKeys = 0, innerValues = 0;
    feature.CountEntries(&innerKeys, &innerValues);
    stored += innerKeys + innerValues;
  }
  return stored;
}

// Copies one feature's values while the run's allowance lasts; false once it
// ran out, after logging where the copy stopped.
bool CopyFeature(const char* manifestPath, const std::string& feature,
                 CZFeatureAllowance* allowance) {
  auto stop = [&](const std::string& where) {
    WriteLog("Feature settings stop at %s: at most %lu values are written in a run\r\n",
             where.c_str(), static_cast<unsigned long>(kMaxFeatureValuesPerRun));
    return false;
  };
  if (allowance->writes == 0) return stop(feature);
  const std::string path = kComponentUpdateKey + feature;
  CZRegKey key;
  if (CZRegKey existing(path.c_str(), HKEY_CURRENT_USER); !existing.IsOpen()) {
    if (!allowance->MayAdd(feature)) return true;
    ++allowance->stored;
  }
  key.Create(path.c_str(), HKEY_CURRENT_USER);
  if (!key.IsOpen()) return true;
  bool cut = false;
  for (const std::string& name : ReadKeyNames(manifestPath, feature.c_str(), kKeyListSize, &cut)) {
    if (allowance->writes == 0) return stop(feature + "\\" + name);
    const bool known = key.HasValue(name.c_str());
    if (!known && !allowance->MayAdd(feature + "\\" + name)) continue;
    std::string value =
        ReadManifestText(manifestPath, feature.c_str(), name.c_str(), "", kValueSize);
    key.SetString(name.c_str(), value.c_str());
    --allowance->writes;
    if (!known) ++allowance->stored;
  }
  return true;
}
}  // namespace

void PublishFeatureSettings(const char* manifestPath, unsigned transmitMessage) {
  bool cut = false;
  // The unsigned manifest must not grow the registry without bound, in one
  // run or in many.
  CZFeatureAllowance allowance;
  allowance.stored = CountStoredEntries();
  for (const std::string& feature : ReadKeyNames(manifestPath, "Features", kFeatureListSize, &cut))
    if (!CopyFeature(manifestPath, feature, &allowance)) break;
  HWND host = FindWindowA(kHostWindowClass, nullptr);
  if (host != nullptr && transmitMessage != 0) PostMessageA(host, transmitMessage, 1, 0);
}

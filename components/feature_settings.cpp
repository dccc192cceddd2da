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

// Copies one feature's values while the run's allowance lasts; false once it
// ran out, after logging where the copy stopped.
bool CopyFeature(const char* manifestPath, const std::string& feature, size_t* allowance) {
  auto stop = [&](const std::string& where) {
    WriteLog("Feature settings stop at %s: at most %lu values are written in a run\r\n",
             where.c_str(), static_cast<unsigned long>(kMaxFeatureValuesPerRun));
    return false;
  };
  if (*allowance == 0) return stop(feature);
  CZRegKey key;
  key.Create((kComponentUpdateKey + feature).c_str(), HKEY_CURRENT_USER);
  if (!key.IsOpen()) return true;
  bool cut = false;
  for (const std::string& name : ReadKeyNames(manifestPath, feature.c_str(), kKeyListSize, &cut)) {
    if (*allowance == 0) return stop(feature + "\\" + name);
    std::string value =
        ReadManifestText(manifestPath, feature.c_str(), name.c_str(), "", kValueSize);
    key.SetString(name.c_str(), value.c_str());
    --*allowance;
  }
  return true;
}
}  // namespace

void PublishFeatureSettings(const char* manifestPath, unsigned transmitMessage) {
  bool cut = false;
  // The unsigned manifest must not grow the registry without bound.
  size_t allowance = kMaxFeatureValuesPerRun;
  for (const std::string& feature : ReadKeyNames(manifestPath, "Features", kFeatureListSize, &cut))
    if (!CopyFeature(manifestPath, feature, &allowance)) break;
  HWND host = FindWindowA(kHostWindowClass, nullptr);
  if (host != nullptr && transmitMessage != 0) PostMessageA(host, transmitMessage, 1, 0);
}

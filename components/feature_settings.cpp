#include "components/feature_settings.h"

#include <windows.h>

#include <string>
#include <vector>

#include "components/manifest_sections.h"
#include "settings/reg_key.h"

namespace {
constexpr size_t kFeatureListSize = 2048;
constexpr size_t kKeyListSize = 2048;
constexpr size_t kValueSize = 1024;
const char kComponentUpdateKey[] = "SOFTWARE\\Zindo\\Murvo\\ComponentUpdate\\";
const char kHostWindowClass[] = "ZindoBuddyMain";

void CopyFeature(const char* manifestPath, const std::string& feature) {
  CZRegKey key;
  key.Create((kComponentUpdateKey + feature).c_str(), HKEY_CURRENT_USER);
  if (!key.IsOpen()) return;
  bool cut = false;
  for (const std::string& name : ReadKeyNames(manifestPath, feature.c_str(), kKeyListSize, &cut)) {
    std::string value =
        ReadManifestText(manifestPath, feature.c_str(), name.c_str(), "", kValueSize);
    key.SetString(name.c_str(), value.c_str());
  }
}
}  // namespace

void PublishFeatureSettings(const char* manifestPath, unsigned transmitMessage) {
  bool cut = false;
  for (const std::string& feature : ReadKeyNames(manifestPath, "Features", kFeatureListSize, &cut))
    CopyFeature(manifestPath, feature);
  HWND host = FindWindowA(kHostWindowClass, nullptr);
  if (host != nullptr && transmitMessage != 0) PostMessageA(host, transmitMessage, 1, 0);
}

#include "settings/install_records.h"

#include <ctime>

#include "common/bounded_text.h"
#include "common/version_text.h"
#include "settings/folders.h"
#include "settings/reg_key.h"

namespace {
const char kHostSettingsKey[] = "SOFTWARE\\Zindo\\Murvo";
const char kLocaleKey[] = "SOFTWARE\\Zindo\\Murvo\\Locale";
const char kUpdateKey[] = "SOFTWARE\\Zindo\\Murvo\\Update";
const char kManifestName[] = "components.ini";
constexpr size_t kSettingSize = 1024;
constexpr size_t kVersionSize = 40;

void ManifestPath(char* path, size_t size) {
  GetWorkingFolder(path, static_cast<DWORD>(size));
  if (path[0] != '\0') AppendBounded(path, size, kManifestName);
}
}  // namespace

void DeleteManifest() {
  char path[kPathSize];
  ManifestPath(path, sizeof(path));
  if (path[0] != '\0') DeleteFileA(path);
}

bool ReadLocaleSettings(CZLocaleSettings* out) {
  char text[kSettingSize];
  CZRegKey settings(kHostSettingsKey, HKEY_CURRENT_USER);
  out->cobrand = settings.QueryString("Cobrand", text, sizeof(text)) ? text : "";
  out->ligans = settings.GetDword("ligans");
  CZRegKey locale(kLocaleKey, HKEY_CURRENT_USER);
  bool haveLocale = locale.QueryString("intl", text, sizeof(text));
  out->locale = haveLocale ? text : "";
  return haveLocale;
}

void SetLastUpdateTime(bool accepted) {
  CZRegKey update;
  if (update.Create(kUpdateKey, HKEY_CURRENT_USER) != 0) return;
  update.SetDword("LastUpdateTime", accepted ? 0 : static_cast<DWORD>(time(nullptr)));
}

DWORD GetLastUpdateTime() {
  CZRegKey update(kUpdateKey, HKEY_CURRENT_USER);
  return update.IsOpen() ? update.GetDword("LastUpdateTime") : 0;
}

void SetLastUpdateVersion() {
  CZRegKey update;
  if (update.Create(kUpdateKey, HKEY_CURRENT_USER) != 0) return;
  char manifest[kPathSize];
  ManifestPath(manifest, sizeof(manifest));
  char version[kVersionSize] = "";
  if (manifest[0] != '\0')
    GetPrivateProfileStringA("New Install", "VersionNew", "", version, sizeof(version), manifest);
  if (version[0] != '\0') update.SetString("LastUpdateVersion", version);
}

bool GetLastUpdateVersion(CZVersion* version) {
  CZRegKey update(kUpdateKey, HKEY_CURRENT_USER);
  if (!update.IsOpen()) return false;
  char text[kVersionSize];
  if (!update.QueryString("LastUpdateVersion", text, sizeof(text)) || text[0] == '\0') return false;
  return ParseVersionText(text, version);
}

#include "settings/install_records.h"

#include <ctime>
#include <string>
#include <vector>

#include "common/bounded_text.h"
#include "common/test_hooks.h"
#include "common/version_text.h"
#include "settings/folders.h"
#include "settings/reg_key.h"

namespace {
const char kHostSettingsKey[] = "SOFTWARE\\Zindo\\Murvo";
const char kLocaleKey[] = "SOFTWARE\\Zindo\\Murvo\\Locale";
const char kUpdateKey[] = "SOFTWARE\\Zindo\\Murvo\\Update";
const char kManifestName[] = "components.ini";
const char kRefusedUpdaterDate[] = "RefusedUpdaterDate";
const char kUnreplacedUpdaterDate[] = "UnreplacedUpdaterDate";
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
  if (path[0] != '\0') DiscardDownload(path);
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

void WithdrawRefusal() {
  CZRegKey update(kUpdateKey, HKEY_CURRENT_USER);
  if (update.IsOpen() && update.HasValue("LastUpdateTime")) update.DeleteValue("LastUpdateTime");
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

void SetRefusedUpdaterDate(ULONGLONG serverDate) {
  CZRegKey update;
  if (update.Create(kUpdateKey, HKEY_CURRENT_USER) != 0) return;
  update.SetString(kRefusedUpdaterDate, std::to_string(serverDate).c_str());
}

void SetUnreplacedUpdaterDate(ULONGLONG serverDate) {
  CZRegKey update;
  if (update.Create(kUpdateKey, HKEY_CURRENT_USER) != 0) return;
  update.SetString(kUnreplacedUpdaterDate, std::to_string(serverDate).c_str());
  update.Flush();
}

ULONGLONG TakeUnreplacedUpdaterDate() {
  CZRegKey update(kUpdateKey, HKEY_CURRENT_USER);
  char text[24];
  if (!update.IsOpen() || !update.QueryString(kUnreplacedUpdaterDate, text, sizeof(text))) return 0;
  update.DeleteValue(kUnreplacedUpdaterDate);
  return _strtoui64(text, nullptr, 10);
}

ULONGLONG GetRefusedUpdaterDate() {
  CZRegKey update(kUpdateKey, HKEY_CURRENT_USER);
  char text[24];
  if (!update.IsOpen() || !update.QueryString(kRefusedUpdaterDate, text, sizeof(text))) return 0;
  return _strtoui64(text, nullptr, 10);
}

namespace {
const char kPendingPackages[] = "PendingPackages";

void StorePendingPackages(const std::vector<std::string>& images) {
  CZRegKey update;
  if (update.Create(kUpdateKey, HKEY_CURRENT_USER) != 0) return;
  std::string text;
  for (const std::string& image : images) text += (text.empty() ? "" : "|") + image;
  if (text.empty())
    update.DeleteValue(kPendingPackages);
  else
    update.SetString(kPendingPackages, text.c_str());
  update.Flush();
}
}  // namespace

std::vector<std::string> PendingPackages() {
  std::vector<std::string> images;
  CZRegKey update(kUpdateKey, HKEY_CURRENT_USER);
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!update.QueryValue(kPendingPackages, &type, &data) || type != REG_SZ) return images;
  std::string text(data.begin(), data.end());
  text = text.c_str();  // up to its terminator
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('|', begin);
    if (end == std::string::npos) end = text.size();
    if (end > begin) images.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return images;
}

void AddPendingPackage(const std::string& imagePath) {
  std::vector<std::string> images = PendingPackages();
  for (const std::string& image : images)
    if (_stricmp(image.c_str(), imagePath.c_str()) == 0) return;
  images.push_back(imagePath);
  StorePendingPackages(images);
}

void DiscardDownload(const char* path) {
  ZU_CRASH_POINT("delete", path);
  DeleteFileA(path);
  RemovePendingPackage(path);
}

void RemovePendingPackage(const std::string& imagePath) {
  std::vector<std::string> images = PendingPackages();
  std::vector<std::string> kept;
  for (const std::string& image : images)
    if (_stricmp(image.c_str(), imagePath.c_str()) != 0) kept.push_back(image);
  if (kept.size() != images.size()) StorePendingPackages(kept);
}

#include "components/manifest_rules.h"

#include <cstring>

#include "common/own_names.h"
#include "package/stored_name.h"

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Windows drops the trailing dots and blanks of a path part, so a part made
// only of them names the folder itself ("."), or climbs ("..", "...", ". .").
bool IsOnlyDotsAndBlanks(const char* begin, const char* end) {
  if (begin == end) return false;
  for (const char* c = begin; c < end; ++c)
    if (*c != '.' && *c != ' ') return false;
  return true;
}

bool IsExeExtension(const char* dot) {
  if (strlen(dot) != 4) return false;
  const char* exe = ".exe";
  for (int i = 0; i < 4; ++i) {
    char c = dot[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != exe[i]) return false;
  }
  return true;
}

// Characters no Windows file name may hold: a name with one fails on every
// run.
bool HasForbiddenCharacter(const char* name) {
  for (const char* c = name; *c != '\0'; ++c)
    if (static_cast<unsigned char>(*c) < 0x20 || strchr("\"<>|?*", *c) != nullptr) return true;
  return false;
}

bool IsSafePackageName(const char* name) {
  if (name[0] == '\0' || strpbrk(name, "\\:") != nullptr || strstr(name, "..") != nullptr ||
      HasForbiddenCharacter(name) || !IsSafeStoredName(name))
    return false;
  // Neither the package nor the installer it holds may be one of the
  // updater's own names: a release must not start an updater.
  if (IsUpdaterOwnName(name) || IsUpdaterOwnName(ReleaseInstallerName(name))) return false;
  const char* dot = strrchr(name, '.');
  const char last = name[strlen(name) - 1];
  return dot != nullptr && dot != name && !IsExeExtension(dot) && last != '.' && last != ' ';
}
}  // namespace

std::string ReleasePackageName(const char* link) {
  const char* slash = link != nullptr ? strrchr(link, '/') : nullptr;
  const char* name = slash != nullptr ? slash + 1 : "";
  return IsSafePackageName(name) ? name : "zcorv.qpk";
}

std::string ReleaseInstallerName(const std::string& packageName) {
  const size_t dot = packageName.rfind('.');
  return dot == std::string::npos ? packageName : packageName.substr(0, dot + 1) + "exe";
}

int32_t ReadDecimal(const char* text) {
  if (text == nullptr) return 0;
  while (IsBlank(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  uint32_t value = 0;
  while (*text >= '0' && *text <= '9') value = value * 10u + static_cast<uint32_t>(*text++ - '0');
  return static_cast<int32_t>(negative ? 0u - value : value);
}

CZDestination SplitDestDir(const char* value) {
  CZDestination destination;
  if (value == nullptr) return destination;
  destination.kind = static_cast<uint8_t>(ReadDecimal(value));
  const char* comma = strchr(value, ',');
  if (comma == nullptr) return destination;
  const char* subfolder = comma + 1;
  while (*subfolder == ' ' || *subfolder == '\t') ++subfolder;
  destination.subfolder = subfolder;
  return destination;
}

bool IsSafeComponentName(const char* name) {
  if (name == nullptr || name[0] == '\0') return false;
  if (strpbrk(name, "\\/:") != nullptr) return false;
  // The download is saved as the name with its last character made "_": a
  // name ending in "_" would be downloaded over the installed file itself.
  if (name[strlen(name) - 1] == '_') return false;
  // The updater's own files are never a component's, nor their downloads.
  std::string download = name;
  download.back() = '_';
  if (IsUpdaterOwnName(name) || IsUpdaterOwnName(download)) return false;
  // A device name (COM1, NUL ...) would send the download to the device.
  return !IsOnlyDotsAndBlanks(name, name + strlen(name)) && IsSafeStoredName(name);
}

bool IsSafeSubfolder(const char* subfolder) {
  if (subfolder == nullptr || subfolder[0] == '\0') return true;
  if (IsSeparator(subfolder[0]) || strchr(subfolder, ':') != nullptr) return false;
  const char* part = subfolder;
  for (;;) {
    const char* end = part;
    while (*end != '\0' && !IsSeparator(*end)) ++end;
    const bool currentFolder = end - part == 1 && *part == '.';
    if (!currentFolder && IsOnlyDotsAndBlanks(part, end)) return false;
    // "logs\" would be the updater's log folder.
    if (IsUpdaterOwnName(std::string(part, end))) return false;
    if (*end == '\0') return true;
    part = end + 1;
  }
}

bool IsSafeRelativePath(const char* path) {
  return path != nullptr && path[0] != '\0' && IsSafeSubfolder(path) &&
         !IsSeparator(path[strlen(path) - 1]);
}

bool IsSafeClsid(const char* clsid) { return clsid == nullptr || strchr(clsid, '\\') == nullptr; }

std::vector<std::string> TakeKeyNames(const char* list, size_t length, size_t limit, bool* cut) {
  std::vector<std::string> names;
  *cut = false;
  size_t used = 1;  // the list's final zero
  const char* end = list + length;
  for (const char* name = list; name < end && *name != '\0';) {
    size_t size = strnlen(name, static_cast<size_t>(end - name));
    if (used + size + 1 > limit) {
      *cut = true;
      break;
    }
    names.emplace_back(name, size);
    used += size + 1;
    name += size + 1;
  }
  return names;
}

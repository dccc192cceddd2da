#include "settings/own_files.h"

#include <windows.h>

#include "common/bounded_text.h"
#include "common/own_names.h"
#include "common/process_state.h"
#include "settings/folders.h"

namespace {
bool BeginsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() &&
         _strnicmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

// The working folder, normalised, ending with a backslash; empty when it
// cannot be had.
std::string NormalWorkingFolder() {
  char working[kPathSize];
  std::string folder;
  if (!GetWorkingFolder(working, sizeof(working)) || !NormalisePath(working, &folder))
    return std::string();
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}
}  // namespace

bool NormalisePath(const std::string& path, std::string* normal) {
  char full[kPathSize];
  char* name = nullptr;
  DWORD length = GetFullPathNameA(path.c_str(), sizeof(full), full, &name);
  if (length == 0 || length >= sizeof(full)) return false;
  char longer[kPathSize];
  length = GetLongPathNameA(full, longer, sizeof(longer));
  if (length != 0 && length < sizeof(longer)) {
    *normal = longer;
    return true;
  }
  // A file that does not exist yet: its folder's long form and its name.
  std::string text = full;
  const size_t slash = text.rfind('\\');
  if (slash != std::string::npos && slash + 1 < text.size()) {
    length = GetLongPathNameA(text.substr(0, slash + 1).c_str(), longer, sizeof(longer));
    if (length != 0 && length < sizeof(longer)) {
      std::string folder = longer;
      if (folder.back() != '\\') folder += '\\';
      text = folder + text.substr(slash + 1);
      if (text.size() >= kPathSize) return false;
    }
  }
  *normal = text;
  return true;
}

namespace {
// Whether normal (a normalised path) names one of the updater's own files
// in working (the normalised working folder): directly in it, or anywhere
// below its logs folder.
bool IsOwnBelow(const std::string& normal, const std::string& working) {
  if (working.empty() || !BeginsWithNoCase(normal, working)) return false;
  const std::string rest = normal.substr(working.size());
  return IsUpdaterOwnName(rest.substr(0, rest.find('\\')));
}
}  // namespace

bool IsUpdaterOwnPath(const std::string& path) {
  std::string normal;
  return NormalisePath(path, &normal) && IsOwnBelow(normal, NormalWorkingFolder());
}

CZOwnPathCheck::CZOwnPathCheck(const std::string& folder)
    : m_given(folder), m_working(NormalWorkingFolder()) {
  if (m_working.empty() || !NormalisePath(folder, &m_folder)) m_folder.clear();
  if (!m_folder.empty() && m_folder.back() != '\\') m_folder += '\\';
}

bool CZOwnPathCheck::IsOwn(const std::string& name) const {
  // A generated short name always holds a '~'.
  if (m_folder.empty() || name.find('~') != std::string::npos)
    return IsUpdaterOwnPath(m_given + "\\" + name);
  char full[kPathSize];
  char* file = nullptr;
  const DWORD length = GetFullPathNameA((m_folder + name).c_str(), sizeof(full), full, &file);
  if (length == 0 || length >= sizeof(full)) return IsUpdaterOwnPath(m_given + "\\" + name);
  return IsOwnBelow(full, m_working);
}

bool IsUpdaterDownloadPath(const std::string& path) {
  std::string normal;
  if (!NormalisePath(path, &normal)) return false;
  const size_t slash = normal.rfind('\\');
  if (slash == std::string::npos || slash + 1 == normal.size()) return false;
  const std::string folder = normal.substr(0, slash + 1);
  auto normalFolder = [](const std::string& given) {
    std::string out;
    if (given.empty() || !NormalisePath(given, &out)) return std::string();
    if (out.back() != '\\') out += '\\';
    return out;
  };
  for (const std::string* root : {&g_workingFolder, &g_applicationFolder}) {
    const std::string own = normalFolder(*root);
    if (!own.empty() && BeginsWithNoCase(folder, own)) return true;
  }
  char text[kPathSize] = "";
  UINT length = GetSystemDirectoryA(text, sizeof(text));
  if (length != 0 && length < sizeof(text) &&
      _stricmp(folder.c_str(), normalFolder(text).c_str()) == 0)
    return true;
  length = GetTempPathA(sizeof(text), text);
  const std::string temp = length != 0 && length < sizeof(text) ? normalFolder(text) : "";
  if (temp.empty() || !BeginsWithNoCase(folder, temp)) return false;
  // One folder deep: %TEMP%\zupdater-XXXXXXXX\.
  const std::string release = folder.substr(temp.size());
  return BeginsWithNoCase(release, kReleaseFolderPrefix) &&
         release.find('\\') == release.size() - 1;
}

bool IsPathThroughLink(const std::string& path) {
  std::string normal;
  const std::string working = NormalWorkingFolder();
  if (working.empty() || !NormalisePath(path, &normal) || !BeginsWithNoCase(normal, working))
    return false;
  for (size_t at = normal.find('\\', working.size());; at = normal.find('\\', at + 1)) {
    const std::string step = at == std::string::npos ? normal : normal.substr(0, at);
    const DWORD attributes = GetFileAttributesA(step.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
      return true;
    if (at == std::string::npos) return false;
  }
}

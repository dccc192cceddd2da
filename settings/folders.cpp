#include "settings/folders.h"

#include <cstring>

#include "common/bounded_text.h"
#include "common/handles.h"
#include "common/process_state.h"
#include "common/update_log.h"

namespace {

constexpr int kNotChecked = -1;
int g_writeCheck = kNotChecked;
char g_resolvedName[kPathSize];

const char kWriteCheckName[] = "WriteCheck.tmp";
const char kShellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kPerUserSuffix[] = "\\Zindo!\\Corvane\\";

// The updater's own path cut just after its last backslash.
void GetOwnFolder(char* buffer, DWORD size) {
  buffer[0] = '\0';
  DWORD n = GetModuleFileNameA(nullptr, buffer, size);
  if (n == 0 || n >= size) buffer[n == 0 ? 0 : size - 1] = '\0';
  char* slash = strrchr(buffer, '\\');
  if (slash != nullptr) slash[1] = '\0';
}

bool PathExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool GetPerUserFolder(char* buffer, DWORD size) {
  buffer[0] = '\0';
  HKEY raw = nullptr;
  // Query access only: the shell's own key, read directly.
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
    return false;
  CZUniqueHKey key(raw);
  DWORD read = size - 1;
  if (RegQueryValueExA(key.get(), "AppData", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                       &read) != ERROR_SUCCESS) {
    buffer[0] = '\0';
    return false;
  }
  buffer[read] = '\0';
  if (buffer[0] == '\0') return false;
  AppendBounded(buffer, size, kPerUserSuffix);
  if (!PathExists(buffer)) CreateDirectoryPath(buffer);
  return true;
}

}  // namespace

int CheckFolderWritable() {
  if (g_writeCheck != kNotChecked) return g_writeCheck;
  char path[kPathSize];
  GetOwnFolder(path, sizeof(path));
  AppendBounded(path, kWriteCheckName);
  CZUniqueFile file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    g_writeCheck = 0;
    return 0;
  }
  g_writeCheck = 1;
  file.reset();
  DeleteFileA(path);
  return 1;
}

bool GetWorkingFolder(char* buffer, DWORD size) {
  if (size == 0) return false;
  if (CheckFolderWritable() == 1) {
    GetOwnFolder(buffer, size);
    return buffer[0] != '\0';
  }
  return GetPerUserFolder(buffer, size);
}

void CreateDirectoryPath(const char* path) {
  if (path == nullptr || path[0] == '\0') return;
  char parent[kPathSize];
  CopyBounded(parent, path);
  char* slash = strrchr(parent, '\\');
  if (slash != nullptr)
    *slash = '\0';
  else
    parent[0] = '\0';
  CreateDirectoryPath(parent);
  char full[kPathSize];
  CopyBounded(full, path);
  if (!PathExists(full)) CreateDirectoryA(full, nullptr);
}

void CreatePathPrefixes(const char* path) {
  if (path == nullptr) return;
  char prefix[kPathSize];
  CopyBounded(prefix, path);
  for (char* p = prefix; *p != '\0'; ++p) {
    if (*p != '\\') continue;
    *p = '\0';
    if (prefix[0] != '\0') CreateDirectoryA(prefix, nullptr);
    *p = '\\';
  }
}

const char* ResolveFileName(const char* name, ResolveBase base) {
  memset(g_resolvedName, 0, sizeof(g_resolvedName));
  if (name == nullptr) return g_resolvedName;
  if (strchr(name, '\\') != nullptr) return CopyBounded(g_resolvedName, name);
  const std::string& folder =
      base == ResolveBase::WorkingFolder ? g_workingFolder : g_applicationFolder;
  CopyBounded(g_resolvedName, folder.c_str());
  return AppendBounded(g_resolvedName, name);
}

bool RemoveLeftoverFile(const char* path) {
  if (DeleteFileA(path)) return true;
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND) return true;
  WriteLog("Can not remove %s, %ld\r\n", path, static_cast<long>(error));
  return false;
}

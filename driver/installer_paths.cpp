#include "driver/installer_paths.h"

#include <windows.h>

#include <cstring>

#include "common/bounded_text.h"
#include "common/process_state.h"
#include "common/update_log.h"
#include "package/stored_name.h"

namespace {
const char kDefaultPackageName[] = "zcorv.qpk";

// One plain file name in the folder: no step out of it, and no name that
// Windows opens as a device (a port or the console) instead of a file. The
// installer is the name with its extension made "exe", so the name needs an
// extension of its own that is not "exe" (else package and installer are one
// file), and no trailing dot or blank, which Windows drops.
bool IsSafePackageName(const char* name) {
  if (name[0] == '\0' || strpbrk(name, "\\:") != nullptr || strstr(name, "..") != nullptr ||
      !IsSafeStoredName(name))
    return false;
  const char* dot = strrchr(name, '.');
  const char last = name[strlen(name) - 1];
  return dot != nullptr && dot != name && _stricmp(dot, ".exe") != 0 && last != '.' &&
         last != ' ';
}
}  // namespace

void ChooseInstallerFolder(char* folder) {
  char temp[kPathSize] = "";
  DWORD n = GetTempPathA(kPathSize, temp);
  if (n == 0 || n >= kPathSize) temp[0] = '\0';
  if (temp[0] != '\0') {
    CreateDirectoryA(temp, nullptr);
    DWORD attributes = GetFileAttributesA(temp);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      temp[0] = '\0';
  }
  if (temp[0] == '\0') {
    CopyBounded(folder, kPathSize, g_workingFolder.c_str());
    return;
  }
  CopyBounded(folder, kPathSize, temp);
  size_t length = strlen(folder);
  if (folder[length - 1] != '\\') AppendBounded(folder, kPathSize, "\\");
}

bool BuildInstallerPaths(const char* folder, const char* link, char* package, char* installer) {
  const char* slash = strrchr(link, '/');
  const char* name = slash != nullptr ? slash + 1 : "";
  // The link comes from an unsigned manifest: a name that could leave the
  // folder is not used.
  if (!IsSafePackageName(name)) name = kDefaultPackageName;
  if (strlen(folder) + strlen(name) >= kPathSize) return false;
  CopyBounded(package, kPathSize, folder);
  AppendBounded(package, kPathSize, name);
  CopyBounded(installer, kPathSize, package);
  char* dot = strrchr(installer + strlen(folder), '.');
  if (dot != nullptr) {
    if (static_cast<size_t>(dot - installer) + 4 >= kPathSize) return false;
    strcpy(dot + 1, "exe");
  }
  return true;
}

void BuildInstallerCommand(const char* installer, bool silent, char* command, size_t size) {
  FormatText(command, size, "\"%s\"%s", installer, silent ? " /s" : "");
}

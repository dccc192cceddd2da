#include "driver/installer_paths.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "common/bounded_text.h"
#include "common/process_state.h"
#include "common/update_log.h"
#include "components/manifest_rules.h"

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
  // The link comes from an unsigned manifest: a name that could leave the
  // folder is not used.
  const std::string packageName = ReleasePackageName(link);
  const char* name = packageName.c_str();
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

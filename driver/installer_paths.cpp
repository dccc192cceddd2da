#include "driver/installer_paths.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "common/bounded_text.h"
#include "common/own_names.h"
#include "common/process_state.h"
#include "common/update_log.h"
#include "components/manifest_rules.h"
#include "package/staged_install.h"

namespace {
constexpr int kFolderNameAttempts = 100;

// The folders earlier runs made for their releases: their installers have
// ended or go on running from them (a file in use stays, with its folder).
void RemoveEarlierReleaseFolders(const std::string& temp) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((temp + kReleaseFolderPrefix + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      RemoveFileTree(temp + found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
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
  if (temp[0] != '\0') {
    std::string base = temp;
    if (base.back() != '\\') base += '\\';
    RemoveEarlierReleaseFolders(base);
    // A folder of this run's own, made here and now: no file another program
    // keeps in the temporary folder can be taken for the release's, deleted
    // as a leftover or overwritten by it.
    DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (int attempt = 0; attempt < kFolderNameAttempts;
         ++attempt, seed = seed * 1103515245u + 12345u) {
      char name[32];
      FormatText(name, sizeof(name), "%s%08lx", kReleaseFolderPrefix,
                 static_cast<unsigned long>(seed));
      const std::string candidate = base + name;
      if (candidate.size() + 1 >= kPathSize) break;
      if (CreateDirectoryA(candidate.c_str(), nullptr)) {
        CopyBounded(folder, kPathSize, (candidate + "\\").c_str());
        return;
      }
    }
  }
  CopyBounded(folder, kPathSize, g_workingFolder.c_str());
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

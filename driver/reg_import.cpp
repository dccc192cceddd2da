#include "driver/reg_import.h"

#include <string>

#include "common/bounded_text.h"
#include "common/handles.h"
#include "common/ui_helpers.h"
#include "common/update_log.h"

void BuildRegImportCommand(const char* editorFolder, const char* scriptPath, char* command,
                           size_t size) {
  FormatText(command, size, "\"%s\\regedit.exe\" /s \"%s\"", editorFolder, scriptPath);
}

const char* ChooseRegEditFolder(bool underWow64, const char* windowsFolder,
                                const char* wow64Folder) {
  return underWow64 && wow64Folder != nullptr && wow64Folder[0] != '\0' ? wow64Folder
                                                                         : windowsFolder;
}

bool FindRegEditFolder(char* folder, size_t size) {
  char windowsFolder[kPathSize] = "";
  UINT length = GetWindowsDirectoryA(windowsFolder, sizeof(windowsFolder));
  if (length == 0 || length >= sizeof(windowsFolder)) windowsFolder[0] = '\0';
  BOOL wow64 = FALSE;
  char wow64Folder[kPathSize] = "";
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
    length = GetSystemWow64DirectoryA(wow64Folder, sizeof(wow64Folder));
    if (length == 0 || length >= sizeof(wow64Folder)) wow64Folder[0] = '\0';
  }
  const char* chosen = ChooseRegEditFolder(wow64 != FALSE, windowsFolder, wow64Folder);
  if (chosen[0] == '\0') return false;
  CopyBounded(folder, size, chosen);
  return true;
}

RegImportResult RunRegImport(const char* command, DWORD timeoutMs) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process = {};
  std::string line = command;  // CreateProcessA may write into its command line
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return RegImportResult::kNotStarted;
  CZUniqueKernelHandle thread(process.hThread);
  CZUniqueKernelHandle child(process.hProcess);
  return WaitForObjectWithMessages(child.get(), timeoutMs) ? RegImportResult::kFinished
                                                           : RegImportResult::kStillRunning;
}

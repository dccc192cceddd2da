#include "driver/reg_import.h"

#include <string>

#include "common/bounded_text.h"
#include "common/handles.h"
#include "common/test_hooks.h"
#include "common/ui_helpers.h"
#include "common/update_log.h"

void BuildRegImportCommand(const char* systemFolder, const char* scriptPath, bool underWow64,
                           char* command, size_t size) {
  FormatText(command, size, "\"%s\\reg.exe\" import \"%s\"%s", systemFolder, scriptPath,
             underWow64 ? " /reg:32" : "");
}

bool FindRegImportTool(char* folder, size_t size, bool* underWow64) {
  BOOL wow64 = FALSE;
  *underWow64 = IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
  char system[kPathSize] = "";
  UINT length = GetSystemDirectoryA(system, sizeof(system));
  if (length == 0 || length >= sizeof(system)) return false;
  CopyBounded(folder, size, system);
  return true;
}

RegImportResult RunRegImport(const char* command, DWORD timeoutMs, DWORD* exitStatus) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  std::string line = command;  // CreateProcessA may write into its command line
  ZU_CRASH_POINT("import", command);
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &process))
    return RegImportResult::kNotStarted;
  CZUniqueKernelHandle thread(process.hThread);
  CZUniqueKernelHandle child(process.hProcess);
  if (!WaitForObjectWithMessages(child.get(), timeoutMs)) return RegImportResult::kStillRunning;
  DWORD status = 1;
  if (!GetExitCodeProcess(child.get(), &status)) status = 1;
  if (exitStatus != nullptr) *exitStatus = status;
  return status == 0 ? RegImportResult::kImported : RegImportResult::kFailed;
}

#include "driver/reg_import.h"

#include <string>

#include "common/bounded_text.h"
#include "common/handles.h"
#include "common/ui_helpers.h"
#include "common/update_log.h"

void BuildRegImportCommand(const char* windowsFolder, const char* scriptPath, char* command,
                           size_t size) {
  FormatText(command, size, "\"%s\\regedit.exe\" /s \"%s\"", windowsFolder, scriptPath);
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

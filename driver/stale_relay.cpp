#include "driver/stale_relay.h"

#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <string>

#include "common/test_hooks.h"
#include "settings/own_files.h"

int EndProgramsRunning(const char* path) {
  std::string wanted;
  if (!NormalisePath(path, &wanted)) return 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  int ended = 0;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) continue;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE,
                                 entry.th32ProcessID);
    if (process == nullptr) continue;
    char image[MAX_PATH];
    DWORD size = sizeof(image);
    std::string running;
    if (QueryFullProcessImageNameA(process, 0, image, &size) && NormalisePath(image, &running) &&
        _stricmp(running.c_str(), wanted.c_str()) == 0) {
      ZU_CRASH_POINT("end", image);
      if (TerminateProcess(process, 1)) {
        WaitForSingleObject(process, 5000);
        ++ended;
      }
    }
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return ended;
}

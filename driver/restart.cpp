#include "driver/restart.h"

#include <windows.h>

#include "common/process_state.h"
#include "common/test_hooks.h"
#include "settings/folders.h"

std::string BuildRestartCommand(int selector, const char* savedCommandLine) {
  std::string command = "\"";
  switch (selector) {
    case kRestartTempCopy:
      return command + "ZUDPTEMP.EXE\" " + savedCommandLine;
    case kRestartUpdater:
      return command + "zupdater.exe\" " + savedCommandLine;
    default:
      if (g_hostExeName.empty()) return std::string();
      return command + ResolveFileName(g_hostExeName.c_str(), ResolveBase::ApplicationFolder) +
             "\"";
  }
}

void RestartAtExit() {
  std::string command = BuildRestartCommand(g_nRestartSelector, g_szSavedCommandLine);
  g_applicationFolder.clear();
  g_hostExeName.clear();
  g_workingFolder.clear();
  // The updater names carry no folder: the program search looks first in the
  // folder of the ending program, the working folder.
  if (command.empty()) return;
  ZU_CRASH_POINT("start", command.c_str());
  WinExec(command.c_str(), SW_SHOWNORMAL);
}

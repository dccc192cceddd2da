#include "driver/host_shutdown.h"

#include "common/process_state.h"
#include "common/test_hooks.h"
#include "common/ui_helpers.h"
#include "common/update_log.h"
#include "driver/updater.h"

const char kHostClientWindowClass[] = "ZindoBuddyMain";

bool IsHostClientRunning() { return FindWindowA(kHostClientWindowClass, nullptr) != nullptr; }

std::string BuildKillCommand(const std::string& workingFolder, const std::string& hostExeName) {
  if (hostExeName.empty()) return std::string();
  return "\"" + workingFolder + hostExeName + "\" -kill";
}

int WaitForHostClientToClose(int maxWaits, DWORD waitMs) {
  int waits = 0;
  while (waits < maxWaits && IsHostClientRunning()) {
    WaitWithMessages(waitMs);
    ++waits;
  }
  return waits;
}

void CZUpdater::ShutdownHostClient() {
  if (!IsHostClientRunning()) return;
  WriteLog("Attempting to shutdown Corvane Application\r\n");
  SendKillCommand();
  // A host client that ignores the request is left running after the hour;
  // the replacements that then fail report it.
  WaitForHostClientToClose(kHostShutdownWaits, kHostShutdownWaitMs);
}

void CZUpdater::SendKillCommand() {
  const std::string command = BuildKillCommand(g_workingFolder, g_hostExeName);
  // Whether it starts is not checked: the wait that follows sees the outcome.
  if (command.empty()) return;
  ZU_CRASH_POINT("close host", command.c_str());
  WinExec(command.c_str(), SW_HIDE);
}

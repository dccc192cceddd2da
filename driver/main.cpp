#include <windows.h>

#include "common/process_state.h"
#include "driver/entry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  // Once per process, before anything could post it to the host client.
  g_uTransmitMessage = RegisterWindowMessageA(kTransmitMessageName);
  return ZUpdaterMain(instance, previous, commandLine, show);
}

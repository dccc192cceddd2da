#include <windows.h>

#include "driver/entry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  return ZUpdaterMain(instance, previous, commandLine, show);
}

// Values that outlive the run object: they belong to the process.
#pragma once
#include <windows.h>

#include <string>

#include "common/bounded_text.h"

constexpr int kTitleSize = 100;

// What the exit hook starts.
enum RestartSelector : int {
  kRestartTempCopy = 0,   // ZUDPTEMP.EXE, the freshly downloaded updater
  kRestartUpdater = 1,    // zupdater.exe, after the temporary copy replaced it
  kRestartHostClient = 2  // the host client (any other value)
};

extern char g_szWindowClass[32];
extern char g_szTitle[kTitleSize];
extern HINSTANCE g_hInstance;
extern char g_szSavedCommandLine[kPathSize];
extern HWND g_hMainWindow;
extern int g_nRestartSelector;
// The host client's executable file name, no folder; empty when not known.
extern std::string g_hostExeName;

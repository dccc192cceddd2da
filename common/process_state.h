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

// Process-wide folders. Both end with a backslash; empty means not known.
// The application folder is the host client's, set by the ApplicationName
// setting line; the working folder is kept once the run object resolves it.
extern std::string g_applicationFolder;
extern std::string g_workingFolder;

// The message the host client listens on for new feature settings,
// registered once at process start (0 until then).
extern UINT g_uTransmitMessage;
constexpr char kTransmitMessageName[] = "ZCORV_TRANSMIT";

// Set by the progress window's Cancel button, never reset: a cancel ends the
// current and every later download of the process.
bool IsDownloadCancelled();
void CancelDownloads();

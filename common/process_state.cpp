#include "common/process_state.h"

char g_szWindowClass[32];
char g_szTitle[kTitleSize];
HINSTANCE g_hInstance;
char g_szSavedCommandLine[kPathSize];
HWND g_hMainWindow;
int g_nRestartSelector = kRestartHostClient;
std::string g_hostExeName;
std::string g_applicationFolder;
std::string g_workingFolder;
UINT g_uTransmitMessage = 0;

namespace {
bool g_downloadCancelled = false;
}  // namespace

bool IsDownloadCancelled() { return g_downloadCancelled; }
void CancelDownloads() { g_downloadCancelled = true; }

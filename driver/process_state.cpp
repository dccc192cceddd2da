#include "driver/process_state.h"

char g_szWindowClass[32];
char g_szTitle[kTitleSize];
HINSTANCE g_hInstance;
char g_szSavedCommandLine[kPathSize];
HWND g_hMainWindow;
int g_nRestartSelector = kRestartHostClient;
std::string g_hostExeName;

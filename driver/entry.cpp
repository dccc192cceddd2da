#include "driver/entry.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "common/bounded_text.h"
#include "common/own_names.h"
#include "common/process_state.h"
#include "common/ui_helpers.h"
#include "driver/restart.h"
#include "driver/stale_relay.h"
#include "driver/updater.h"
#include "package/file_version.h"
#include "resources/resource.h"
#include "settings/durable_file.h"
#include "settings/folders.h"
#include "settings/install_records.h"

namespace {

constexpr DWORD kRelayWaitMs = 1000;
constexpr int kReplaceAttempts = 10;
constexpr DWORD kReplaceWaitMs = 500;
constexpr int kStaleCopyAttempts = 2;
constexpr DWORD kStaleCopyWaitMs = 500;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A file's last-write time (100 ns units since 1601); 0 when unreadable. The
// new updater carries its package's server date.
ULONGLONG LastWriteTimeOf(const char* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
  return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

// The temporary copy of a new updater: put itself in place of zupdater.exe
// and have the exit hook start it with the same command line. The copy is
// written beside zupdater.exe under a name of its own, flushed, and renamed
// over it, so that at every instant zupdater.exe is a whole updater, the old
// or the new one; and only a strictly newer updater takes its place.
[[noreturn]] void RelayTemporaryCopy(const char* ownPath) {
  char target[kPathSize], staged[kPathSize];
  bool haveTarget = GetWorkingFolder(target, sizeof(target));
  WaitWithMessages(kRelayWaitMs);
  if (haveTarget) {
    CopyBounded(staged, target);
    AppendBounded(staged, kRelayFileName);
    AppendBounded(target, kUpdaterFileName);
    // A refused copy starts nothing: the installed updater stays as it is.
    if (!IsNewerUpdater(ownPath, target) || !CopyFileFlushed(ownPath, staged)) exit(0);
    bool replaced = false;
    // The old updater may still be ending: its file cannot be replaced
    // while it runs.
    for (int attempt = 0; attempt < kReplaceAttempts && !replaced; ++attempt) {
      replaced = ReplaceFileByRename(staged, target);
      if (!replaced) WaitWithMessages(kReplaceWaitMs);
    }
    // A failed rename leaves the old updater whole; it is started again,
    // told not to fetch this package once more in that run.
    if (!replaced) {
      DeleteFileA(staged);
      SetUnreplacedUpdaterDate(LastWriteTimeOf(ownPath));
    }
    g_nRestartSelector = kRestartUpdater;
    atexit(RestartAtExit);
  }
  exit(0);
}

// Whether path's file name is the new updater's (not merely holds it).
bool IsTemporaryCopyPath(const char* path) {
  const char* slash = strrchr(path, '\\');
  return _stricmp(slash != nullptr ? slash + 1 : path, kNewUpdaterFileName) == 0;
}

void DeleteStaleFile(const char* name) {
  char path[kPathSize];
  if (!GetWorkingFolder(path, sizeof(path))) return;
  AppendBounded(path, name);
  for (int attempt = 0; attempt < kStaleCopyAttempts; ++attempt) {
    if (DeleteFileA(path) || GetLastError() == ERROR_FILE_NOT_FOUND) return;
    WaitWithMessages(kStaleCopyWaitMs);
  }
}

// The new updater of an earlier run, and a relay's copy that was cut short.
// A relay still running from it now is a stale one (the relay that started
// this updater has handed over and ends): one whose start a kill cut off
// never ends, and would hold its file, and every self-update, for ever.
void DeleteStaleTemporaryCopy() {
  DeleteStaleFile(kNewUpdaterFileName);
  char path[kPathSize];
  if (GetWorkingFolder(path, sizeof(path))) {
    AppendBounded(path, kNewUpdaterFileName);
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES && EndProgramsRunning(path) > 0)
      DeleteStaleFile(kNewUpdaterFileName);
  }
  DeleteStaleFile(kRelayFileName);
}

}  // namespace

ATOM RegisterMainClass(HINSTANCE instance) {
  int waits = 0;
  while (FindWindowA(g_szWindowClass, g_szTitle) != nullptr) {
    if (waits == kInstanceWaits) return 0;
    WaitWithMessages(kInstanceWaitMs);
    ++waits;
  }
  WNDCLASSA wc = {};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszMenuName = ZUPDATER_MENU_NAME;
  wc.lpszClassName = g_szWindowClass;
  return RegisterClassA(&wc);
}

bool InitInstance(HINSTANCE instance) {
  g_hInstance = instance;
  char ownPath[kPathSize] = "";
  DWORD n = GetModuleFileNameA(nullptr, ownPath, sizeof(ownPath));
  if (n >= sizeof(ownPath)) ownPath[sizeof(ownPath) - 1] = '\0';
  if (IsTemporaryCopyPath(ownPath)) RelayTemporaryCopy(ownPath);

  DeleteStaleTemporaryCopy();

  g_hMainWindow = CreateWindowExA(0, g_szWindowClass, g_szTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
  if (g_hMainWindow == nullptr) return false;
  ShowWindow(g_hMainWindow, SW_HIDE);
  return true;
}

int ZUpdaterMain(HINSTANCE instance, HINSTANCE previous, char* commandLine, int /*show*/) {
  CopyBounded(g_szWindowClass, "PATCHKEEPER");
  LoadStringA(instance, IDS_APP_TITLE, g_szTitle, sizeof(g_szTitle));
  CopyBounded(g_szSavedCommandLine, commandLine);

  if (previous == nullptr && RegisterMainClass(instance) == 0) return 0;
  if (!InitInstance(instance)) return 0;

  if (CheckFolderWritable() == 1) {
    CZUpdater* updater = new (std::nothrow) CZUpdater(g_hMainWindow, commandLine);
    if (updater != nullptr && updater->IsReady() && updater->OpenInternet()) {
      if (updater->RunUpdate() != 0) {
        atexit(RestartAtExit);
        delete updater;
        exit(0);
      }
      delete updater;
      g_hostExeName.clear();
      g_applicationFolder.clear();
      g_workingFolder.clear();
    } else {
      delete updater;
    }
  }
  PostQuitMessage(0);
  return 0;
}

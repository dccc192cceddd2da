#include "x_display.h"

#include <cstdio>

#include "test_support.h"

namespace {
const char kXdotool[] = "/usr/bin/xdotool";
const char kImport[] = "/usr/bin/import";

// The Unix path of a Windows path, through Wine's own mapping.
std::string UnixPath(const std::string& windowsPath) {
  using ToUnix = char*(CDECL*)(LPCWSTR);
  auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (toUnix == nullptr) return std::string();
  wchar_t wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH);
  char* unixPath = toUnix(wide);
  if (unixPath == nullptr) return std::string();
  std::string path = unixPath;
  HeapFree(GetProcessHeap(), 0, unixPath);
  return path;
}

// The X window Wine made for a top-level window.
unsigned long XWindowOf(HWND window) {
  return static_cast<unsigned long>(
      reinterpret_cast<ULONG_PTR>(GetPropA(window, "__wine_x11_whole_window")));
}

void Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}
}  // namespace

// Wine starts Unix programs but hands back no process to wait for: a shell
// runs the program and then writes its exit status to a file that is
// polled for.
bool RunUnixProgram(const std::string& commandLine, DWORD timeoutMs) {
  static unsigned counter = 0;
  std::string done = TestProgramFolder() + "unix_status_" + std::to_string(GetCurrentProcessId()) +
                     "_" + std::to_string(counter++) + ".txt";
  DeleteFileA(done.c_str());
  std::string unixDone = UnixPath(done);
  if (unixDone.empty()) return false;
  std::string line =
      "/bin/sh -c \"" + commandLine + " >/dev/null 2>&1; echo $? > '" + unixDone + "'\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return false;
  if (process.hThread != nullptr) CloseHandle(process.hThread);
  if (process.hProcess != nullptr) CloseHandle(process.hProcess);
  DWORD start = GetTickCount();
  std::string status;
  while (GetTickCount() - start < timeoutMs) {
    status = ReadFileText(done);
    if (status.find('\n') != std::string::npos) break;
    Sleep(20);
  }
  DeleteFileA(done.c_str());
  return status == "0\n";
}

bool PressKeysOnDisplay(HWND window, const std::string& keys, HWND focus) {
  unsigned long xWindow = XWindowOf(window);
  if (xWindow == 0) return false;
  char command[512];
  snprintf(command, sizeof(command), "%s windowfocus --sync %lu", kXdotool, xWindow);
  if (!RunUnixProgram(command, 10000)) return false;
  // Wine activates the window when it hears of the focus.
  DWORD start = GetTickCount();
  while (GetForegroundWindow() != window && GetTickCount() - start < 3000) {
    Pump();
    Sleep(20);
  }
  if (focus != nullptr) SetFocus(focus);
  snprintf(command, sizeof(command), "%s key --delay 60 %s", kXdotool, keys.c_str());
  return RunUnixProgram(command, 10000);
}

std::string SaveWindowPicture(HWND window, const std::string& name) {
  // Everything painted reaches the display before the picture is taken.
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Pump();
  GdiFlush();
  Sleep(300);
  Pump();
  std::string folder = TestProgramFolder() + "screenshots\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string path = folder + name + ".png";
  DeleteFileA(path.c_str());
  std::string unixPath = UnixPath(path);
  RECT rect;
  if (unixPath.empty() || !GetWindowRect(window, &rect)) return std::string();
  char command[1024];
  snprintf(command, sizeof(command), "%s -window root -crop %ldx%ld+%ld+%ld +repage %s", kImport,
           rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top, unixPath.c_str());
  if (!RunUnixProgram(command, 20000) || !FileExists(path)) return std::string();
  return path;
}

#include "running_host.h"

#include <algorithm>

namespace {
const char kHostWindowClass[] = "ZindoBuddyMain";
constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kMessageTimeoutMs = 10000;
constexpr DWORD kEndTimeoutMs = 10000;
}  // namespace

CZRunningHostClient::CZRunningHostClient(const char* program) {
  std::string exe = m_folder / "murvo.exe";
  if (!CopyFileA((TestProgramFolder() + program).c_str(), exe.c_str(), FALSE)) return;
  std::string line = "\"" + exe + "\" -window";
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                      m_folder.path().c_str(), &si, &m_process)) {
    m_process = {};
    return;
  }
  // The program writes window.txt once its window is up.
  m_up = WaitUntil([this] { return FileExists(m_folder / "window.txt"); }, kStartTimeoutMs) &&
         FindWindowA(kHostWindowClass, nullptr) != nullptr;
}

CZRunningHostClient::~CZRunningHostClient() {
  if (m_process.hProcess == nullptr) return;
  HWND window = FindWindowA(kHostWindowClass, nullptr);
  if (window != nullptr) PostMessageA(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(m_process.hProcess, kEndTimeoutMs) != WAIT_OBJECT_0)
    TerminateProcess(m_process.hProcess, 1);
  CloseHandle(m_process.hThread);
  CloseHandle(m_process.hProcess);
}

std::string CZRunningHostClient::Received() const {
  return ReadFileText(m_folder / "transmit.txt");
}

std::string CZRunningHostClient::WaitForMessages(size_t count) const {
  WaitUntil(
      [&] {
        std::string text = Received();
        return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) >= count;
      },
      kMessageTimeoutMs);
  return Received();
}

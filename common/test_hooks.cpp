#include "common/test_hooks.h"

#ifdef ZUPDATER_TEST_HOOKS
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {
// The value of an environment variable; empty when unset.
std::string EnvironmentText(const char* name) {
  char text[1024] = "";
  const DWORD n = GetEnvironmentVariableA(name, text, sizeof(text));
  return n == 0 || n >= sizeof(text) ? std::string() : std::string(text);
}

std::string ReadAll(HANDLE file) {
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got != 0)
    text.append(buffer, got);
  return text;
}

// Whether line holds the parts of pattern (split at '*') in their order.
bool HoldsInOrder(const std::string& line, const std::string& pattern) {
  size_t at = 0, begin = 0;
  for (;;) {
    const size_t end = pattern.find('*', begin);
    const std::string part = pattern.substr(begin, end == std::string::npos ? end : end - begin);
    at = line.find(part, at);
    if (at == std::string::npos) return false;
    at += part.size();
    if (end == std::string::npos) return true;
    begin = end + 1;
  }
}
}  // namespace

unsigned TestTimeScale() {
  const std::string text = EnvironmentText("ZUPDATER_TEST_TIME_SCALE");
  if (text.empty()) return 1;
  char* end = nullptr;
  const unsigned long scale = strtoul(text.c_str(), &end, 10);
  if (*end != '\0' || scale < 1 || scale > 1000000) return 1;
  return static_cast<unsigned>(scale);
}

void PassCrashPoint(const char* step, const char* detail) {
  const std::string log = EnvironmentText("ZUPDATER_CRASH_LOG");
  if (log.empty()) return;
  // One process at a time counts and appends: the updater's processes
  // overlap while one hands over to the next.
  HANDLE lock = CreateMutexA(nullptr, FALSE, "ZupdaterTestCrashLog");
  if (lock != nullptr) WaitForSingleObject(lock, INFINITE);
  HANDLE file =
      CreateFileA(log.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool crash = false;
  if (file != INVALID_HANDLE_VALUE) {
    const std::string steps = ReadAll(file);
    unsigned long number = 1;
    for (char c : steps) number += c == '\n';
    std::string line = std::to_string(number) + " " + step + " " + (detail ? detail : "") + " " +
                       std::to_string(GetCurrentProcessId()) + "\n";
    const std::string at = EnvironmentText("ZUPDATER_CRASH_AT");
    char* end = nullptr;
    const unsigned long atNumber = at.empty() ? 0 : strtoul(at.c_str(), &end, 10);
    if (!at.empty() && *end == '\0')
      crash = atNumber == number;
    else if (!at.empty() && HoldsInOrder(line, at))
      // A text names its first step only.
      crash = steps.find(" CRASH\n") == std::string::npos;
    if (crash) line.insert(line.size() - 1, " CRASH");
    SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    FlushFileBuffers(file);
    CloseHandle(file);
  }
  if (lock != nullptr) {
    ReleaseMutex(lock);
    CloseHandle(lock);
  }
  if (crash) TerminateProcess(GetCurrentProcess(), 3);
}
#endif

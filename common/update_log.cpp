#include "common/update_log.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "common/bounded_text.h"

namespace {
constexpr size_t kLogLineSize = 1024;
int g_logging = 0;
HANDLE g_hLogFile = INVALID_HANDLE_VALUE;

void WriteText(const char* text) {
  DWORD written = 0;
  WriteFile(g_hLogFile, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
}
}  // namespace

int FormatTextV(char* buffer, size_t size, const char* format, va_list args) {
  if (size == 0) return -1;
  int n = _vsnprintf(buffer, size - 1, format, args);
  buffer[size - 1] = '\0';
  return n;
}

int FormatText(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = FormatTextV(buffer, size, format, args);
  va_end(args);
  return n;
}

void WriteLog(const char* format, ...) {
  if (!g_logging) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  char date[16], time[16], line[kLogLineSize];
  FormatText(date, sizeof(date), "%02u/%02u/%02u", now.wMonth, now.wDay, now.wYear % 100);
  FormatText(time, sizeof(time), "%02u:%02u:%02u", now.wHour, now.wMinute, now.wSecond);
  FormatText(line, sizeof(line), "%s %s ", date, time);
  WriteText(line);
  va_list args;
  va_start(args, format);
  FormatTextV(line, sizeof(line), format, args);
  va_end(args);
  WriteText(line);
}

void StartUpdateLog(const char* workingFolder) {
  g_logging = 1;
  char path[kPathSize];
  CopyBounded(path, workingFolder);
  AppendBounded(path, "\\logs\\updater.log");
  if (g_hLogFile != INVALID_HANDLE_VALUE) CloseHandle(g_hLogFile);
  g_hLogFile = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
}

void StopUpdateLog() {
  if (g_hLogFile != INVALID_HANDLE_VALUE) CloseHandle(g_hLogFile);
  g_hLogFile = INVALID_HANDLE_VALUE;
  // Nothing is logged after the run object is gone.
  g_logging = 0;
}

bool IsUpdateLogOn() { return g_logging != 0; }

// The optional plain-text trace of a run: logs\updater.log in the working
// folder, rewritten at each run while the host client asks for it.
#pragma once
#include <cstdarg>
#include <cstddef>

// Formats into buffer, never past size - 1 characters, and always ends the
// buffer with a zero. Returns the formatter's count (negative when cut).
int FormatText(char* buffer, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int FormatTextV(char* buffer, size_t size, const char* format, va_list args);

// Writes "MM/DD/YY HH:MM:SS " and the message when logging is on. Messages
// carry their own line ends; one longer than 1023 characters is cut.
void WriteLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Switches logging on and creates the log file in the working folder
// (which ends with a backslash). Logging stays on when the file cannot be
// created; every write then fails silently.
void StartUpdateLog(const char* workingFolder);
// Closes the log file; nothing is logged afterwards.
void StopUpdateLog();
bool IsUpdateLogOn();

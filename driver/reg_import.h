// Importing the vendor's registry script with the system's registry editor.
#pragma once
#include <windows.h>

#include <cstddef>

// '"' windowsFolder '\regedit.exe" /s "' scriptPath '"', cut to size - 1.
void BuildRegImportCommand(const char* windowsFolder, const char* scriptPath, char* command,
                           size_t size);

enum class RegImportResult { kFinished, kNotStarted, kStillRunning };

// Starts command with a normal window and waits for it to end, dispatching
// this thread's messages, at most timeoutMs.
RegImportResult RunRegImport(const char* command, DWORD timeoutMs);

// Importing the vendor's registry script with the system's reg.exe. Not the
// registry editor: regedit.exe asks for the highest rights available, so
// that an administrator under User Account Control cannot start it from this
// program (which runs as invoker: error 740), and its exit status says
// nothing of the import (0 even for a script that is not there). reg.exe
// asks for no rights of its own and ends with 0 only when the whole script
// was imported.
#pragma once
#include <windows.h>

#include <cstddef>

// '"' systemFolder '\reg.exe" import "' scriptPath '"', with " /reg:32" when
// this 32-bit program runs under 64-bit Windows (WOW64): the script then
// goes to the 32-bit views of HKLM\SOFTWARE and HKCU\Software\Classes that
// the 32-bit host client reads. Cut to size - 1.
void BuildRegImportCommand(const char* systemFolder, const char* scriptPath, bool underWow64,
                           char* command, size_t size);
// The system folder and whether this process runs under WOW64. False when
// the folder cannot be had.
bool FindRegImportTool(char* folder, size_t size, bool* underWow64);

enum class RegImportResult { kImported, kFailed, kNotStarted, kStillRunning };

// Starts command without a window and waits for it to end, dispatching this
// thread's messages, at most timeoutMs. *exitStatus (when given) is the
// tool's exit status once it has ended: 0 is kImported, any other kFailed.
RegImportResult RunRegImport(const char* command, DWORD timeoutMs, DWORD* exitStatus = nullptr);

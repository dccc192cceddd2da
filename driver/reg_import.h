// Importing the vendor's registry script with the system's registry editor.
#pragma once
#include <windows.h>

#include <cstddef>

// '"' editorFolder '\regedit.exe" /s "' scriptPath '"', cut to size - 1.
void BuildRegImportCommand(const char* editorFolder, const char* scriptPath, char* command,
                           size_t size);

// The folder of the registry editor that writes where this 32-bit program
// reads: under 64-bit Windows (WOW64) the Windows folder's regedit.exe is the
// 64-bit editor, whose HKLM\SOFTWARE and HKCU\Software\Classes are not the
// views the 32-bit host client sees, so the 32-bit editor in wow64Folder
// (SysWOW64) is taken; elsewhere the Windows folder's.
const char* ChooseRegEditFolder(bool underWow64, const char* windowsFolder,
                                const char* wow64Folder);
// The same for this process: asks Windows whether it runs under WOW64 and
// where the folders are. False when no folder can be had.
bool FindRegEditFolder(char* folder, size_t size);

enum class RegImportResult { kFinished, kNotStarted, kStillRunning };

// Starts command with a normal window and waits for it to end, dispatching
// this thread's messages, at most timeoutMs.
RegImportResult RunRegImport(const char* command, DWORD timeoutMs);

// Start-up and lifetime of the updater process.
#pragma once
#include <windows.h>

// The program's entry: always returns 0.
int ZUpdaterMain(HINSTANCE instance, HINSTANCE previous, char* commandLine, int show);

// Waits out an earlier updater window (at most 11 waits of 500 ms), then
// registers the main window class. The class atom, 0 on failure.
ATOM RegisterMainClass(HINSTANCE instance);

// Relays to a new updater when this program is its temporary copy (does not
// return then), removes a stale temporary copy and creates the hidden main
// window. False when the window cannot be created.
bool InitInstance(HINSTANCE instance);

// How many 500 ms waits RegisterMainClass makes for an earlier instance.
constexpr int kInstanceWaits = 11;
constexpr DWORD kInstanceWaitMs = 500;

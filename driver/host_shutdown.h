// Closing the host client before its files are replaced: it is asked to close
// itself through its own -kill switch, never ended by force.
#pragma once
#include <windows.h>

#include <string>

// The host client's main window class, whatever its title.
extern const char kHostClientWindowClass[];
// How long ShutdownHostClient waits for the window to go: 3600 one-second waits.
constexpr int kHostShutdownWaits = 3600;
constexpr DWORD kHostShutdownWaitMs = 1000;

bool IsHostClientRunning();

// "<working folder><host exe>" -kill, the host client's executable in
// quotes; empty when no host executable name is known.
std::string BuildKillCommand(const std::string& workingFolder, const std::string& hostExeName);

// Looks for the host client's window, and while it is there waits waitMs
// (dispatching messages) and looks again, at most maxWaits times. The first
// look comes without a wait. Returns the number of waits made.
int WaitForHostClientToClose(int maxWaits, DWORD waitMs);

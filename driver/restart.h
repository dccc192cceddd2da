// What the updater starts once it has ended: the restart command and the
// exit hook that runs it.
#pragma once
#include <string>

// The command the exit hook runs for selector: "ZUDPTEMP.EXE" or
// "zupdater.exe" in quotes followed by a space and the saved command line,
// or the host client's path in quotes. Empty when there is nothing to start.
std::string BuildRestartCommand(int selector, const char* savedCommandLine);

// Process exit hook: starts what the restart selector names.
void RestartAtExit();

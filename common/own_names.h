// The names of the updater's own files in its working folder. No page,
// manifest or release may name one of them as something to install or start:
// whoever could, could replace or roll back the updater. No Win32 here.
#pragma once
#include <string>

// The updater's own program.
constexpr char kUpdaterFileName[] = "zupdater.exe";
// The new updater while it waits to replace the old one, and its download.
constexpr char kNewUpdaterFileName[] = "ZUDPTEMP.EXE";
constexpr char kNewUpdaterImageName[] = "ZUDPTEMP.EX_";
// The new updater while the relay puts it in place of the old one.
constexpr char kRelayFileName[] = "zupdater.new";
// The start of the name of each folder a run makes for a release in the
// temporary folder.
constexpr char kReleaseFolderPrefix[] = "zupdater-";

// True when name, as Windows reads a file name (case-folded, trailing dots
// and blanks dropped), is one of the updater's own: zupdater.exe,
// ZUDPTEMP.EXE and ZUDPTEMP.EX_, zupdater.new, components.ini, update.reg,
// update_reg.qpk, WriteCheck.tmp and the logs folder.
bool IsUpdaterOwnName(const std::string& name);

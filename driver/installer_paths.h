// Where a host client release's package and installer go, and how the
// installer is started.
#pragma once
#include <cstddef>

// A folder of the run's own, made afresh in the system's temporary folder
// (zupdater-XXXXXXXX, after the folders of earlier runs are removed as far
// as nothing in them runs), else the working folder; ends with a backslash.
// folder has kPathSize bytes.
void ChooseInstallerFolder(char* folder);

// package: folder and the link's last segment; a link without a slash, or
// whose last segment is empty, holds '\', ':' or ".." or names a device
// (CON, NUL, COM1 ...), gives zcorv.qpk.
// installer: the package path with the file name's extension replaced by
// "exe" (the package path itself when the name has no dot). Both buffers
// have kPathSize bytes; false when a path would not fit whole.
bool BuildInstallerPaths(const char* folder, const char* link, char* package, char* installer);

// '"' installer '"', and " /s" when silent.
void BuildInstallerCommand(const char* installer, bool silent, char* command, size_t size);

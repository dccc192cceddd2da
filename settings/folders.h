// The working folder, folder chains and bare-name resolution. Paths are
// narrow texts of at most 259 characters.
#pragma once
#include <windows.h>

#include <string>

// 1 when the updater's own folder is writable, 0 when not. Computed once per
// process: later calls do not touch the disk.
int CheckFolderWritable();

// Fills buffer with the working folder (ending with a backslash): the
// updater's own folder when writable, else a per-user folder under the
// user's application data. False, with the empty text, when neither can be
// had.
bool GetWorkingFolder(char* buffer, DWORD size);

// Creates the folder and every missing parent, outermost first. Failures are
// left for the later file operation to report.
void CreateDirectoryPath(const char* path);

// Creates every folder named before each backslash of path (not the file
// name after the last one).
void CreatePathPrefixes(const char* path);

// Deletes a file left from an earlier run, which must not pass for a new
// download's result. True when it is gone (or never was); otherwise logs
// "Can not remove" with the error.
bool RemoveLeftoverFile(const char* path);

enum class ResolveBase { WorkingFolder, ApplicationFolder };

// A name holding a backslash is returned as it is; a bare name is joined to
// the chosen base folder. The result lives in one process-wide buffer that
// each call overwrites.
const char* ResolveFileName(const char* name, ResolveBase base);

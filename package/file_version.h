// The fixed file version of an executable or library on disk.
#pragma once
#include <windows.h>

// high: major * 65536 + minor; low: build * 65536 + revision. False when the
// file or its version resource cannot be read; the out values are then left
// as they were.
bool GetFileVersion(const char* path, DWORD* high, DWORD* low);

// The one rule for every updater that would take the installed one's place
// (the self-update, the relay): the candidate's version is strictly higher
// than the installed one's, so that no genuinely signed older or equal build
// can roll the updater back or swap it. A candidate without a version never
// is; a missing installed file, or one without a version, leaves the
// signature alone to decide.
bool IsNewerUpdater(const char* candidatePath, const char* installedPath);

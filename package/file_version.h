// The fixed file version of an executable or library on disk.
#pragma once
#include <windows.h>

// high: major * 65536 + minor; low: build * 65536 + revision. False when the
// file or its version resource cannot be read; the out values are then left
// as they were.
bool GetFileVersion(const char* path, DWORD* high, DWORD* low);

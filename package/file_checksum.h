// The two numbers a component's manifest section may give for its
// downloaded package: Size1, the additive checksum, and Size2, the CRC-32.
// The routines write their diagnostics to standard error, not to the log.
#pragma once
#include <windows.h>

// The additive checksum of the whole file, read through a mapping. An empty
// file cannot be mapped and so always fails.
bool FileChecksum(const char* path, DWORD* value);
// The file's CRC-32, read in 32768-byte blocks. An empty file gives 0.
bool FileCRC(const char* path, DWORD* value);

// True when every expected value that section of manifestPath sets (Size1
// for the checksum, Size2 for the CRC) matches imagePath. A value that is
// missing, empty, not numeric or 0 skips its check.
bool CheckFileSizes(const char* imagePath, const char* section, const char* manifestPath);

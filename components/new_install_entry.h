// The manifest's numbered offers of a new host client release:
// [New Install1], [New Install2], ... each naming the version a file must
// reach and the link of the installer package.
#pragma once
#include <cstddef>

// Tests section "New Install<number>". Returns 1 when this entry ends the
// search: the compared file is older than its Version, and either the
// offer was refused before (Requirement 3 and [New Install] VersionNew
// equal to the recorded LastUpdateVersion: link left alone) or link holds
// its Link (cut to linkSize) and *silent its Silent (default 1). Returns 0
// to go on with the next number: the file (CmpFileName in compareFolder,
// defaultCompareName when absent) has no readable version or is not
// older. A section without Version sets *endOfList and returns 0.
int CheckNewInstallEntry(const char* manifestPath, const char* compareFolder,
                         const char* defaultCompareName, int number, char* link, size_t linkSize,
                         int* endOfList, int* silent);

// Files that must be whole on disk before they replace anything: a power cut
// after the rename that makes a file live must not leave the new name with
// no data behind it.
#pragma once

// Copies from into to (made afresh) and flushes it. False, with to removed,
// when any of it fails.
bool CopyFileFlushed(const char* from, const char* to);

// Renames from over to (to may exist) and asks the system to finish the
// rename on disk before it returns.
bool ReplaceFileByRename(const char* from, const char* to);

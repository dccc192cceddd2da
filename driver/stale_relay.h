// A relay (the new updater's temporary copy) whose start was cut off by a
// kill of the updater that started it never runs and never ends: Windows
// leaves a process whose parent died inside CreateProcess suspended. It
// keeps its file open, so no later self-update could replace that file.
#pragma once

// Ends every process running the program at path (compared as Windows
// resolves it); the number ended.
int EndProgramsRunning(const char* path);

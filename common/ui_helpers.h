// Waiting without freezing the updater's windows, and string resources.
#pragma once
#include <windows.h>

// Waits ms milliseconds while dispatching every message of the thread.
// Returns the milliseconds that really passed.
DWORD WaitWithMessages(DWORD ms);

// Waits until object is signalled, at most ms milliseconds, dispatching every
// message of the thread meanwhile. True when it was signalled.
bool WaitForObjectWithMessages(HANDLE object, DWORD ms);

// Loads string resource id into one shared 260-byte buffer (overwritten by
// every call); a missing resource gives the empty text.
const char* LoadText(UINT id);

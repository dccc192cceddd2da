// The one download progress dialog of the process.
#pragma once
#include <windows.h>

// The dialog, created modeless from its resource on first use and reused;
// null when it cannot be created.
HWND EnsureProgressDialog();
HWND ProgressDialog();
// Destroys the dialog if it exists; the next download that shows progress
// creates a new one.
void DestroyProgressDialog();

// The X display the tests' windows are on (Xvfb, see scripts/with-wine.sh),
// reached through programs of the machine that runs Wine: real key presses
// with xdotool and pictures with ImageMagick's import.
#pragma once
#include <windows.h>

#include <string>

// Runs a program of the machine running Wine (absolute Unix path and its
// arguments) and waits for it; false when it did not start or end in time.
bool RunUnixProgram(const std::string& commandLine, DWORD timeoutMs);

// Gives window's X window the keyboard focus (and then focus, a child of
// it, the window's) and presses keys there, xdotool key names separated by
// blanks ("Return", "Escape", "alt+F4", "ctrl+o"); window is a top-level
// window. Dispatch messages afterwards to see their effect.
bool PressKeysOnDisplay(HWND window, const std::string& keys, HWND focus = nullptr);

// Saves the part of the display that window covers (frame included) as
// screenshots\<name>.png beside the test programs; the path, or empty.
std::string SaveWindowPicture(HWND window, const std::string& name);

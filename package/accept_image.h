// The gate through which every downloaded package image reaches the disk.
#pragma once
#include <windows.h>

// Verifies the image, extracts it next to itself, requires targetPath to be
// there afterwards and stamps it with serverFileTime (100 ns units since
// 1601, UTC); the image is deleted in every case. True when accepted.
bool ExtractSignedImage(const char* imagePath, const char* targetPath, ULONGLONG serverFileTime);

// The gate through which every downloaded package image reaches the disk.
#pragma once
#include <windows.h>

#include <functional>

// What a caller asks of an image beyond its signature and its target.
struct CZAcceptRules {
  // The image may hold no file but the target (a component placed in the
  // system folder must not bring others along).
  bool onlyTarget = false;
  // Looks at the target where it waits before anything is committed; false
  // refuses the image (the approver logs why).
  std::function<bool(const char* stagedTarget)> approveTarget;
  // Runs once the target is in and stamped, while the old files are still
  // kept: a run cut off before the image's end puts them back.
  std::function<void(const char* target)> afterInstall;
};

// Puts back what runs cut off during an extraction left (see
// PendingPackages) and removes their images and the files they were
// downloading; logs each. A record outside the updater's folders
// (IsUpdaterDownloadPath) is only forgotten. Runs first in a run.
void RecoverUnfinishedUpdates();

// Verifies the image, extracts it next to itself, requires targetPath to be
// there afterwards and stamps it with serverFileTime (100 ns units since
// 1601, UTC); the image is deleted in every case. The image is pending
// (PendingPackages) until it is gone. True when accepted.
bool ExtractSignedImage(const char* imagePath, const char* targetPath, ULONGLONG serverFileTime,
                        const CZAcceptRules& rules = CZAcceptRules());

// The acceptance gate: every downloaded package image reaches the disk only
// through ExtractSignedImage.
#include "package/accept_image.h"

#include <cstring>

#include "common/bounded_text.h"
#include "common/handles.h"
#include "common/test_hooks.h"
#include "common/update_log.h"
#include "package/cabinet.h"
#include "package/package_key.h"
#include "package/staged_install.h"
#include "settings/install_records.h"
#include "settings/own_files.h"

namespace {
// Stamps the file with the run's server date so that later date checks see
// it as the server's copy. False when the file is not there.
bool StampTarget(const char* targetPath, ULONGLONG serverTime) {
  CZUniqueFile target(CreateFileA(targetPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!target.valid()) {
    WriteLog("Downloaded file %s not exist!\r\n", targetPath);
    return false;
  }
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(serverTime);
  time.dwHighDateTime = static_cast<DWORD>(serverTime >> 32);
  ZU_CRASH_POINT("stamp", targetPath);
  if (!SetFileTime(target.get(), &time, &time, &time)) {
    WriteLog("Can not set file time %s, %ld \r\n", targetPath, static_cast<long>(GetLastError()));
  }
  return true;
}
}  // namespace

bool ExtractSignedImage(const char* imagePath, const char* targetPath, ULONGLONG serverFileTime,
                        const CZAcceptRules& rules) {
  CZCabinet cabinet;
  char folder[kPathSize];
  CopyBounded(folder, imagePath);
  char* slash = strrchr(folder, '\\');
  if (slash != nullptr) *slash = 0;
  // The target is one of the image's own files, named relative to its folder.
  const size_t folderLength = strlen(folder);
  const char* targetName =
      _strnicmp(targetPath, folder, folderLength) == 0 && targetPath[folderLength] == '\\'
          ? targetPath + folderLength + 1
          : "";

  // Until the image is gone, a run cut off here leaves work for the next.
  AddPendingPackage(imagePath);
  bool accepted = false;
  if (cabinet.OpenImage(imagePath) && cabinet.VerifySignature(PackageKey())) {
    CZExtractRules extract;
    extract.requiredName = targetName;
    extract.onlyRequired = rules.onlyTarget;
    extract.approve = rules.approveTarget;
    const bool extracted = targetName[0] != '\0' && cabinet.ExtractTo(folder, extract);
    WriteLog("File signed correctly %s\r\n", imagePath);
    if (!extracted && (targetName[0] == '\0' || cabinet.MissedRequiredName())) {
      // Nothing of such a package is installed.
      WriteLog("Downloaded file %s not exist!\r\n", targetPath);
    } else if (!extracted) {
      if (!cabinet.LayoutFault().empty()) {
        WriteLog("Package %s is not laid out as signed: %s\r\n", imagePath,
                 cabinet.LayoutFault().c_str());
      }
      if (!cabinet.Refusal().empty())
        WriteLog("Package %s refused: %s\r\n", imagePath, cabinet.Refusal().c_str());
      // An older copy of the target may still be there; stamping it would
      // make a stale file pass every later date check as current.
      WriteLog("Can not extract %s\r\n", imagePath);
    } else {
      accepted = StampTarget(targetPath, serverFileTime);
      if (accepted && rules.afterInstall) rules.afterInstall(targetPath);
    }
  } else {
    WriteLog("File NOT signed correctly %s\r\n", imagePath);
  }
  cabinet.Reset();  // ends the commit; closes the decompressor before the image goes
  DiscardDownload(imagePath);
  return accepted;
}

void RecoverUnfinishedUpdates() {
  for (const std::string& image : PendingPackages()) {
    if (!IsUpdaterDownloadPath(image)) {
      WriteLog("Unfinished update record %s is not in the updater's folders, ignored\r\n",
               image.c_str());
      RemovePendingPackage(image);
      continue;
    }
    const size_t restored = RecoverUnfinishedCommit(StagingRootOf(image));
    WriteLog("Update from %s was cut off: %lu installed files put back\r\n", image.c_str(),
             static_cast<unsigned long>(restored));
    DiscardDownload(image.c_str());
  }
}

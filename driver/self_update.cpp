// The updater's own update: a newer zupdater.qpk on the server is fetched,
// accepted as ZUDPTEMP.EXE, and the run ends so that the exit hook hands over
// to it.
#include <cstring>

#include "common/bounded_text.h"
#include "common/process_state.h"
#include "common/update_log.h"
#include "driver/updater.h"
#include "net/download.h"
#include "package/accept_image.h"
#include "package/file_version.h"
#include "settings/folders.h"

namespace {
const char kUpdaterFileName[] = "zupdater.exe";
const char kNewUpdaterName[] = "ZUDPTEMP.EXE";

// folder followed by name into path; false when the whole path does not fit,
// so that no cut name is ever used for a file.
bool JoinPath(char (&path)[kPathSize], const char* folder, const char* name) {
  if (strlen(folder) + strlen(name) >= kPathSize) return false;
  CopyBounded(path, folder);
  AppendBounded(path, name);
  return true;
}

// Whether the new updater is at least the running one's version. An older
// signed package must not roll back a newer updater: a vendor who needs to
// go back ships the old code under a higher version.
bool IsNotOlderThanRunning(const char* newUpdater) {
  char running[kPathSize];
  DWORD length = GetModuleFileNameA(nullptr, running, sizeof(running));
  DWORD runningHigh = 0, runningLow = 0, newHigh = 0, newLow = 0;
  if (length == 0 || length >= sizeof(running) ||
      !GetFileVersion(running, &runningHigh, &runningLow))
    return true;  // nothing to compare with: the signature alone decides
  if (!GetFileVersion(newUpdater, &newHigh, &newLow)) return false;
  return newHigh > runningHigh || (newHigh == runningHigh && newLow >= runningLow);
}
}  // namespace

int CZUpdater::CheckSelfUpdate() {
  char localUpdater[kPathSize];
  const std::string& packageUrl = m_settings.UpdaterPackageUrl();
  if (!JoinPath(localUpdater, g_workingFolder.c_str(), kUpdaterFileName)) return kSelfUpdateFailed;
  if (packageUrl.empty()) return kSelfUpdateFailed;
  char packagePath[kUrlPathSize];
  if (!m_net->GetUrlPath(packageUrl.c_str(), packagePath, sizeof(packagePath)))
    return kSelfUpdateFailed;

  // The package may live on another server than the page: the page's
  // connection waits aside and comes back for the steps that follow.
  HINTERNET pageConnection = m_net->DetachConnection();
  char pageHost[kPathSize];
  int result = kSelfUpdateFailed;
  if (m_net->SetServerFromUrl(packageUrl.c_str(), pageHost, sizeof(pageHost)) &&
      m_net->OpenHttpSession()) {
    if (m_net->IsServerFileNewer(localUpdater, packagePath) == 0)
      result = kSelfUpdateCurrent;
    else
      result = DownloadSelfUpdate(packagePath) ? kSelfUpdateReady : kSelfUpdateFailed;
  }
  // Also without a page connection: the package server's connection must not
  // stand in for the page's server in the later steps.
  m_net->RestoreConnection(pageConnection, pageHost);
  return result;
}

bool CZUpdater::DownloadSelfUpdate(const char* packagePath) {
  char newUpdater[kPathSize], image[kPathSize];
  if (!JoinPath(newUpdater, g_workingFolder.c_str(), kNewUpdaterName)) return false;
  CopyBounded(image, newUpdater);
  image[strlen(image) - 1] = '_';
  // A copy left from an earlier run would pass for the new updater if the
  // package did not deliver one.
  if (!RemoveLeftoverFile(newUpdater)) return false;

  DWORD length = 0;
  HINTERNET request = m_net->OpenGetRequest(packagePath, &length);
  if (request == nullptr) return false;
  // Straight to the file a chunk at a time: nothing is allocated from the
  // length the server announced.
  if (!m_net->DownloadRequest(request, m_settings.UpdaterPackageUrl().c_str(), nullptr, 0, image,
                              length, kMaxUpdaterPackageSize, false, 0)) {
    // No partial package may stay in the updater's folder.
    DeleteFileA(image);
    return false;
  }
  WriteLog("Successfully downloaded Update File.\r\n");
  if (!ExtractSignedImage(image, newUpdater, m_net->ServerFileTime())) return false;
  if (!IsNotOlderThanRunning(newUpdater)) {
    WriteLog("Refused %s: its version is older than the running updater's\r\n", newUpdater);
    DeleteFileA(newUpdater);
    return false;
  }
  return true;
}

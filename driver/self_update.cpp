// The updater's own update: a newer zupdater.qpk on the server is fetched,
// accepted as ZUDPTEMP.EXE, and the run ends so that the exit hook hands over
// to it.
#include <cstring>
#include <string>

#include "common/bounded_text.h"
#include "common/own_names.h"
#include "common/process_state.h"
#include "common/update_log.h"
#include "driver/updater.h"
#include "net/download.h"
#include "package/accept_image.h"
#include "package/file_version.h"
#include "settings/folders.h"
#include "settings/install_records.h"

namespace {
// folder followed by name into path; false when the whole path does not fit,
// so that no cut name is ever used for a file.
bool JoinPath(char (&path)[kPathSize], const char* folder, const char* name) {
  if (strlen(folder) + strlen(name) >= kPathSize) return false;
  CopyBounded(path, folder);
  AppendBounded(path, name);
  return true;
}

// The updater a new one would replace: zupdater.exe of the working folder,
// or the running program where there is none yet (a working folder of the
// user's own, when the program's folder cannot be written).
std::string InstalledUpdaterPath() {
  char path[kPathSize];
  if (JoinPath(path, g_workingFolder.c_str(), kUpdaterFileName) &&
      GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
    return path;
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
  return length != 0 && length < sizeof(path) ? path : std::string();
}
}  // namespace

int CZUpdater::CheckSelfUpdate() {
  // Only the run right after a relay that could not replace the updater.
  const ULONGLONG unreplaced = TakeUnreplacedUpdaterDate();
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
    if (m_net->IsServerFileNewer(localUpdater, packagePath) == 0) {
      result = kSelfUpdateCurrent;
    } else if (m_net->ServerFileTime() != 0 && m_net->ServerFileTime() == unreplaced) {
      WriteLog("Updater package %s could not replace %s in the last run, not fetched again now\r\n",
               packageUrl.c_str(), localUpdater);
      result = kSelfUpdateCurrent;
    } else if (m_net->ServerFileTime() != 0 && m_net->ServerFileTime() == GetRefusedUpdaterDate()) {
      // Fetching it again would only refuse it again, on every run.
      WriteLog("Updater package %s of this date was refused before, not fetched again\r\n",
               packageUrl.c_str());
      result = kSelfUpdateCurrent;
    } else {
      result = DownloadSelfUpdate(packagePath) ? kSelfUpdateReady : kSelfUpdateFailed;
    }
  }
  // Also without a page connection: the package server's connection must not
  // stand in for the page's server in the later steps.
  m_net->RestoreConnection(pageConnection, pageHost);
  return result;
}

bool CZUpdater::DownloadSelfUpdate(const char* packagePath) {
  char newUpdater[kPathSize], image[kPathSize];
  if (!JoinPath(newUpdater, g_workingFolder.c_str(), kNewUpdaterFileName)) return false;
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
                              length, kMaxUpdaterPackageSize, false, 0))
    return false;
  WriteLog("Successfully downloaded Update File.\r\n");
  // The version is checked where the new updater waits, staged: an older or
  // equal one is refused before any file of its package is committed.
  const std::string installed = InstalledUpdaterPath();
  bool notNewer = false;
  CZAcceptRules rules;
  rules.approveTarget = [&](const char* staged) {
    if (IsNewerUpdater(staged, installed.c_str())) return true;
    WriteLog("Refused %s: its version is not higher than the installed updater's\r\n", newUpdater);
    notNewer = true;
    return false;
  };
  const ULONGLONG serverTime = m_net->ServerFileTime();
  if (ExtractSignedImage(image, newUpdater, serverTime, rules)) return true;
  if (notNewer) SetRefusedUpdaterDate(serverTime);
  return false;
}

// A new release of the host client: the first [New Install<n>] offer that
// applies is asked for, its signed package fetched into the temporary folder,
// and the installer inside it started after the host client has closed.
#include "common/bounded_text.h"
#include "common/process_state.h"
#include "common/test_hooks.h"
#include "common/ui_helpers.h"
#include "common/update_log.h"
#include "driver/installer_paths.h"
#include "driver/server_switch.h"
#include "driver/updater.h"
#include "net/download.h"
#include "net/progress_dialog.h"
#include "package/accept_image.h"
#include "resources/resource.h"
#include "settings/folders.h"
#include "settings/install_records.h"

namespace {
constexpr int kRunEnds = 1;
constexpr int kRunGoesOn = 0;
// WinExec's results up to this one are errors.
constexpr UINT kWinExecLastError = 31;
}  // namespace

bool CZUpdater::FetchHostImage(const char* link, char* package, char* installer) {
  char path[kUrlPathSize];
  if (!m_net->GetUrlPath(link, path, sizeof(path))) return false;
  // The package's server only for this download; the page's comes back after.
  CZServerSwitch server(*m_net, link);
  if (!server.IsConnected()) return false;
  DWORD length = 0;
  HINTERNET request = m_net->OpenGetRequest(path, &length);
  if (request == nullptr) return false;
  ULONGLONG serverTime = 0;
  if (m_net->QueryServerFileTime(path, &serverTime)) m_net->SetServerFileTime(serverTime);
  char folder[kPathSize];
  ChooseInstallerFolder(folder);
  if (!BuildInstallerPaths(folder, link, package, installer)) {
    m_net->CloseRequest(request);
    return false;
  }
  // An installer left from an earlier run must not pass for this package's.
  if (!RemoveLeftoverFile(installer)) {
    m_net->CloseRequest(request);
    return false;
  }
  return m_net->DownloadRequest(request, link, nullptr, 0, package, length,
                                kMaxInstallerPackageSize, true, 0);
}

int CZUpdater::UpdateHostImage() {
  char link[kPathSize] = "";
  int endOfList = 0, silent = 1;
  for (int number = 1; !endOfList; ++number) {
    silent = 1;
    if (CheckNewInstallEntry(number, link, sizeof(link), &endOfList, &silent)) break;
  }
  // An offer refused before, or one without a link, still ends the run.
  if (link[0] == '\0') return endOfList ? kRunGoesOn : kRunEnds;
  if (!PromptForUpdate()) {
    SetLastUpdateVersion();
    return kRunEnds;
  }

  char package[kPathSize], installer[kPathSize];
  if (!FetchHostImage(link, package, installer)) return kRunEnds;
  DestroyProgressDialog();

  if (!ExtractSignedImage(package, installer, m_net->ServerFileTime())) {
    WriteLog("Invalid download file from %s\r\n", link);
    char title[kPathSize];
    CopyBounded(title, LoadText(IDS_APP_TITLE));  // LoadText's buffer is shared
    MessageBoxA(nullptr, LoadText(IDS_UPDATE_FAILED), title, MB_OK);
    return kRunGoesOn;
  }
  WriteLog("Image file extracted to: %s\r\n", installer);
  char command[kPathSize + 8];
  BuildInstallerCommand(installer, silent != 0, command, sizeof(command));
  ShutdownHostClient();
  ZU_CRASH_POINT("start installer", command);
  const UINT started = WinExec(command, SW_SHOWNORMAL);
  if (started <= kWinExecLastError) {
    // The host client was closed for an installer that never ran: it is
    // started again at the run's end, and the log says why.
    WriteLog("Can not start %s, %lu\r\n", command, static_cast<unsigned long>(started));
    DeleteFileA(installer);
    g_nRestartSelector = kRestartHostClient;
    return kRunEndsRestartingHost;
  }
  DeleteFileA(installer);  // fails while the installer runs; that is expected
  return kRunEnds;
}

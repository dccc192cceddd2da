#include "driver/updater.h"

#include <commctrl.h>

#include <cstring>

#include "common/bounded_text.h"
#include "common/process_state.h"
#include "common/update_log.h"
#include "net/client_update_page.h"
#include "net/progress_dialog.h"
#include "package/package_key.h"
#include "settings/folders.h"
#include "settings/install_records.h"
#include "settings/reg_key.h"

namespace {
const char kHostClientServerKey[] = "CLSID\\{6B2F0D31-95C4-4E7A-A1D8-3C5E7F902B46}\\LocalServer32";
const char kHostSettingsKey[] = "SOFTWARE\\Zindo\\Murvo";
constexpr size_t kHostExeNameMax = 257;

// The host client's executable name from its COM class registration: the
// text after the last backslash of the LocalServer32 default value.
std::string ReadRegisteredHostExeName() {
  CZRegKey key(kHostClientServerKey, HKEY_CLASSES_ROOT);
  char path[kPathSize];
  if (!key.QueryString("", path, sizeof(path))) return std::string();
  const char* slash = strrchr(path, '\\');
  std::string name = slash != nullptr ? slash + 1 : path;
  if (name.size() > kHostExeNameMax) name.resize(kHostExeNameMax);
  return name;
}
}  // namespace

CZUpdater::CZUpdater(HWND mainWindow, char* commandLine) : m_hMainWindow(mainWindow) {
  LoadPackageKey();
  m_net = std::make_unique<CZHttpSession>();
  StopUpdateLog();
  m_settings.ParseCommandLine(commandLine);

  char folder[kPathSize];
  if (!GetWorkingFolder(folder, sizeof(folder))) {
    // Nowhere to keep downloads or the log: this run cannot go on.
    WriteLog("Working folder could not be resolved\r\n");
    OutputDebugStringA("zupdater: working folder could not be resolved\n");
    return;
  }
  g_workingFolder = folder;

  if (g_hostExeName.empty()) g_hostExeName = ReadRegisteredHostExeName();

  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  // Any LogUpdate value that reads as 32 bits switches the log on, 0 included.
  CZRegKey settings(kHostSettingsKey, HKEY_CURRENT_USER);
  DWORD logUpdate = 0;
  if (settings.QueryDword("LogUpdate", &logUpdate)) StartUpdateLog(g_workingFolder.c_str());
  m_ready = true;
}

CZUpdater::~CZUpdater() {
  DeleteManifest();
  m_settings.Clear();
  m_net->CloseHandles();
  DestroyProgressDialog();
  m_net.reset();
  StopUpdateLog();
}

int CZUpdater::OpenInternet() { return m_net->OpenInternet(); }

bool CZUpdater::ReadClientUpdatePage() { return ::ReadClientUpdatePage(*m_net, m_settings); }

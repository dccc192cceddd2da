#include "driver/updater.h"

#include <commctrl.h>

#include <cstring>

#include "common/bounded_text.h"
#include "common/command_program.h"
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
// file name of the program its LocalServer32 default value starts, which is
// often quoted or followed by arguments.
std::string ReadRegisteredHostExeName() {
  CZRegKey key(kHostClientServerKey, HKEY_CLASSES_ROOT);
  char command[kPathSize];
  if (!key.QueryString("", command, sizeof(command))) return std::string();
  std::string name = FileNameOfPath(ProgramOfCommand(command));
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
    // Nowhere to keep downloads or the log: this run cannot go on. The log
    // is not open yet, so the debugger output is the only trace.
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

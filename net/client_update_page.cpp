#include <windows.h>

#include "driver/process_state.h"
#include "driver/updater.h"
#include "net/setting_line.h"
#include "settings/folders.h"

bool CZUpdater::ApplySettingLine(const char* line) {
  SettingLine setting;
  if (!ParseSettingLine(line, &setting)) return false;
  const std::string& value = setting.value;
  switch (setting.key) {
    case SettingKey::ApplicationName: {
      std::string folder, exeName;
      if (!SplitApplicationName(value, &folder, &exeName)) return false;
      g_applicationFolder = folder;
      g_hostExeName = exeName;
      return true;
    }
    case SettingKey::ServerPage:
      m_serverPage = value;
      return true;
    case SettingKey::File:
      m_fileSetting = ToLowerAscii(value);
      return true;
    case SettingKey::PatchkeeperFolder:
      m_updaterPackageUrl = BuildUpdaterPackageUrl(value, m_locale);
      return true;
    case SettingKey::MurvoFolder:
      m_packageBaseUrl = BuildPackageBaseUrl(value, m_locale, m_cobrand, m_ligans != 0);
      return true;
    case SettingKey::IPAddrLookup:
      StoreLookupServer(value.c_str());
      return true;
    case SettingKey::HttpServers:
      StoreHttpServers(value.c_str());
      return true;
    case SettingKey::SocketServers:
      StoreSocketServers(value.c_str());
      return true;
  }
  return false;
}

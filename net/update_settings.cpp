#include "net/update_settings.h"

#include <cstring>

#include "common/process_state.h"
#include "common/update_log.h"
#include "net/server_lists.h"
#include "net/setting_line.h"
#include "settings/own_files.h"

void CZUpdateSettings::ParseCommandLine(char* commandLine) {
  if (commandLine == nullptr) return;
  char* piece = commandLine;
  for (;;) {
    char* semicolon = strchr(piece, ';');
    if (semicolon != nullptr) *semicolon = '\0';
    ApplySettingLine(piece);
    if (semicolon == nullptr) break;
    piece = semicolon + 1;
  }
}

bool CZUpdateSettings::ApplySettingLine(const char* line, SettingSource source) {
  SettingLine setting;
  if (!ParseSettingLine(line, &setting)) return false;
  const std::string& value = setting.value;
  switch (setting.key) {
    case SettingKey::ApplicationName: {
      std::string folder, exeName;
      // The unsigned page names the program started at the end of the run:
      // only a plain file in the updater's own working folder, and never the
      // updater itself (which would start again at every run's end).
      if (source == SettingSource::Page &&
          (!IsLocalAbsolutePath(value) || !SplitApplicationName(value, &folder, &exeName) ||
           !EqualsNoCase(folder, g_workingFolder) || exeName.find('/') != std::string::npos ||
           IsUpdaterOwnPath(value))) {
        WriteLog("Refused setting line of the client update page: ApplicationName=%s\r\n",
                 value.c_str());
        return false;
      }
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
      m_updaterPackageUrl = BuildUpdaterPackageUrl(value, m_locale.locale);
      return true;
    case SettingKey::MurvoFolder:
      m_packageBaseUrl =
          BuildPackageBaseUrl(value, m_locale.locale, m_locale.cobrand, m_locale.ligans != 0);
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

void CZUpdateSettings::Clear() {
  m_packageBasePath.clear();
  m_serverPage.clear();
  m_fileSetting.clear();
  m_packageBaseUrl.clear();
  m_updaterPackageUrl.clear();
}

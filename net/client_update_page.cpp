#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "common/bounded_text.h"
#include "driver/process_state.h"
#include "driver/update_log.h"
#include "driver/updater.h"
#include "net/setting_line.h"
#include "net/vendor_hosts.h"
#include "settings/folders.h"
#include "settings/reg_key.h"

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

namespace {
const char kZindoKey[] = "SOFTWARE\\Zindo";
const char kMurvoKey[] = "SOFTWARE\\Zindo\\Murvo";
constexpr DWORD kPageBufferSize = 4096;

// Hands every line of the page to the setting-line handler: cut at each line
// feed, and the rest after the last one when it is not empty.
void ApplyPageLines(CZUpdater* updater, char* text) {
  char* line = text;
  for (char* lf = strchr(line, '\n'); lf != nullptr; lf = strchr(line, '\n')) {
    *lf = '\0';
    updater->ApplySettingLine(line);
    line = lf + 1;
  }
  if (*line != '\0') updater->ApplySettingLine(line);
}
}  // namespace

void CZUpdater::ChooseClientUpdatePage(char* pageUrl) {
  CZRegKey zindo(kZindoKey, HKEY_CURRENT_USER);
  if (!m_serverPage.empty()) {
    CopyBounded(pageUrl, kPathSize, m_serverPage.c_str());
    zindo.SetString("ClientUpdatePage", pageUrl);
    WriteLog("ClientUpdatePage=%s\r\n", pageUrl);
    return;
  }
  if (!zindo.QueryString("ClientUpdatePage", pageUrl, kPathSize)) {
    CopyBounded(pageUrl, kPathSize, DefaultClientUpdatePageUrl().c_str());
    zindo.SetString("ClientUpdatePage", pageUrl);
  } else if (IsOlderClientUpdatePageUrl(pageUrl)) {
    CopyBounded(pageUrl, kPathSize, DefaultClientUpdatePageUrl().c_str());
    zindo.SetString("ClientUpdatePage", pageUrl);
    CZRegKey murvo(kMurvoKey, HKEY_CURRENT_USER);
    murvo.SetString("LatestSocketServerUrl", ServersPageUrl().c_str());
  }
  WriteLog("ClientUpdatePage=%s\r\n", pageUrl);
}

bool CZUpdater::ReadClientUpdatePage() {
  char pageUrl[kPathSize];
  ChooseClientUpdatePage(pageUrl);
  if (!SetServerFromUrl(pageUrl)) return false;
  ReadLocaleSettings();
  if (!OpenHttpSession() || m_hInternet == nullptr) return false;

  char path[kUrlPathSize];
  if (!GetUrlPath(pageUrl, path, sizeof(path))) return false;
  DWORD length = 0;
  HINTERNET request = OpenGetRequest(path, &length);
  if (request == nullptr) return false;
  if (length >= kPageBufferSize) {
    // The page is a few setting lines; anything this large is not one.
    WriteLog("Client update page %s too large: %ld bytes\r\n", pageUrl, static_cast<long>(length));
    m_winInet->InternetCloseHandle(request);
    return false;
  }
  std::unique_ptr<char[]> page(new (std::nothrow) char[kPageBufferSize]());
  if (!page) {
    m_winInet->InternetCloseHandle(request);
    return false;
  }
  // One byte is kept for the terminator; a body shorter than announced ends
  // where it ended, since the buffer starts zeroed.
  if (!DownloadRequest(request, pageUrl, page.get(), kPageBufferSize - 1, nullptr, length, false, 0))
    return false;
  page[length] = '\0';
  ApplyPageLines(this, page.get());
  return !m_packageBaseUrl.empty() && !m_updaterPackageUrl.empty();
}

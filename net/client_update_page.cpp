#include "net/client_update_page.h"

#include <cstring>
#include <memory>
#include <new>

#include "common/bounded_text.h"
#include "common/update_log.h"
#include "net/host_port.h"
#include "net/page_lines.h"
#include "net/vendor_hosts.h"
#include "settings/folders.h"
#include "settings/reg_key.h"

namespace {
const char kZindoKey[] = "SOFTWARE\\Zindo";
const char kMurvoKey[] = "SOFTWARE\\Zindo\\Murvo";

// A page served over TLS may still name plain http folders (the vendor's
// choice); what the packages then travel over is worth one line.
void NotePlainFoldersOfSecurePage(const char* pageUrl, const CZUpdateSettings& settings) {
  if (!IsSecureUrl(pageUrl)) return;
  for (const std::string* folder : {&settings.PackageBaseUrl(), &settings.UpdaterPackageUrl()}) {
    if (IsPlainHttpUrl(*folder)) {
      WriteLog("Secure ClientUpdatePage %s names plain http folders, e.g. %s\r\n", pageUrl,
               folder->c_str());
      return;
    }
  }
}
}  // namespace

void ChooseClientUpdatePage(const CZUpdateSettings& settings, char* pageUrl) {
  CZRegKey zindo(kZindoKey, HKEY_CURRENT_USER);
  if (!settings.ServerPage().empty()) {
    CopyBounded(pageUrl, kPathSize, settings.ServerPage().c_str());
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

bool ReadClientUpdatePage(CZHttpSession& net, CZUpdateSettings& settings) {
  char pageUrl[kPathSize];
  ChooseClientUpdatePage(settings, pageUrl);
  if (!net.SetServerFromUrl(pageUrl)) return false;
  settings.ReadLocaleSettings();
  if (!net.OpenHttpSession() || net.InternetHandle() == nullptr) return false;

  char path[kUrlPathSize];
  if (!net.GetUrlPath(pageUrl, path, sizeof(path))) return false;
  DWORD length = 0;
  HINTERNET request = net.OpenGetRequest(path, &length);
  if (request == nullptr) return false;
  if (length >= kPageBufferSize) {
    // The page is a few setting lines; anything this large is not one.
    WriteLog("Client update page %s too large: %ld bytes\r\n", pageUrl, static_cast<long>(length));
    net.CloseRequest(request);
    return false;
  }
  std::unique_ptr<char[]> page(new (std::nothrow) char[kPageBufferSize]());
  if (!page) {
    net.CloseRequest(request);
    return false;
  }
  // One byte is kept for the terminator. A page cut short fails like any
  // other download: its last line would be applied half.
  if (!net.DownloadRequest(request, pageUrl, page.get(), kPageBufferSize - 1, nullptr, length,
                           kPageBufferSize - 1, false, 0))
    return false;
  page[length] = '\0';
  SplitPageLines(page.get(), [&settings](const char* line) {
    settings.ApplySettingLine(line, SettingSource::Page);
  });
  NotePlainFoldersOfSecurePage(pageUrl, settings);
  return !settings.PackageBaseUrl().empty() && !settings.UpdaterPackageUrl().empty();
}

#include <exdisp.h>
#include <objbase.h>

#include "common/bounded_text.h"
#include "common/process_state.h"
#include "common/ui_helpers.h"
#include "common/update_log.h"
#include "components/manifest_rules.h"
#include "driver/updater.h"
#include "net/progress_dialog.h"
#include "package/accept_image.h"
#include "package/file_version.h"
#include "resources/resource.h"
#include "settings/folders.h"

namespace {
constexpr WORD kBrowserFreeHostMajor = 5;
}  // namespace

int CZUpdater::RunUpdate() {
  // What a run cut off left half done is put back before anything else.
  RecoverUnfinishedUpdates();
  if (!ReadClientUpdatePage()) return 0;

  const int selfUpdate = CheckSelfUpdate();
  if (selfUpdate == kSelfUpdateCurrent) {
    WriteLog("ZUpdater does not need update\r\n");
  } else if (selfUpdate == kSelfUpdateReady) {
    WriteLog("ZUpdater needs update\r\n");
    DestroyProgressDialog();
    g_nRestartSelector = kRestartTempCopy;
    return 1;
  } else {
    WriteLog("ZUpdater update failed!\r\n");
    return 0;
  }

  if (!DownloadManifest()) return 0;
  if (!IfBrowserQualified()) return 0;
  PublishFeatureSettings();
  const int release = UpdateHostImage();
  if (release == kRunEndsRestartingHost) return 1;
  if (release != 0) return 0;
  if (!LoadComponentManifest()) {
    UpdateRegFile();
    return 0;
  }
  CheckComponentVersions();
  UpdateSilentComponents();
  const int closed = UpdateClosingComponents() ? 1 : 0;

  if (OfferComponentUpdate()) {
    ShutdownHostClient();
    if (!UpdateAllComponents()) MessageBoxA(nullptr, LoadText(IDS_UPDATE_FAILED), "Error", MB_OK);
    g_nRestartSelector = kRestartHostClient;
    DestroyProgressDialog();
    UpdateRegFile();
    return 1;
  }
  // A refused offer of components the host client cannot run without
  // still closes it.
  if (m_lowestRequirement == 1) ShutdownHostClient();
  UpdateRegFile();
  g_nRestartSelector = kRestartHostClient;
  DestroyProgressDialog();
  return closed;
}

bool CZUpdater::DownloadManifest() {
  char path[kUrlPathSize];
  if (!m_net->GetUrlPath(m_settings.PackageBaseUrl().c_str(), path, sizeof(path))) return false;
  m_settings.SetPackageBasePath(path);
  if (m_net->InternetHandle() == nullptr) return false;

  DWORD length = 0;
  HINTERNET handle = OpenPackageRequest("components.html", &length);
  if (handle == nullptr) return false;
  char location[kPathSize];
  CopyBounded(location, m_settings.PackageBaseUrl().c_str());
  AppendBounded(location, "components.html");
  // An unsigned manifest that large is no vendor's: none of it is used.
  if (length > kMaxManifestSize) {
    WriteLog("Manifest %s of %lu bytes is larger than %lu bytes, refused\r\n", location,
             static_cast<unsigned long>(length), static_cast<unsigned long>(kMaxManifestSize));
    m_net->CloseRequest(handle);
    return false;
  }
  // The manifest goes straight to its file, a chunk at a time: nothing is
  // allocated from the length the server announced, and nothing is read
  // past it.
  char manifest[kPathSize];
  CopyBounded(manifest, g_workingFolder.c_str());
  AppendBounded(manifest, "components.ini");
  return m_net->DownloadRequest(handle, location, nullptr, 0, manifest, length, kMaxManifestSize,
                                false, 0);
}

bool CZUpdater::IfBrowserQualified() {
  char hostPath[kPathSize];
  CopyBounded(hostPath, g_workingFolder.c_str());
  AppendBounded(hostPath, g_hostExeName.c_str());
  DWORD high = 0, low = 0;
  if (!GetFileVersion(hostPath, &high, &low) || HIWORD(high) >= kBrowserFreeHostMajor) return true;

  // Host clients before 5 show their updates in the web browser control.
  CoInitialize(nullptr);
  IWebBrowser* browser = nullptr;
  bool qualified = SUCCEEDED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IWebBrowser, reinterpret_cast<void**>(&browser)));
  if (qualified) {
    WriteLog("IfBrowserQualified() succeeded on CoCreateInstance(CLSID_WebBrowser)\r\n");
    browser->Release();
  } else {
    WriteLog("IfBrowserQualified() failed on CoCreateInstance(CLSID_WebBrowser)\r\n");
  }
  CoUninitialize();
  return qualified;
}

HINTERNET CZUpdater::OpenPackageRequest(const char* name, DWORD* length) {
  char request[kUrlPathSize];
  CopyBounded(request, m_settings.PackageBasePath().c_str());
  AppendBounded(request, name);
  HINTERNET handle = m_net->OpenGetRequest(request, length);
  if (handle != nullptr && *length == 0) {
    m_net->CloseRequest(handle);
    return nullptr;
  }
  return handle;
}

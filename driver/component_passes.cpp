// The component passes of a run: level 4 silently, level 5 with the host
// client closed, then everything still pending once the user accepts the
// offer. UpdateComponent fetches, checks and installs one file.
#include <cstring>

#include "common/bounded_text.h"
#include "common/update_log.h"
#include "components/component_manifest.h"
#include "components/component_server.h"
#include "driver/server_switch.h"
#include "driver/updater.h"
#include "net/download.h"
#include "package/accept_image.h"
#include "package/file_checksum.h"
#include "settings/folders.h"
#include "settings/install_records.h"

namespace {
constexpr int32_t kSilentLevel = 4;
constexpr int32_t kClosingLevel = 5;
// A refusal of an offer whose lowest level is 3 is remembered.
constexpr int32_t kRememberedLevel = 3;
constexpr int kNothingPending = 6;
}  // namespace

void CZUpdater::CheckComponentVersions() {
  for (CZComponent& component : m_components) {
    // A date check asks the component's own server, not the page's.
    CZServerSwitch server(*m_net, component.Url().c_str());
    component.CheckNeedsUpdate(*m_net);
  }
}

bool CZUpdater::UpdateComponentsOfLevel(int32_t level, bool closing) {
  long count = 0;
  for (const CZComponent& component : m_components)
    if (component.IsEligible() && component.Requirement() == level) ++count;
  m_net->SetFileCount(count);
  if (count == 0) return false;
  if (closing) ShutdownHostClient();
  long number = 1;
  for (auto it = m_components.begin(); it != m_components.end();) {
    if (it->IsEligible() && it->Requirement() == level) {
      // The failed record and those after it stay for the final pass.
      if (!UpdateComponent(*it, number, closing)) return true;
      ++number;
    }
    it = it->Requirement() == level ? m_components.erase(it) : it + 1;
  }
  return true;
}

bool CZUpdater::UpdateSilentComponents() { return UpdateComponentsOfLevel(kSilentLevel, false); }

bool CZUpdater::UpdateClosingComponents() { return UpdateComponentsOfLevel(kClosingLevel, true); }

void CZUpdater::FindLowestRequirement() {
  m_lowestRequirement = kNothingPending;
  for (const CZComponent& component : m_components)
    if (component.IsEligible() && component.Requirement() < m_lowestRequirement)
      m_lowestRequirement = component.Requirement();
}

bool CZUpdater::OfferComponentUpdate() {
  FindLowestRequirement();
  if (m_lowestRequirement == kNothingPending) return false;
  if (m_lowestRequirement == kRememberedLevel && GetLastUpdateTime() != 0) return false;
  const bool accepted = PromptForUpdate();
  // An accepted offer is recorded once its files are in (UpdateAllComponents).
  if (accepted)
    WithdrawRefusal();
  else
    SetLastUpdateTime(false);
  return accepted;
}

bool CZUpdater::UpdateAllComponents() {
  long count = 0;
  for (const CZComponent& component : m_components)
    if (component.IsEligible()) ++count;
  m_net->SetFileCount(count);
  long number = 1;
  for (CZComponent& component : m_components) {
    if (!component.IsEligible()) continue;
    if (!UpdateComponent(component, number, true)) return false;
    ++number;
  }
  SetLastUpdateTime(true);
  return true;
}

bool CZUpdater::UpdateComponent(CZComponent& component, long fileNumber, bool showProgress) {
  const char* url = component.Url().c_str();
  char path[kUrlPathSize];
  if (!m_net->GetUrlPath(url, path, sizeof(path))) return false;
  CZServerSwitch server(*m_net, url);
  if (!server.IsConnected()) return false;

  bool installed = false;
  DWORD length = 0;
  HINTERNET request = m_net->OpenGetRequest(path, &length);
  if (request != nullptr) {
    const char* local = component.InstallPath().c_str();
    if (!component.Subfolder().empty()) CreatePathPrefixes(local);
    char download[kPathSize];
    CopyBounded(download, local);
    const size_t n = strlen(download);
    if (n > 0) download[n - 1] = '_';
    ULONGLONG serverTime = 0;
    if (component.QueryComponentFileTime(*m_net, &serverTime)) m_net->SetServerFileTime(serverTime);
    if (!m_net->DownloadRequest(request, url, nullptr, 0, download, length,
                                kMaxComponentPackageSize, showProgress, fileNumber)) {
      return false;
    }
    if (!CheckFileSizes(download, component.Name().c_str(), component.ManifestPath().c_str())) {
      DiscardDownload(download);
      return false;
    }
    // In the system folder a package brings its component's file alone.
    CZAcceptRules rules;
    rules.onlyTarget = component.DestinationKind() == kSystemFolderKind;
    // Registered before the commit ends: a run cut off before puts the old
    // file back, and the next one installs and registers it again.
    if (component.RegisterServer() != 0)
      rules.afterInstall = [](const char* target) { RegisterComponentServer(target); };
    installed = ExtractSignedImage(download, local, m_net->ServerFileTime(), rules);
  }
  return installed;
}

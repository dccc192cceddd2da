#include "driver/updater.h"

// The manifest's components section is not read yet: no component list.
bool CZUpdater::LoadComponentManifest() { return false; }

// The manifest's feature sections are not handed over yet: nothing to do.
void CZUpdater::PublishFeatureSettings() {}

// The component list stays empty until the manifest's components are read,
// so every pass finds nothing pending.
void CZUpdater::CheckComponentVersions() {}
void CZUpdater::UpdateSilentComponents() {}
int CZUpdater::UpdateClosingComponents() { return 0; }
int CZUpdater::OfferComponentUpdate() {
  m_lowestRequirement = 6;
  return 0;
}
bool CZUpdater::UpdateAllComponents() { return true; }

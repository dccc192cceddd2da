#include "driver/updater.h"

// The passes that fetch components are not built yet: no component's
// needs-update flag is set, so every pass finds nothing pending.
void CZUpdater::CheckComponentVersions() {}
void CZUpdater::UpdateSilentComponents() {}
int CZUpdater::UpdateClosingComponents() { return 0; }
int CZUpdater::OfferComponentUpdate() {
  m_lowestRequirement = 6;
  return 0;
}
bool CZUpdater::UpdateAllComponents() { return true; }

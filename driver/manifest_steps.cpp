// The run's side of the manifest: its component list, its host client
// offers, its feature settings and its expected package values.
#include "common/bounded_text.h"
#include "common/process_state.h"
#include "components/component_manifest.h"
#include "components/feature_settings.h"
#include "components/new_install_entry.h"
#include "driver/updater.h"
#include "package/file_checksum.h"

std::string CZUpdater::ManifestPath() const {
  char path[kPathSize];
  CopyBounded(path, g_workingFolder.c_str());
  AppendBounded(path, "components.ini");
  return path;
}

bool CZUpdater::LoadComponentManifest() {
  return ::LoadComponentManifest(ManifestPath().c_str(), &m_components);
}

void CZUpdater::PublishFeatureSettings() {
  ::PublishFeatureSettings(ManifestPath().c_str(), g_uTransmitMessage);
}

int CZUpdater::CheckNewInstallEntry(int number, char* link, size_t linkSize, int* endOfList,
                                    int* silent) {
  return ::CheckNewInstallEntry(ManifestPath().c_str(), g_workingFolder.c_str(),
                                g_hostExeName.c_str(), number, link, linkSize, endOfList, silent);
}

bool CZUpdater::CheckFileSizes(const char* imagePath, const char* section,
                               const char* manifestPath) {
  return ::CheckFileSizes(imagePath, section, manifestPath);
}

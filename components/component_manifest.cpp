#include "driver/updater.h"

// The manifest's components section is not read yet: no component list.
bool CZUpdater::LoadComponentManifest() { return false; }

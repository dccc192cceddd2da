#include "driver/updater.h"

// The manifest's registry script is not applied yet: nothing to do.
void CZUpdater::UpdateRegFile() {}

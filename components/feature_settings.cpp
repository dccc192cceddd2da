#include "driver/updater.h"

// The manifest's feature sections are not handed over yet: nothing to do.
void CZUpdater::PublishFeatureSettings() {}

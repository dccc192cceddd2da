#include "driver/updater.h"

int CZUpdater::RunUpdate() { return 0; }

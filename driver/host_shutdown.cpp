#include "driver/updater.h"

// Closing the host client comes with the component passes that need it.
void CZUpdater::ShutdownHostClient() {}

#include "driver/updater.h"

// The host client's server lists arrive as setting lines; storing them for
// the host client comes with the server-list refresh.
void CZUpdater::StoreLookupServer(const char*) {}
void CZUpdater::StoreHttpServers(const char*) {}
void CZUpdater::StoreSocketServers(const char*) {}

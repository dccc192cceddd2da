// The server lists a client update page hands to the host client, stored
// where the host client reads them.
#pragma once

// IPLookup of the host client's settings.
void StoreLookupServer(const char* value);
// "Http Server" of the host client's settings.
void StoreHttpServers(const char* value);
// A new socket server list goes to "Old Entries" as given and to the host
// client's settings in a shuffled order; a list already given changes nothing.
void StoreSocketServers(const char* value);

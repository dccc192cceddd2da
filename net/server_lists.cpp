#include "net/server_lists.h"

#include <ctime>

#include "net/server_list_shuffle.h"
#include "net/setting_line.h"
#include "settings/reg_key.h"

namespace {
const char kMurvoKey[] = "SOFTWARE\\Zindo\\Murvo";
const char kOldEntriesKey[] = "SOFTWARE\\Zindo\\Murvo\\Old Entries";
constexpr DWORD kOldListSize = 2048;
}  // namespace

void StoreLookupServer(const char* value) {
  CZRegKey key(kMurvoKey, HKEY_CURRENT_USER);
  key.SetString("IPLookup", value);
}

void StoreHttpServers(const char* value) {
  CZRegKey key(kMurvoKey, HKEY_CURRENT_USER);
  key.SetString("Http Server", value);
}

void StoreSocketServers(const char* value) {
  CZRegKey oldEntries(kOldEntriesKey, HKEY_CURRENT_USER);
  CZRegKey murvo(kMurvoKey, HKEY_CURRENT_USER);
  // The host client keeps its own order of a list it has already been given.
  char previous[kOldListSize];
  if (oldEntries.QueryString("Socket Servers", previous, sizeof(previous)) &&
      EqualsNoCase(previous, value))
    return;
  oldEntries.Create(kOldEntriesKey, HKEY_CURRENT_USER);
  oldEntries.SetString("Socket Servers", value);
  std::string shuffled = value;
  ShuffleServerList(&shuffled, static_cast<unsigned>(time(nullptr)));
  murvo.SetString("Socket Server", shuffled.c_str());
}

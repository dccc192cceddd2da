// The host client's locale settings and the updater's own install-state
// records.
#pragma once
#include <windows.h>

#include <string>

struct CZVersion;

// What shapes the package folder URLs of this installation.
struct CZLocaleSettings {
  std::string cobrand;
  std::string locale;
  DWORD ligans = 0;
};

// Reads Cobrand, ligans and the Locale key's intl value (absent values give
// empty texts and 0). True when a locale was read.
bool ReadLocaleSettings(CZLocaleSettings* settings);

// Deletes components.ini from the working folder; a missing file is no error.
void DeleteManifest();

// LastUpdateTime: 0 after an accepted offer, the time of the refusal
// (seconds since 1970, UTC) after a refused one.
void SetLastUpdateTime(bool accepted);
// The stored value; 0 when absent or when the key cannot be opened.
DWORD GetLastUpdateTime();

// Records the manifest's New Install VersionNew as the refused host client
// version; nothing is written when the manifest has none.
void SetLastUpdateVersion();
// True when a non-empty LastUpdateVersion was read and parsed into *version.
bool GetLastUpdateVersion(CZVersion* version);

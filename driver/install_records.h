// The host client's locale settings and the updater's own install-state
// records. ReadLocaleSettings is an operation of CZUpdater (it fills the
// run's cobrand, locale and ligans fields).
#pragma once
#include <windows.h>

struct CZVersion;

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

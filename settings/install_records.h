// The host client's locale settings and the updater's own install-state
// records.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

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
// Removes LastUpdateTime (read as 0, like an acceptance): an accepted offer
// withdraws an earlier refusal at once, and is recorded as accepted only
// once its files are in.
void WithdrawRefusal();
// The stored value; 0 when absent or when the key cannot be opened.
DWORD GetLastUpdateTime();

// Records the manifest's New Install VersionNew as the refused host client
// version; nothing is written when the manifest has none.
void SetLastUpdateVersion();
// True when a non-empty LastUpdateVersion was read and parsed into *version.
bool GetLastUpdateVersion(CZVersion* version);

// The package images whose extraction has begun and not ended, kept as
// PendingPackages beside the other records (and flushed to the disk): a run
// cut off meanwhile leaves them, perhaps with an unfinished commit beside
// them, for the next run to put back and remove.
// Every file the run downloads is one from the moment it is made.
void AddPendingPackage(const std::string& imagePath);
void RemovePendingPackage(const std::string& imagePath);
std::vector<std::string> PendingPackages();
// Deletes a downloaded file that is not to be used and forgets it.
void DiscardDownload(const char* path);

// The server date (100 ns units since 1601, UTC) of the last updater package
// that was refused though genuinely signed (not newer than the installed
// updater), kept as RefusedUpdaterDate beside the other records: a package
// of that date is not fetched again. 0 when none is recorded.
void SetRefusedUpdaterDate(ULONGLONG serverDate);
// The server date of an updater package whose new updater could not be put
// in place of zupdater.exe (held open by another program), kept as
// UnreplacedUpdaterDate for the one run the relay starts after it: that run
// does not fetch the package again, or the two would start each other for
// as long as the file is held. Take reads it and removes it; 0 when none.
void SetUnreplacedUpdaterDate(ULONGLONG serverDate);
ULONGLONG TakeUnreplacedUpdaterDate();
ULONGLONG GetRefusedUpdaterDate();

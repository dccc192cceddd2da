// Setting lines ("Key=Value"), as found in the client update page and in the
// semicolon-separated command line. No Win32 here.
#pragma once
#include <string>

enum class SettingKey {
  ApplicationName,
  ServerPage,
  File,
  PatchkeeperFolder,
  MurvoFolder,
  IPAddrLookup,
  HttpServers,
  SocketServers,
};

struct SettingLine {
  SettingKey key;
  std::string value;
};

// Cuts the line to 1023 characters, trims white space at both ends and
// splits it at the first "=". False (and *out untouched) for a line without
// "=" or with a key that is not known; keys match without regard to case.
bool ParseSettingLine(const char* line, SettingLine* out);

// Splits a host client path at its last backslash, or its last "/" when it
// has none: the folder gets a trailing backslash, the file name is lowered.
// False for a value with neither separator.
bool SplitApplicationName(const std::string& value, std::string* folder, std::string* exeName);

// True for a local absolute path as the client update page may name the
// host client: drive letter, colon, backslash, then only characters a file
// name may hold, no ".." (or other dots-only) step under either separator,
// and a file name at the end. Shares, device paths and relative paths are false.
bool IsLocalAbsolutePath(const std::string& value);

// The updater's package URL: folder, then "locale/" when a locale is known,
// then zupdater.qpk.
std::string BuildUpdaterPackageUrl(const std::string& folder, const std::string& locale);

// The folder of the host client's packages: folder, "locale/", "cobrand/" and
// "ligans/" as known. The text has room for the folder, the cobrand and 15
// more characters; what does not fit is cut.
std::string BuildPackageBaseUrl(const std::string& folder, const std::string& locale,
                                const std::string& cobrand, bool ligans);

std::string ToLowerAscii(std::string text);
bool EqualsNoCase(const std::string& a, const std::string& b);

// Rules for the texts of the component manifest that need no Win32: the
// DestDir split, which names and subfolders may be joined to a folder, and
// the cutting of a section's key list to its buffer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The largest manifest the updater reads: anything larger is refused whole.
constexpr unsigned long kMaxManifestSize = 1024UL * 1024UL;
// The most feature values one run writes into the host client's registry.
constexpr size_t kMaxFeatureValuesPerRun = 512;
// The most feature keys and values the host client's registry keeps from
// all runs together: past it, only values already there are written again.
constexpr size_t kMaxFeatureEntries = 1024;

// The buffers the run reads the manifest into, each with its final zero: a
// longer text is cut (a list is cut to its whole names).
constexpr size_t kComponentListSize = 1024;   // the [components] key list
constexpr size_t kComponentValueSize = 255;   // each value of a component's section
constexpr size_t kReleaseValueSize = 256;     // each value of a New Install section
constexpr size_t kFeatureListSize = 2048;     // the [Features] key list
constexpr size_t kFeatureKeyListSize = 2048;  // each feature section's key list
constexpr size_t kFeatureValueSize = 1024;    // each feature value

// "kind[,subfolder]": the kind is the decimal value before the first comma
// (kept as 8 bits), the subfolder what follows it without leading blanks.
struct CZDestination {
  uint8_t kind = 0;
  std::string subfolder;
};
CZDestination SplitDestDir(const char* value);

// The manifest comes unsigned over plain HTTP, and a component's name and
// subfolder are joined to the host client's folders: neither may lead out
// of them. A name is one plain file name (no \, / or :, not only dots and
// blanks, not a device name such as COM1 or NUL, not ending in "_", which
// would make its download's name its own); a subfolder is relative
// (no leading separator, no drive or colon) and never climbs (no part of
// only dots and blanks but "."). Neither a name, nor its download's name,
// nor a subfolder part is one of the updater's own (zupdater.exe, logs ...).
// A clsid is joined to registry paths and holds no \.
bool IsSafeComponentName(const char* name);
bool IsSafeSubfolder(const char* subfolder);
// A file named relative to a folder (a name, or subfolders and a name) by
// the subfolder rule; not empty.
bool IsSafeRelativePath(const char* path);
bool IsSafeClsid(const char* clsid);

// The file a release entry's Link is saved as: the link's last segment
// after its last "/", unless there is no slash or that name is empty, holds
// '\\', ':' or "..", names a device (CON, NUL, COM1 ...), has no extension
// of its own, has the extension "exe" (package and installer would be one
// file), ends in a dot or blank (which Windows drops), holds a character no
// file name may hold ("<>|?* or a control character) or names, as package or
// installer, one of the updater's own files: then "zcorv.qpk".
std::string ReleasePackageName(const char* link);
// The installer a release package holds: the package name with its
// extension made "exe".
std::string ReleaseInstallerName(const std::string& packageName);

// The complete names of a key list (zero-terminated names, ending with an
// empty one) as far as they fit in limit bytes with their terminators and
// the list's final zero. *cut tells whether names were left out.
std::vector<std::string> TakeKeyNames(const char* list, size_t length, size_t limit, bool* cut);

// The C library's atoi without its overflow: blanks, sign, digits; the
// value wraps.
int32_t ReadDecimal(const char* text);

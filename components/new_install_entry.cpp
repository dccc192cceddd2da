#include "components/new_install_entry.h"

#include <windows.h>

#include <string>

#include "common/bounded_text.h"
#include "common/update_log.h"
#include "common/version_text.h"
#include "components/manifest_rules.h"
#include "components/manifest_sections.h"
#include "package/file_version.h"
#include "settings/install_records.h"

namespace {
constexpr size_t kSectionNameSize = 20;
constexpr size_t kValueSize = kReleaseValueSize;
constexpr int kRememberRefusal = 3;

bool SameVersion(const CZVersion& a, const CZVersion& b) { return CompareVersions(a, b) == 0; }

// Requirement 3: an installer the user refused is not offered again while
// the manifest offers the same version.
bool WasRefusedBefore(const char* manifestPath) {
  CZVersion recorded;
  if (!GetLastUpdateVersion(&recorded)) return false;
  std::string offered = ReadManifestText(manifestPath, "New Install", "VersionNew", "", kValueSize);
  if (offered.empty()) return false;
  CZVersion parsed;
  ParseVersionText(offered.c_str(), &parsed);
  return SameVersion(parsed, recorded);
}
}  // namespace

int CheckNewInstallEntry(const char* manifestPath, const char* compareFolder,
                         const char* defaultCompareName, int number, char* link, size_t linkSize,
                         int* endOfList, int* silent) {
  char section[kSectionNameSize];
  FormatText(section, sizeof(section), "%s%d", "New Install", number);
  std::string version = ReadManifestText(manifestPath, section, "Version", "", kValueSize);
  if (version.empty()) {
    *endOfList = 1;
    return 0;
  }
  CZVersion required;
  ParseVersionText(version.c_str(), &required);
  std::string compareName =
      ReadManifestText(manifestPath, section, "CmpFileName",
                       defaultCompareName != nullptr ? defaultCompareName : "", kValueSize);
  // Nothing to compare with (no name, and no host client known).
  if (compareName.empty()) return 0;
  // The unsigned manifest may not look at files outside the client's folder.
  if (!IsSafeRelativePath(compareName.c_str())) {
    WriteLog("Refused CmpFileName %s of [%s]\r\n", compareName.c_str(), section);
    return 0;
  }
  char comparePath[kPathSize];
  CopyBounded(comparePath, compareFolder);
  AppendBounded(comparePath, compareName.c_str());
  DWORD high = 0, low = 0;
  if (!GetFileVersion(comparePath, &high, &low)) return 0;
  CZVersion installed;
  installed.major = HIWORD(high);
  installed.minor = LOWORD(high);
  installed.build = HIWORD(low);
  installed.revision = LOWORD(low);
  if (CompareVersions(installed, required) >= 0) return 0;

  if (static_cast<int>(GetPrivateProfileIntA(section, "Requirement", 1, manifestPath)) ==
          kRememberRefusal &&
      WasRefusedBefore(manifestPath))
    return 1;
  GetPrivateProfileStringA(section, "Link", "", link, static_cast<DWORD>(linkSize), manifestPath);
  *silent = static_cast<int>(GetPrivateProfileIntA(section, "Silent", 1, manifestPath));
  return 1;
}

// The vendor's registry script: fetched as a signed package when the manifest
// names a version other than the one applied last, imported with the
// system's reg.exe, and recorded once the import has succeeded.
#include <cstring>

#include "common/bounded_text.h"
#include "common/process_state.h"
#include "common/update_log.h"
#include "common/version_text.h"
#include "driver/reg_import.h"
#include "driver/updater.h"
#include "net/download.h"
#include "package/accept_image.h"
#include "package/file_version.h"
#include "settings/install_records.h"
#include "settings/reg_key.h"

namespace {
const char kUpdateKey[] = "SOFTWARE\\Zindo\\Murvo\\Update";
const char kPackageName[] = "update_reg.qpk";
const char kScriptName[] = "update.reg";
constexpr size_t kVersionSize = 40;
// An import takes moments; one that is still running after this long is left
// alone, and the script is not recorded as applied.
constexpr DWORD kImportTimeoutMs = 120000;

bool HostClientOlderThan(const char* versionText) {
  CZVersion wanted;
  ParseVersionText(versionText, &wanted);
  char hostPath[kPathSize];
  CopyBounded(hostPath, g_workingFolder.c_str());
  AppendBounded(hostPath, g_hostExeName.c_str());
  DWORD high = 0, low = 0;
  if (!GetFileVersion(hostPath, &high, &low)) return false;
  CZVersion installed = {HIWORD(high), LOWORD(high), HIWORD(low), LOWORD(low)};
  return CompareVersions(installed, wanted) < 0;
}
}  // namespace

bool CZUpdater::UpdateRegFile() {
  CZRegKey settings(kUpdateKey, HKEY_CURRENT_USER);
  char manifest[kPathSize];
  CopyBounded(manifest, g_workingFolder.c_str());
  AppendBounded(manifest, "components.ini");
  char version[kVersionSize] = "";
  GetPrivateProfileStringA("update.reg", "Version", "", version, sizeof(version), manifest);
  if (version[0] == '\0') return false;

  char applied[kVersionSize];
  bool needed =
      settings.QueryString("RegFileVersion", applied, sizeof(applied)) && applied[0] != '\0'
          ? _stricmp(applied, version) != 0
          : HostClientOlderThan(version);
  if (!needed) return false;

  DWORD length = 0;
  HINTERNET handle = OpenPackageRequest(kPackageName, &length);
  if (handle == nullptr) return false;
  char package[kPathSize], script[kPathSize], location[kPathSize];
  CopyBounded(package, g_workingFolder.c_str());
  AppendBounded(package, kPackageName);
  CopyBounded(script, g_workingFolder.c_str());
  AppendBounded(script, kScriptName);
  CopyBounded(location, m_settings.PackageBaseUrl().c_str());
  AppendBounded(location, kPackageName);
  if (!m_net->DownloadRequest(handle, location, nullptr, 0, package, length,
                              kMaxRegScriptPackageSize, false, 0))
    return false;
  // The script lives until it is imported: a run cut off before leaves it
  // for the next run to remove.
  AddPendingPackage(script);
  if (!ExtractSignedImage(package, script, m_net->ServerFileTime())) {
    DiscardDownload(script);
    return false;
  }

  char toolFolder[kPathSize] = "";
  bool underWow64 = false;
  FindRegImportTool(toolFolder, sizeof(toolFolder), &underWow64);
  char command[kPathSize * 2 + 32];
  BuildRegImportCommand(toolFolder, script, underWow64, command, sizeof(command));
  // The version is recorded only once the whole script is in: recording a
  // failed or unfinished import would claim settings that never arrived, and
  // the next run would not try again.
  DWORD status = 0;
  switch (RunRegImport(command, kImportTimeoutMs, &status)) {
    case RegImportResult::kImported: {
      // The record last: a run cut off before it imports the script again.
      DiscardDownload(script);
      CZRegKey update;
      update.Create(kUpdateKey, HKEY_CURRENT_USER);
      update.SetString("RegFileVersion", version);
      return true;
    }
    case RegImportResult::kFailed:
      WriteLog("Registry script import failed, status %lu: %s\r\n",
               static_cast<unsigned long>(status), command);
      DiscardDownload(script);
      return false;
    case RegImportResult::kNotStarted:
      WriteLog("Can not start %s\r\n", command);
      DiscardDownload(script);
      return false;
    case RegImportResult::kStillRunning:
      WriteLog("Registry import still running after %lu ms: %s\r\n",
               static_cast<unsigned long>(kImportTimeoutMs), command);
      return false;
  }
  return false;
}

// The vendor's registry script: fetched as a signed package when the manifest
// names a version other than the one applied last, imported with the
// system's registry editor, and recorded once the editor has finished.
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
#include "settings/reg_key.h"

namespace {
const char kUpdateKey[] = "SOFTWARE\\Zindo\\Murvo\\Update";
const char kPackageName[] = "update_reg.qpk";
const char kScriptName[] = "update.reg";
constexpr size_t kVersionSize = 40;
// The editor imports a script in moments; one that is still running after
// this long is left alone, and the script is not recorded as applied.
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
                              kMaxRegScriptPackageSize, false, 0)) {
    DeleteFileA(package);  // no partial package stays behind
    return false;
  }
  if (!ExtractSignedImage(package, script, m_net->ServerFileTime())) {
    DeleteFileA(script);
    return false;
  }

  char editorFolder[kPathSize] = "";
  FindRegEditFolder(editorFolder, sizeof(editorFolder));
  char command[kPathSize * 2 + 32];
  BuildRegImportCommand(editorFolder, script, command, sizeof(command));
  // The script is removed and its version recorded only once the editor has
  // read it: recording earlier could claim settings that never arrived.
  switch (RunRegImport(command, kImportTimeoutMs)) {
    case RegImportResult::kFinished: {
      CZRegKey update;
      update.Create(kUpdateKey, HKEY_CURRENT_USER);
      update.SetString("RegFileVersion", version);
      DeleteFileA(script);
      return true;
    }
    case RegImportResult::kNotStarted:
      WriteLog("Can not start %s\r\n", command);
      DeleteFileA(script);
      return false;
    case RegImportResult::kStillRunning:
      WriteLog("Registry editor still running after %lu ms: %s\r\n",
               static_cast<unsigned long>(kImportTimeoutMs), command);
      return false;
  }
  return false;
}

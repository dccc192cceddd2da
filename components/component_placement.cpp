// Where a component's file lives, and whether the host client lets it be
// updated.
#include <string>

#include "common/bounded_text.h"
#include "common/update_log.h"
#include "components/component.h"
#include "settings/folders.h"
#include "settings/own_files.h"
#include "settings/reg_key.h"

namespace {
constexpr size_t kRegisteredPathSize = 255;
constexpr size_t kWorkingFolderSize = 255;
const char kViewKeyPrefix[] = "SOFTWARE\\Zindo\\Murvo\\View\\";

// A registered server path as Windows itself reads it: enclosing quotes
// removed and environment references expanded. False when nothing usable
// is left or the expansion does not fit a path.
bool ReadRegisteredServerPath(const std::string& clsid, std::string* path) {
  CZRegKey key(("CLSID\\" + clsid + "\\InprocServer32").c_str(), HKEY_CLASSES_ROOT);
  char value[kRegisteredPathSize];
  if (!key.QueryString("", value, sizeof(value))) return false;
  std::string text = value;
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    text = text.substr(1, text.size() - 2);
  if (text.empty()) return false;
  char expanded[kPathSize];
  DWORD needed = ExpandEnvironmentStringsA(text.c_str(), expanded, sizeof(expanded));
  if (needed == 0 || needed > sizeof(expanded)) return false;
  *path = expanded;
  return !path->empty();
}
bool BeginsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() &&
         _strnicmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

// Whether folder (normalised, ending with a backslash) is the one that
// getFolder (GetSystemDirectoryA or the like) gives.
bool IsSameFolder(const std::string& folder, UINT(WINAPI* getFolder)(LPSTR, UINT)) {
  char given[kPathSize];
  UINT length = getFolder(given, sizeof(given));
  std::string normal;
  if (length == 0 || length >= sizeof(given) || !NormalisePath(given, &normal)) return false;
  if (normal.back() != '\\') normal += '\\';
  return _stricmp(folder.c_str(), normal.c_str()) == 0;
}

// A registered path is used only for the component's own file in the
// client's folders: the manifest may name any class on the machine, and
// another program's registered file must not be replaced or registered.
bool IsOwnRegisteredPath(const std::string& path, const std::string& name) {
  // Only a full path says where the file is; a bare one depends on the
  // current folder.
  if (path.size() < 3 || path[1] != ':' || path[2] != '\\') return false;
  std::string normal;
  if (!NormalisePath(path, &normal)) return false;
  const size_t slash = normal.rfind('\\');
  if (slash == std::string::npos || _stricmp(normal.c_str() + slash + 1, name.c_str()) != 0)
    return false;
  const std::string folder = normal.substr(0, slash + 1);
  char working[kWorkingFolderSize];
  std::string workingFolder;
  if (GetWorkingFolder(working, sizeof(working)) && NormalisePath(working, &workingFolder)) {
    if (workingFolder.back() != '\\') workingFolder += '\\';
    if (BeginsWithNoCase(folder, workingFolder)) return true;
  }
  if (IsSameFolder(folder, GetSystemDirectoryA)) return true;
  // Under 64-bit Windows this 32-bit program's system folder is SysWOW64:
  // its COM servers there are registered with that name.
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 &&
         IsSameFolder(folder, GetSystemWow64DirectoryA);
}
}  // namespace

bool CZComponent::ResolveInstallPath() {
  std::string path;
  if (m_destinationKind == kSystemFolderKind) {
    char system[kPathSize];
    UINT length = GetSystemDirectoryA(system, sizeof(system));
    if (length == 0 || length >= sizeof(system)) return false;
    path = std::string(system) + "\\" + m_subfolder + m_name;
  } else if (!m_clsid.empty() && CheckFolderWritable() == 1 &&
             ReadRegisteredServerPath(m_clsid, &path) && IsOwnRegisteredPath(path, m_name)) {
    // A COM component is updated where it is registered.
  } else {
    if (!path.empty()) {
      WriteLog("Component %s: registered path %s is not its own, not used\r\n", m_name.c_str(),
               path.c_str());
    }
    char folder[kWorkingFolderSize];
    if (!GetWorkingFolder(folder, sizeof(folder))) return false;
    path = std::string(folder) + m_subfolder + m_name;
  }
  // A cut path would name another file: such a component has no place.
  if (path.size() >= kPathSize) return false;
  // The updater's own files are never a component's, under any spelling;
  // nor is a place that a link leads out of the client's folders.
  std::string download = path;
  download.back() = '_';
  if (IsUpdaterOwnPath(path) || IsUpdaterOwnPath(download)) {
    WriteLog("Component %s: %s is the updater's own file, refused\r\n", m_name.c_str(),
             path.c_str());
    return false;
  }
  if (IsPathThroughLink(path) || IsPathThroughLink(download)) {
    WriteLog("Component %s: %s leads through a link, refused\r\n", m_name.c_str(), path.c_str());
    return false;
  }
  m_installPath = path;
  return true;
}

void CZComponent::ReadShowViewFlag() {
  m_viewEnabled = 1;
  // Components the host client cannot run without are updated whatever
  // its view setting.
  if (m_clsid.empty() || m_requirement == 1) return;
  CZRegKey view((kViewKeyPrefix + m_clsid).c_str(), HKEY_CURRENT_USER);
  if (view.IsOpen()) m_viewEnabled = static_cast<int32_t>(view.GetDword("ShowView"));
}

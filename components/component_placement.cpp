// Where a component's file lives, and whether the host client lets it be
// updated.
#include <string>

#include "common/bounded_text.h"
#include "components/component.h"
#include "settings/folders.h"
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
}  // namespace

bool CZComponent::ResolveInstallPath() {
  std::string path;
  if (m_destinationKind == kSystemFolderKind) {
    char system[kPathSize];
    UINT length = GetSystemDirectoryA(system, sizeof(system));
    if (length == 0 || length >= sizeof(system)) return false;
    path = std::string(system) + "\\" + m_subfolder + m_name;
  } else if (!m_clsid.empty() && CheckFolderWritable() == 1 &&
             ReadRegisteredServerPath(m_clsid, &path)) {
    // A COM component is updated where it is registered.
  } else {
    char folder[kWorkingFolderSize];
    if (!GetWorkingFolder(folder, sizeof(folder))) return false;
    path = std::string(folder) + m_subfolder + m_name;
  }
  // A cut path would name another file: such a component has no place.
  if (path.size() >= kPathSize) return false;
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

#include "package/staged_install.h"

#include <windows.h>

#include "package/fdi_callbacks.h"

namespace {
bool SameName(const std::string& a, const std::string& b) {
  return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}
}  // namespace

void RemoveFileTree(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name != "." && name != "..") RemoveFileTree(path + "\\" + name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

CZStagedInstall::CZStagedInstall(const std::string& root)
    : m_root(root), m_newFolder(root + "\\n"), m_oldFolder(root + "\\o") {
  RemoveFileTree(m_root);
  m_ready = CreateDirectoryA(m_root.c_str(), nullptr) &&
            CreateDirectoryA(m_newFolder.c_str(), nullptr) &&
            CreateDirectoryA(m_oldFolder.c_str(), nullptr);
}

CZStagedInstall::~CZStagedInstall() {
  // Only what this object made: a root it could not create was not its own.
  if (m_ready) RemoveFileTree(m_root);
}

void CZStagedInstall::AddStagedName(const std::string& name) {
  for (const std::string& known : m_names) {
    if (SameName(known, name)) return;
  }
  m_names.push_back(name);
}

bool CZStagedInstall::MoveOne(size_t index, const std::string& destination, CZMovedFile* moved) {
  moved->target = destination + "\\" + m_names[index];
  moved->staged = m_newFolder + "\\" + m_names[index];
  moved->attributes = GetFileAttributesA(moved->target.c_str());
  if (moved->attributes != INVALID_FILE_ATTRIBUTES) {
    // A folder in the file's place is not something to replace.
    if (moved->attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    moved->backup = m_oldFolder + "\\" + std::to_string(index);
    if (moved->attributes &
        (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
      SetFileAttributesA(moved->target.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    if (!MoveFileExA(moved->target.c_str(), moved->backup.c_str(), 0)) {
      SetFileAttributesA(moved->target.c_str(), moved->attributes);
      return false;
    }
  } else {
    CreateFolderChain(moved->target.c_str());
  }
  if (!MoveFileExA(moved->staged.c_str(), moved->target.c_str(), 0)) {
    if (!moved->backup.empty()) {
      MoveFileExA(moved->backup.c_str(), moved->target.c_str(), 0);
      SetFileAttributesA(moved->target.c_str(), moved->attributes);
    }
    return false;
  }
  return true;
}

void CZStagedInstall::PutBack(const CZMovedFile& moved) {
  MoveFileExA(moved.target.c_str(), moved.staged.c_str(), MOVEFILE_REPLACE_EXISTING);
  if (moved.backup.empty()) return;
  MoveFileExA(moved.backup.c_str(), moved.target.c_str(), 0);
  SetFileAttributesA(moved.target.c_str(), moved.attributes);
}

bool CZStagedInstall::CommitTo(const std::string& destination) {
  if (!m_ready) return false;
  std::vector<CZMovedFile> moved;
  for (size_t i = 0; i < m_names.size(); ++i) {
    CZMovedFile one;
    if (!MoveOne(i, destination, &one)) {
      for (auto it = moved.rbegin(); it != moved.rend(); ++it) PutBack(*it);
      return false;
    }
    moved.push_back(one);
  }
  return true;
}

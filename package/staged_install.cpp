#include "package/staged_install.h"

#include <windows.h>

namespace {
// File names differ only when they differ case-folded.
std::string FoldCase(std::string name) {
  if (!name.empty()) CharUpperBuffA(&name[0], static_cast<DWORD>(name.size()));
  return name;
}

// Creates the missing folders of filePath's folder part, from the first
// backslash on (the drive before it is never made), and records each one it
// made, outermost first.
void CreateFoldersRecorded(const std::string& filePath, std::vector<std::string>* created) {
  const size_t first = filePath.find('\\');
  const size_t last = filePath.rfind('\\');
  if (first == std::string::npos || first == last) return;
  for (size_t at = filePath.find('\\', first + 1); at != std::string::npos && at <= last;
       at = filePath.find('\\', at + 1)) {
    const std::string folder = filePath.substr(0, at);
    if (GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
    if (!CreateDirectoryA(folder.c_str(), nullptr)) return;
    created->push_back(folder);
  }
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
  if (m_foldedNames.insert(FoldCase(name)).second) m_names.push_back(name);
}

bool CZStagedInstall::HasStagedName(const std::string& name) const {
  return m_foldedNames.count(FoldCase(name)) != 0;
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
    CreateFoldersRecorded(moved->target, &m_createdFolders);
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
      // Innermost first; a folder that holds anything else stays.
      for (auto it = m_createdFolders.rbegin(); it != m_createdFolders.rend(); ++it) {
        RemoveDirectoryA(it->c_str());
      }
      m_createdFolders.clear();
      return false;
    }
    moved.push_back(one);
  }
  return true;
}

#include "package/staged_install.h"

#include <windows.h>

#include <cstdlib>

#include "common/handles.h"
#include "common/test_hooks.h"
#include "package/stored_name.h"
#include "settings/durable_file.h"

namespace {
const char kJournalName[] = "journal.txt";
const char kJournalHeader[] = "zupdater commit";
constexpr DWORD kJournalMaxSize = 1024 * 1024;

// File names differ only when they differ case-folded.
std::string FoldCase(std::string name) {
  if (!name.empty()) CharUpperBuffA(&name[0], static_cast<DWORD>(name.size()));
  return name;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
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
    if (Exists(folder)) continue;
    if (!CreateDirectoryA(folder.c_str(), nullptr)) return;
    created->push_back(folder);
  }
}

// Writes text as path's whole content and flushes it: the journal must be on
// the disk before the first installed file changes.
bool WriteFlushed(const std::string& path, const std::string& text) {
  CZUniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file.valid() &&
         WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size() && FlushFileBuffers(file.get());
}

std::string ReadWhole(const std::string& path) {
  CZUniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return std::string();
  DWORD size = GetFileSize(file.get(), nullptr);
  if (size == INVALID_FILE_SIZE || size > kJournalMaxSize) return std::string();
  std::string text(size, '\0');
  DWORD read = 0;
  if (size != 0 && (!ReadFile(file.get(), &text[0], size, &read, nullptr) || read != size))
    return std::string();
  return text;
}

// The fields of one journal line, split at '|' (no file name holds one).
std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  size_t begin = 0;
  for (;;) {
    const size_t end = line.find('|', begin);
    fields.push_back(line.substr(begin, end == std::string::npos ? end : end - begin));
    if (end == std::string::npos) return fields;
    begin = end + 1;
  }
}

// Whether path may be deleted or renamed over now: another holder's sharing
// would refuse the rename, and leave the kept old version held too.
bool CanBeReplaced(const std::string& path) {
  CZUniqueFile file(CreateFileA(path.c_str(), DELETE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.valid();
}

}  // namespace

void RemoveFileTree(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  // A link is removed, never what it leads to.
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    if (!DeleteFileA(path.c_str())) RemoveDirectoryA(path.c_str());
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

std::string StagingRootOf(const std::string& imagePath) { return imagePath + "~"; }

// A cut-off commit is put back rather than completed: the steps that follow
// a commit in the same run (stamping with the server's date, registering a
// COM server) would be missing from a completed one, and its file would then
// look current to every later run. Put back, the next run does the whole
// update again. The commit lasts until its staging folder's journal is
// gone, which is after those steps.
size_t RecoverUnfinishedCommit(const std::string& root) {
  const std::string journal = ReadWhole(root + "\\" + kJournalName);
  // Only the folder the image lies in is ever extracted into: a journal that
  // names another (or a name that leaves it) is nothing this updater wrote.
  const std::string image =
      root.size() > 1 && root.back() == '~' ? root.substr(0, root.size() - 1) : std::string();
  const size_t slash = image.rfind('\\');
  const std::string ownDestination =
      slash == std::string::npos ? std::string() : image.substr(0, slash);
  size_t restored = 0;
  if (!ownDestination.empty() &&
      journal.compare(0, sizeof(kJournalHeader) - 1, kJournalHeader) == 0) {
    std::string destination;
    size_t begin = 0;
    while (begin < journal.size()) {
      size_t end = journal.find('\n', begin);
      if (end == std::string::npos) end = journal.size();
      const std::vector<std::string> fields = SplitFields(journal.substr(begin, end - begin));
      begin = end + 1;
      if (fields.size() == 2 && fields[0] == "D")
        destination = _stricmp(fields[1].c_str(), ownDestination.c_str()) == 0 ? fields[1] : "";
      if (fields.size() != 5 || fields[0] != "F" || destination.empty() ||
          !IsSafeStoredName(fields[4].c_str()) ||
          fields[1].find_first_not_of("0123456789") != std::string::npos)
        continue;
      const std::string target = destination + "\\" + fields[4];
      const std::string backup = root + "\\o\\" + fields[1];
      const std::string staged = root + "\\n\\" + fields[4];
      if (fields[2] == "1") {
        // The kept old file goes back over whichever version is there.
        if (!Exists(backup)) continue;
        ZU_CRASH_POINT("put back", target.c_str());
        if (!ReplaceFileByRename(backup.c_str(), target.c_str())) continue;
        SetFileAttributesA(target.c_str(), strtoul(fields[3].c_str(), nullptr, 10));
        ++restored;
      } else if (!Exists(staged) && Exists(target)) {
        // A file the commit brought where there was none.
        ZU_CRASH_POINT("remove new", target.c_str());
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (DeleteFileA(target.c_str())) ++restored;
      }
    }
  }
  RemoveStagingRoot(root);
  return restored;
}

void RemoveStagingRoot(const std::string& root) {
  // The journal first: a removal cut off half way must not leave a journal
  // whose kept old files are gone, nor one that puts back a whole commit.
  const std::string journal = root + "\\" + kJournalName;
  if (Exists(journal)) {
    ZU_CRASH_POINT("end commit", root.c_str());
    DeleteFileA(journal.c_str());
  }
  if (!Exists(root)) return;
  ZU_CRASH_POINT("remove staging", root.c_str());
  RemoveFileTree(root);
}

CZStagedInstall::CZStagedInstall(const std::string& root)
    : m_root(root), m_newFolder(root + "\\n"), m_oldFolder(root + "\\o") {
  RecoverUnfinishedCommit(m_root);
  m_ready = CreateDirectoryA(m_root.c_str(), nullptr) &&
            CreateDirectoryA(m_newFolder.c_str(), nullptr) &&
            CreateDirectoryA(m_oldFolder.c_str(), nullptr);
}

CZStagedInstall::~CZStagedInstall() {
  // Only what this object made: a root it could not create was not its own.
  if (m_ready) RemoveStagingRoot(m_root);
}

void CZStagedInstall::AddStagedName(const std::string& name) {
  if (m_foldedNames.insert(FoldCase(name)).second) m_names.push_back(name);
}

bool CZStagedInstall::HasStagedName(const std::string& name) const {
  return m_foldedNames.count(FoldCase(name)) != 0;
}

std::string CZStagedInstall::StagedPathOf(const std::string& name) const {
  const std::string folded = FoldCase(name);
  for (const std::string& staged : m_names)
    if (FoldCase(staged) == folded) return m_newFolder + "\\" + staged;
  return std::string();
}

bool CZStagedInstall::WriteJournal(const std::string& destination) {
  std::string text = std::string(kJournalHeader) + "\nD|" + destination + "\n";
  for (size_t i = 0; i < m_names.size(); ++i) {
    const DWORD attributes = GetFileAttributesA((destination + "\\" + m_names[i]).c_str());
    m_installedAttributes.push_back(attributes);
    const bool hadOld = attributes != INVALID_FILE_ATTRIBUTES;
    text += "F|" + std::to_string(i) + "|" + (hadOld ? "1" : "0") + "|" +
            std::to_string(hadOld ? attributes : 0) + "|" + m_names[i] + "\n";
  }
  ZU_CRASH_POINT("write journal", m_root.c_str());
  return WriteFlushed(m_root + "\\" + kJournalName, text);
}

bool CZStagedInstall::MoveOne(size_t index, const std::string& destination, CZMovedFile* moved) {
  moved->target = destination + "\\" + m_names[index];
  moved->staged = m_newFolder + "\\" + m_names[index];
  // As the journal found it: a name looked up again in a large folder
  // costs as much as the rename.
  moved->attributes = m_installedAttributes[index];
  if (moved->attributes != INVALID_FILE_ATTRIBUTES) {
    // A folder in the file's place is not something to replace.
    if (moved->attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    if (moved->attributes &
        (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
      SetFileAttributesA(moved->target.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    // A file held open without leave to replace it (a running program's,
    // one open without sharing) cannot be renamed over: nothing is begun.
    // The old version stays reachable until the whole image is in.
    moved->backup = m_oldFolder + "\\" + std::to_string(index);
    ZU_CRASH_POINT("keep old", moved->target.c_str());
    if (!CanBeReplaced(moved->target) ||
        (!CreateHardLinkA(moved->backup.c_str(), moved->target.c_str(), nullptr) &&
         !CopyFileFlushed(moved->target.c_str(), moved->backup.c_str()))) {
      SetFileAttributesA(moved->target.c_str(), moved->attributes);
      moved->backup.clear();
      return false;
    }
  } else {
    CreateFoldersRecorded(moved->target, &m_createdFolders);
  }
  // One rename: the installed name holds the old file, then the new one.
  ZU_CRASH_POINT("replace", moved->target.c_str());
  if (!ReplaceFileByRename(moved->staged.c_str(), moved->target.c_str())) {
    if (!moved->backup.empty()) {
      SetFileAttributesA(moved->target.c_str(), moved->attributes);
      DeleteFileA(moved->backup.c_str());
    }
    return false;
  }
  return true;
}

void CZStagedInstall::PutBack(const CZMovedFile& moved) {
  if (moved.backup.empty()) {
    MoveFileExA(moved.target.c_str(), moved.staged.c_str(), MOVEFILE_REPLACE_EXISTING);
    return;
  }
  ReplaceFileByRename(moved.backup.c_str(), moved.target.c_str());
  SetFileAttributesA(moved.target.c_str(), moved.attributes);
}

bool CZStagedInstall::CommitTo(const std::string& destination) {
  if (!m_ready) return false;
  // The staged files are on the disk (flushed as they were written): the
  // journal goes there before the first installed file changes.
  m_installedAttributes.clear();
  if (!WriteJournal(destination)) return false;
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
      DeleteFileA((m_root + "\\" + kJournalName).c_str());
      return false;
    }
    moved.push_back(one);
  }
  // Whole. The journal stays until this object ends: the caller's steps
  // after the commit (stamping, registering) belong to it.
  return true;
}

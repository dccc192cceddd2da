// A copy of the gate's extraction (CZCabinet::ExtractTo, then
// CZStagedInstall::CommitTo) with a clock on each of its steps, to show where
// its time goes beside a bare extraction that flushes each file. It follows
// package/cabinet.cpp and package/staged_install.cpp step for step, calling
// the same functions where they are public and copies of them where they are
// not; keep it in step with them by hand. It measures only: nothing relies
// on what it installs, and it does not put anything back on a failure.
//   extract_steps_bench.exe <image> <folder> [change...]
// Prints "ok" (or "failed"), the number of files and of installed files
// replaced, then "step seconds" pairs, the total last.
// Each change named after the folder runs one step the way it could be done
// instead, to measure what that would save (by hand; the script names none):
//   ownonce       the own-file check finds and normalises the working folder
//                 and the destination once, and each target by text alone
//                 (a name with a '~', which may be a short name, in full)
//   journalattrs  the move uses the attributes the journal has just read
//                 instead of reading them again
//   knownfolders  a new file's folders are looked for once per commit
//   linkbuckets   the old versions are kept in folders of 256 each
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "common/bounded_text.h"
#include "common/handles.h"
#include "common/own_names.h"
#include "common/update_log.h"
#include "package/cabinet_layout.h"
#include "package/fdi_callbacks.h"
#include "package/staged_install.h"
#include "package/stored_name.h"
#include "settings/durable_file.h"
#include "settings/folders.h"
#include "settings/own_files.h"

namespace {
enum Step {
  kLayout,       // the structure check, with the image's open
  kStage,        // an earlier run's staging folder looked at, the new one made
  kCreate,       // each staged file's name checked and the file created
  kWrite,        // the decompressor's writes
  kFlush,        // each staged file flushed
  kClose,        // each staged file closed
  kDecompress,   // the rest of the decompressor's time: reading and inflating
  kOwnWorking,   // the own-file check: the working folder found and normalised
  kOwnTarget,    // the own-file check: each target normalised and compared
  kJournal,      // the journal: each target looked at, written and flushed
  kAttributes,   // each target's attributes read (and cleared) before its move
  kReplaceable,  // each installed file opened to see it may be renamed over
  kLink,         // each installed file's old version kept as a hard link
  kFolders,      // each new file's folders looked for and made
  kRename,       // each staged file renamed over its target
  kUnjournal,    // the journal removed
  kCleanup,      // the staging folder removed
  kStepCount
};
const char* const kStepNames[kStepCount] = {
    "layout",     "stage",      "create",    "write",     "flush",      "close",
    "decompress", "ownworking", "owntarget", "journal",   "attributes", "replaceable",
    "link",       "folders",    "rename",    "unjournal", "cleanup"};

double g_seconds[kStepCount];
double g_frequency;

struct CZChanges {
  bool ownOnce = false;
  bool journalAttributes = false;
  bool knownFolders = false;
  bool linkBuckets = false;
};
CZChanges g_changes;
constexpr size_t kLinkBucket = 256;

LONGLONG Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// Adds the time from its making to its end to one step.
class CZStepClock {
 public:
  explicit CZStepClock(Step step) : m_step(step), m_start(Now()) {}
  CZStepClock(const CZStepClock&) = delete;
  CZStepClock& operator=(const CZStepClock&) = delete;
  ~CZStepClock() { g_seconds[m_step] += double(Now() - m_start) / g_frequency; }

 private:
  Step m_step;
  LONGLONG m_start;
};

class CZCrtSource : public CZByteSource {
 public:
  explicit CZCrtSource(INT_PTR handle) : m_handle(static_cast<int>(handle)) {}
  bool Seek(uint32_t offset) override {
    return offset <= 0x7FFFFFFF &&
           _lseek(m_handle, static_cast<long>(offset), SEEK_SET) == static_cast<long>(offset);
  }
  size_t Read(void* buffer, size_t size) override {
    int got = _read(m_handle, buffer, static_cast<unsigned>(size));
    return got > 0 ? static_cast<size_t>(got) : 0;
  }

 private:
  int m_handle;
};

UINT DIAMONDAPI TimedWrite(INT_PTR handle, void* buffer, UINT size) {
  CZStepClock clock(kWrite);
  return FdiWrite(handle, buffer, size);
}

// Copies of the staging helpers package/staged_install.cpp keeps to itself.
std::string FoldCase(std::string name) {
  if (!name.empty()) CharUpperBuffA(&name[0], static_cast<DWORD>(name.size()));
  return name;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// With known (the knownfolders change), a folder met before is not looked
// for again.
void CreateFoldersRecorded(const std::string& filePath, std::vector<std::string>* created,
                           std::set<std::string>* known) {
  const size_t first = filePath.find('\\');
  const size_t last = filePath.rfind('\\');
  if (first == std::string::npos || first == last) return;
  for (size_t at = filePath.find('\\', first + 1); at != std::string::npos && at <= last;
       at = filePath.find('\\', at + 1)) {
    const std::string folder = filePath.substr(0, at);
    if (known != nullptr && !known->insert(FoldCase(folder)).second) continue;
    if (Exists(folder)) continue;
    if (!CreateDirectoryA(folder.c_str(), nullptr)) return;
    created->push_back(folder);
  }
}

bool WriteFlushed(const std::string& path, const std::string& text) {
  CZUniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file.valid() &&
         WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size() && FlushFileBuffers(file.get());
}

bool CanBeReplaced(const std::string& path) {
  CZUniqueFile file(CreateFileA(path.c_str(), DELETE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.valid();
}

// IsUpdaterOwnPath (settings/own_files.cpp), its two parts timed apart.
bool IsOwnPath(const std::string& path) {
  std::string working;
  {
    CZStepClock clock(kOwnWorking);
    char folder[kPathSize];
    if (!GetWorkingFolder(folder, sizeof(folder)) || !NormalisePath(folder, &working))
      working.clear();
    if (!working.empty() && working.back() != '\\') working += '\\';
  }
  CZStepClock clock(kOwnTarget);
  std::string normal;
  if (working.empty() || !NormalisePath(path, &normal)) return false;
  if (normal.size() < working.size() ||
      _strnicmp(normal.c_str(), working.c_str(), working.size()) != 0) {
    return false;
  }
  const std::string rest = normal.substr(working.size());
  return IsUpdaterOwnName(rest.substr(0, rest.find('\\')));
}

// The ownonce change: what IsOwnPath finds for each name, with the working
// folder and the destination normalised once. Stored names are safe (no
// "..", no drive, no colon), so a target's full path is the destination's
// with the name appended, cut as GetFullPathName cuts it; only short names
// need the file system, and a short name holds a '~'.
class CZOwnPathCheck {
 public:
  explicit CZOwnPathCheck(const std::string& destination) {
    CZStepClock clock(kOwnWorking);
    char folder[kPathSize];
    if (GetWorkingFolder(folder, sizeof(folder)) && NormalisePath(folder, &m_working) &&
        !m_working.empty() && m_working.back() != '\\') {
      m_working += '\\';
    }
    if (!NormalisePath(destination, &m_destination)) m_destination.clear();
    m_raw = destination;
  }
  bool IsOwn(const std::string& name) const {
    if (m_working.empty() || m_destination.empty() || name.find('~') != std::string::npos)
      return IsOwnPath(m_raw + "\\" + name);
    CZStepClock clock(kOwnTarget);
    char full[kPathSize];
    const DWORD length =
        GetFullPathNameA((m_destination + "\\" + name).c_str(), sizeof(full), full, nullptr);
    if (length == 0 || length >= sizeof(full)) return false;
    if (_strnicmp(full, m_working.c_str(), m_working.size()) != 0) return false;
    const std::string rest = full + m_working.size();
    return IsUpdaterOwnName(rest.substr(0, rest.find('\\')));
  }

 private:
  std::string m_working;
  std::string m_destination;
  std::string m_raw;
};

// What one extraction stages, as CZStagedInstall keeps it.
struct CZStaging {
  std::string root;
  std::string newFolder;
  std::string oldFolder;
  std::vector<std::string> names;
  std::set<std::string> foldedNames;
  std::vector<std::string> createdFolders;
  std::vector<DWORD> journalAttributes;  // what the journal found, name by name
  std::set<std::string> knownFolders;
  size_t replaced = 0;
};

INT_PTR OpenTarget(CZStaging* staging, const char* destination, const char* storedName) {
  CZStepClock clock(kCreate);
  if (!IsSafeStoredName(storedName)) return -1;
  char target[kPathSize];
  if (FormatText(target, sizeof(target), "%s\\%s", staging->newFolder.c_str(), storedName) < 0 ||
      strlen(destination) + 1 + strlen(storedName) >= kPathSize) {
    return -1;
  }
  const int flags = _O_BINARY | _O_RDWR | _O_CREAT | _O_TRUNC;
  INT_PTR handle = OpenWithFolderRetry(target, flags, _S_IWRITE);
  if (handle == -1) {
    if (GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES) return -1;
    SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);
    handle = OpenWithFolderRetry(target, flags, _S_IWRITE);
  }
  if (handle != -1 && staging->foldedNames.insert(FoldCase(storedName)).second)
    staging->names.push_back(storedName);
  return handle;
}

struct CZNotifyContext {
  CZStaging* staging;
  const char* destination;
};

INT_PTR DIAMONDAPI Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notification) {
  CZNotifyContext* context = static_cast<CZNotifyContext*>(notification->pv);
  switch (type) {
    case fdintCOPY_FILE:
      return OpenTarget(context->staging, context->destination, notification->psz1);
    case fdintCLOSE_FILE_INFO: {
      const int file = static_cast<int>(notification->hf);
      bool flushed;
      {
        CZStepClock clock(kFlush);
        flushed = _commit(file) == 0;
      }
      CZStepClock clock(kClose);
      return _close(file) == 0 && flushed ? 1 : 0;
    }
    case fdintNEXT_CABINET:
      return -1;
    default:
      return 1;
  }
}

bool WriteJournal(CZStaging* staging, const std::string& destination) {
  CZStepClock clock(kJournal);
  std::string text = "zupdater commit\nD|" + destination + "\n";
  for (size_t i = 0; i < staging->names.size(); ++i) {
    const DWORD attributes = GetFileAttributesA((destination + "\\" + staging->names[i]).c_str());
    staging->journalAttributes.push_back(attributes);
    const bool hadOld = attributes != INVALID_FILE_ATTRIBUTES;
    text += "F|" + std::to_string(i) + "|" + (hadOld ? "1" : "0") + "|" +
            std::to_string(hadOld ? attributes : 0) + "|" + staging->names[i] + "\n";
  }
  return WriteFlushed(staging->root + "\\journal.txt", text);
}

bool MoveOne(CZStaging* staging, size_t index, const std::string& destination) {
  const std::string target = destination + "\\" + staging->names[index];
  const std::string staged = staging->newFolder + "\\" + staging->names[index];
  DWORD attributes;
  {
    CZStepClock clock(kAttributes);
    attributes = g_changes.journalAttributes ? staging->journalAttributes[index]
                                             : GetFileAttributesA(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) {
      SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
  }
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    std::string backup = staging->oldFolder + "\\" + std::to_string(index);
    {
      CZStepClock clock(kReplaceable);
      if (!CanBeReplaced(target)) return false;
    }
    CZStepClock clock(kLink);
    if (g_changes.linkBuckets) {
      const std::string bucket = staging->oldFolder + "\\b" + std::to_string(index / kLinkBucket);
      if (staging->knownFolders.insert(FoldCase(bucket)).second)
        CreateDirectoryA(bucket.c_str(), nullptr);
      backup = bucket + "\\" + std::to_string(index);
    }
    if (!CreateHardLinkA(backup.c_str(), target.c_str(), nullptr) &&
        !CopyFileFlushed(target.c_str(), backup.c_str())) {
      return false;
    }
    ++staging->replaced;
  } else {
    CZStepClock clock(kFolders);
    CreateFoldersRecorded(target, &staging->createdFolders,
                          g_changes.knownFolders ? &staging->knownFolders : nullptr);
  }
  CZStepClock clock(kRename);
  return ReplaceFileByRename(staged.c_str(), target.c_str());
}

bool Extract(const char* image, const char* destination, CZStaging* staging) {
  char folder[kPathSize];
  CopyBounded(folder, image);
  char* slash = strrchr(folder, '\\');
  if (slash == nullptr) return false;
  char name[kPathSize];
  CopyBounded(name, slash + 1);
  slash[1] = 0;
  {
    CZStepClock clock(kLayout);
    CZCrtFile file(OpenWithFolderRetry(image, _O_BINARY | _O_RDONLY, _S_IREAD));
    if (!file.valid()) return false;
    CZCrtSource source(file.get());
    std::string fault;
    if (!CheckCabinetLayout(source, &fault)) return false;
  }
  {
    CZStepClock clock(kStage);
    RecoverUnfinishedCommit(staging->root);
    if (!CreateDirectoryA(staging->root.c_str(), nullptr) ||
        !CreateDirectoryA(staging->newFolder.c_str(), nullptr) ||
        !CreateDirectoryA(staging->oldFolder.c_str(), nullptr)) {
      return false;
    }
  }
  ERF error = {};
  HFDI context =
      FDICreate(FdiAllocate, FdiFree, FdiOpen, FdiRead, TimedWrite, FdiClose, FdiSeek, 1, &error);
  if (context == nullptr) return false;
  CZNotifyContext notify = {staging, destination};
  BOOL copied;
  {
    CZStepClock clock(kDecompress);
    copied = FDICopy(context, name, folder, 0, Notify, FdiDecrypt, &notify);
  }
  FDIDestroy(context);
  // The callbacks' time is their own steps', not the decompressor's.
  g_seconds[kDecompress] -=
      g_seconds[kCreate] + g_seconds[kWrite] + g_seconds[kFlush] + g_seconds[kClose];
  if (!copied) return false;
  if (g_changes.ownOnce) {
    const CZOwnPathCheck check(destination);
    for (const std::string& stored : staging->names)
      if (check.IsOwn(stored)) return false;
  } else {
    for (const std::string& stored : staging->names)
      if (IsOwnPath(std::string(destination) + "\\" + stored)) return false;
  }
  if (!WriteJournal(staging, destination)) return false;
  for (size_t i = 0; i < staging->names.size(); ++i)
    if (!MoveOne(staging, i, destination)) return false;
  CZStepClock clock(kUnjournal);
  DeleteFileA((staging->root + "\\journal.txt").c_str());
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: extract_steps_bench <image> <folder> [change...]\n");
    return 2;
  }
  for (int i = 3; i < argc; ++i) {
    const std::string change = argv[i];
    if (change == "ownonce") {
      g_changes.ownOnce = true;
    } else if (change == "journalattrs") {
      g_changes.journalAttributes = true;
    } else if (change == "knownfolders") {
      g_changes.knownFolders = true;
    } else if (change == "linkbuckets") {
      g_changes.linkBuckets = true;
    } else {
      fprintf(stderr, "unknown change %s\n", argv[i]);
      return 2;
    }
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  g_frequency = double(frequency.QuadPart);
  CZStaging staging;
  staging.root = StagingRootOf(argv[1]);
  staging.newFolder = staging.root + "\\n";
  staging.oldFolder = staging.root + "\\o";
  const LONGLONG start = Now();
  bool ok = Extract(argv[1], argv[2], &staging);
  {
    CZStepClock clock(kCleanup);
    RemoveFileTree(staging.root);
  }
  const double total = double(Now() - start) / g_frequency;
  printf("%s files %lu replaced %lu", ok ? "ok" : "failed",
         static_cast<unsigned long>(staging.names.size()),
         static_cast<unsigned long>(staging.replaced));
  for (int step = 0; step < kStepCount; ++step)
    printf(" %s %.3f", kStepNames[step], g_seconds[step]);
  printf(" total %.3f\n", total);
  return ok ? 0 : 1;
}

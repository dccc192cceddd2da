#include "test_support.h"

#include <tlhelp32.h>

#include <cstring>
#include <vector>

CZTempFolder::CZTempFolder(const char* tag) {
  char base[MAX_PATH];
  GetTempPathA(sizeof(base), base);
  static unsigned counter = 0;
  char name[MAX_PATH];
  wsprintfA(name, "%szu_%s_%lu_%lu_%u\\", base, tag, GetCurrentProcessId(), GetTickCount(),
            counter++);
  m_path = name;
  CreateDirectoryA(m_path.c_str(), nullptr);
}

CZTempFolder::~CZTempFolder() { RemoveTree(m_path); }

CZScopedRegTree::CZScopedRegTree(HKEY root, const char* subKey, REGSAM view)
    : m_root(root), m_subKey(subKey), m_view(view) {
  Remove();
}

CZScopedRegTree::~CZScopedRegTree() { Remove(); }

void CZScopedRegTree::Remove() {
  if (m_view == 0) {
    RegDeleteTreeA(m_root, m_subKey.c_str());
    return;
  }
  // The subtree's contents through a handle of the view, then the key itself.
  HKEY key;
  if (RegOpenKeyExA(m_root, m_subKey.c_str(), 0, KEY_ALL_ACCESS | m_view, &key) != ERROR_SUCCESS)
    return;
  RegDeleteTreeA(key, nullptr);
  RegCloseKey(key);
  RegDeleteKeyExA(m_root, m_subKey.c_str(), m_view, 0);
}

std::string TestProgramFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof(path));
  char* slash = strrchr(path, '\\');
  if (slash != nullptr) slash[1] = '\0';
  return path;
}

std::string UpdaterExePath() { return TestProgramFolder() + "..\\zupdater.exe"; }

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFileText(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string text;
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) text.append(chunk, read);
  CloseHandle(file);
  return text;
}

bool WriteFileText(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size();
}

void RemoveTree(const std::string& path) {
  std::string folder = path;
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
      std::string child = folder + "\\" + found.cFileName;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (done()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(50);
  }
}

namespace {
// Calls use(process, file name) for each program whose file lies in folder
// until it returns false; the process is opened with access.
void ForEachProgramIn(const std::string& folder, DWORD access,
                      const std::function<bool(HANDLE, const char*)>& use) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  bool more = true;
  for (BOOL next = Process32First(snapshot, &entry); next && more;
       next = Process32Next(snapshot, &entry)) {
    HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | access, FALSE, entry.th32ProcessID);
    if (process == nullptr) continue;
    char path[MAX_PATH];
    DWORD size = sizeof(path);
    if (QueryFullProcessImageNameA(process, 0, path, &size) && size > folder.size() &&
        _strnicmp(path, folder.c_str(), folder.size()) == 0)
      more = use(process, path + folder.size());
    CloseHandle(process);
  }
  CloseHandle(snapshot);
}

}  // namespace

bool AnyProgramRunningIn(const std::string& folder) {
  bool found = false;
  ForEachProgramIn(folder, 0, [&](HANDLE, const char*) { return !(found = true); });
  return found;
}

int KillProgramsIn(const std::string& folder, const std::vector<std::string>& names) {
  int killed = 0;
  ForEachProgramIn(folder, PROCESS_TERMINATE, [&](HANDLE process, const char* name) {
    for (const std::string& wanted : names)
      if (_stricmp(name, wanted.c_str()) == 0 && TerminateProcess(process, 9)) ++killed;
    return true;
  });
  return killed;
}

bool WaitForProgramsIn(const std::string& folder, DWORD timeoutMs) {
  return WaitUntil([&] { return !AnyProgramRunningIn(folder); }, timeoutMs);
}

DWORD RunProgram(const std::string& commandLine, const std::string& folder, DWORD timeoutMs) {
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &si, &pi))
    return ~0u;
  DWORD code = ~0u;
  if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0)
    GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

ULONGLONG FileTimeFromUnix(long long seconds) {
  return static_cast<ULONGLONG>(seconds) * 10000000ULL + 116444736000000000ULL;
}

bool StampFile(const std::string& path, ULONGLONG time) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME ft = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  BOOL ok = SetFileTime(file, nullptr, nullptr, &ft);
  CloseHandle(file);
  return ok != FALSE;
}

namespace {
const char kBrowserBlockKey[] = "Software\\Wine\\AppDefaults\\zupdater.exe\\DllOverrides";
}  // namespace

CZScopedBrowserBlock::CZScopedBrowserBlock() {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kBrowserBlockKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &key, nullptr) == ERROR_SUCCESS) {
    RegSetValueExA(key, "ieframe", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
    RegCloseKey(key);
  }
}

CZScopedBrowserBlock::~CZScopedBrowserBlock() {
  RegDeleteTreeA(HKEY_CURRENT_USER, kBrowserBlockKey);
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::vector<std::string> RequestLines(const std::string& record) {
  std::vector<std::string> lines;
  bool first = true;
  size_t start = 0;
  for (size_t end; (end = record.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::string line = record.substr(start, end - start);
    if (first && !line.empty()) lines.push_back(line);
    first = line.empty();
  }
  return lines;
}

std::string ReleaseFolderIn(const std::string& temp) {
  std::string base = temp;
  if (!base.empty() && base.back() != '\\') base += '\\';
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((base + "zupdater-*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return std::string();
  std::string folder;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) folder = base + found.cFileName + "\\";
  } while (folder.empty() && FindNextFileA(search, &found));
  FindClose(search);
  return folder;
}

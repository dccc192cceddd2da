// Small helpers shared by the tests that run under Wine.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Keeps zupdater.exe from loading the web browser control's library while
// it lives, the way a machine without a usable control behaves: the web
// browser test fails, and a prompt waits for its navigation timer.
class CZScopedBrowserBlock {
 public:
  CZScopedBrowserBlock();
  ~CZScopedBrowserBlock();
};

// A fresh folder under the temporary folder, ending with a backslash; the
// folder and everything in it is removed when the object goes.
class CZTempFolder {
 public:
  explicit CZTempFolder(const char* tag);
  ~CZTempFolder();
  const std::string& path() const { return m_path; }
  std::string operator/(const std::string& name) const { return m_path + name; }

 private:
  std::string m_path;
};

// Removes a registry subtree when the object goes (and once when it is made,
// so a failed earlier run leaves nothing behind). view: KEY_WOW64_32KEY or
// KEY_WOW64_64KEY for that view of a key 64-bit Windows keeps in two; 0 for
// this program's own.
class CZScopedRegTree {
 public:
  CZScopedRegTree(HKEY root, const char* subKey, REGSAM view = 0);
  ~CZScopedRegTree();

 private:
  void Remove();

  HKEY m_root;
  std::string m_subKey;
  REGSAM m_view;
};

std::string TestProgramFolder();  // ends with a backslash
std::string UpdaterExePath();     // the real zupdater.exe of this build
bool FileExists(const std::string& path);
// The folder a run of the updater made for a host client release in the
// temporary folder temp (temp\zupdater-XXXXXXXX\); empty when there is none.
std::string ReleaseFolderIn(const std::string& temp);
std::string ReadFileText(const std::string& path);
bool WriteFileText(const std::string& path, const std::string& text);
void RemoveTree(const std::string& path);
// text with every from replaced by to.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);
// The request lines ("GET /x HTTP/1.0") of a test server's record, in order.
std::vector<std::string> RequestLines(const std::string& record);
// Seconds since 1970 as a file time (100 ns since 1601).
ULONGLONG FileTimeFromUnix(long long seconds);
// Sets the last-write time of an existing file.
bool StampFile(const std::string& path, ULONGLONG time);
// Polls until done() holds or timeoutMs passes; true when it held.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);
// Whether a process whose program lies in folder (ending with a backslash)
// is running.
bool AnyProgramRunningIn(const std::string& folder);
// Polls until no process whose program lies in folder (ending with a
// backslash) is running, or timeoutMs passes; true when none is left.
bool WaitForProgramsIn(const std::string& folder, DWORD timeoutMs);
// Ends at once, as a kill does, every program whose file lies directly in
// folder under one of names (compared case-folded); how many it ended.
int KillProgramsIn(const std::string& folder, const std::vector<std::string>& names);
// Starts commandLine in folder and waits for that process to end. Its exit
// code, or ~0 when it could not be started or did not end in time.
DWORD RunProgram(const std::string& commandLine, const std::string& folder, DWORD timeoutMs);

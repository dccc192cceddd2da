// Paths as Windows resolves them, and the two rules every file the updater
// writes or starts in its working folder passes: it is not one of the
// updater's own files, and no link leads it elsewhere.
#pragma once
#include <string>

// The full, long form of a path: "." and ".." steps resolved and short (8.3)
// names expanded as far as the path exists. False when it does not fit a
// path.
bool NormalisePath(const std::string& path, std::string* normal);

// True when path, normalised, is one of the updater's own files directly in
// the working folder (zupdater.exe, ZUDPTEMP.EXE ...), or lies in its logs
// folder.
bool IsUpdaterOwnPath(const std::string& path);

// IsUpdaterOwnPath for many names below one folder (a package's files):
// the folders are resolved once, and a name on its own only where it may
// hold a short name; resolving every path in full costs milliseconds a
// name.
class CZOwnPathCheck {
 public:
  explicit CZOwnPathCheck(const std::string& folder);
  // Whether folder\name is one of the updater's own files.
  bool IsOwn(const std::string& name) const;

 private:
  std::string m_given;    // the folder as given
  std::string m_working;  // normalised, ending with a backslash
  std::string m_folder;   // normalised, ending with a backslash
};

// True when path, normalised, lies where the updater downloads its
// packages: in or below the working folder or the application folder, in
// the system folder, or in a release folder of its own (kReleaseFolderPrefix)
// in the temporary folder. What an earlier run recorded as its own files is
// acted on only there: the record lies in the user's registry, which a
// program with fewer rights than an elevated updater may write.
bool IsUpdaterDownloadPath(const std::string& path);

// True when a folder of path below the working folder, or path itself, is a
// link (a junction, a symbolic link or another reparse point): writing there
// would write wherever the link leads. Paths outside the working folder are
// not looked at.
bool IsPathThroughLink(const std::string& path);

// Extracted files wait in a staging folder until the whole image is out, and
// then replace the installed files together. Each replacement is a rename
// over the installed file, whose old version is kept (a hard link, else a
// flushed copy) until the whole image is in: at every instant each installed
// file is its old or its new version, whole, and never missing. A journal in
// the staging folder names what a commit changes, so that one cut off (a
// kill, a power cut) is put back by the next run instead of being deleted
// with the only copy of an old file.
#pragma once
#include <set>
#include <string>
#include <vector>

class CZStagedInstall {
 public:
  // root: the staging folder to use (made afresh). A commit that an earlier
  // run left unfinished there is put back first; anything else there is
  // removed.
  explicit CZStagedInstall(const std::string& root);
  CZStagedInstall(const CZStagedInstall&) = delete;
  CZStagedInstall& operator=(const CZStagedInstall&) = delete;
  // Ends a commit (its journal goes first) and removes the staging folder
  // and whatever is left in it.
  ~CZStagedInstall();

  // False when the staging folder could not be made.
  bool IsReady() const { return m_ready; }
  // Where the file stored as name is written while staged (the folder that
  // holds it may not exist yet).
  const std::string& NewFilesFolder() const { return m_newFolder; }
  // Records that name was staged; a name met again (in any case) once.
  void AddStagedName(const std::string& name);
  // Whether name (in any case) was staged.
  bool HasStagedName(const std::string& name) const;
  // The names staged, in their order.
  const std::vector<std::string>& Names() const { return m_names; }
  // Where the file staged as name (in any case) waits; empty when none was.
  std::string StagedPathOf(const std::string& name) const;

  // Moves every staged file into destination, overwriting read-only files.
  // On any failure the files already moved are put back as they were, the
  // folders made for them are removed again, and false is returned. A
  // commit that succeeded lasts until this object ends: a run cut off before
  // then has it put back.
  bool CommitTo(const std::string& destination);

 private:
  struct CZMovedFile {
    std::string target;
    std::string staged;
    std::string backup;  // empty when there was no installed file
    unsigned long attributes = 0;
  };
  // Also notes each installed file's attributes (INVALID_FILE_ATTRIBUTES:
  // none there) in m_installedAttributes.
  bool WriteJournal(const std::string& destination);
  bool MoveOne(size_t index, const std::string& destination, CZMovedFile* moved);
  void PutBack(const CZMovedFile& moved);

  std::string m_root;
  std::string m_newFolder;
  std::string m_oldFolder;
  std::vector<std::string> m_names;     // in the order they were staged
  std::set<std::string> m_foldedNames;  // the same, case-folded: each name once
  std::vector<std::string> m_createdFolders;
  std::vector<unsigned long> m_installedAttributes;
  bool m_ready = false;
};

// Puts back what a commit cut off in root had changed (from its journal),
// then removes root. Only a journal of the folder the image (root without
// its trailing '~') lies in is acted on. The number of installed files put back; 0 when root
// held no unfinished commit.
size_t RecoverUnfinishedCommit(const std::string& root);

// Removes a staging folder: its journal first, so that a removal cut off
// half way never leaves a journal to act on.
void RemoveStagingRoot(const std::string& root);

// The staging folder an image is extracted through: beside the image.
std::string StagingRootOf(const std::string& imagePath);

// Removes a file or a folder with everything below it. Read-only entries
// are removed too.
void RemoveFileTree(const std::string& path);

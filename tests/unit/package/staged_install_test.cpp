// A commit cut off part way (a kill, a power cut) as the next run finds it:
// its journal, the old files it kept, the files it had moved in. The next
// run puts back every installed file as it was, and removes the staging
// folder; a staging folder without a journal held only copies.
#include "package/staged_install.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package_fixtures.h"
#include "test_support.h"

namespace {
class StagedInstallTest : public ::testing::Test {
 protected:
  std::string Destination() const {
    std::string path = m_folder.path();
    path.pop_back();
    return path;
  }
  std::string Root() const { return m_folder / "pkg.dl_~"; }
  // A root as a commit of a.dll (installed before) and b.dll (new) leaves it
  // when cut off after both were moved in: the old a.dll kept as o\0.
  void LayOutCutOffCommit() {
    ASSERT_TRUE(CreateDirectoryA(Root().c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((Root() + "\\n").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((Root() + "\\o").c_str(), nullptr));
    ASSERT_TRUE(WriteFileText(Root() + "\\o\\0", "old a"));
    ASSERT_TRUE(WriteFileText(m_folder / "a.dll", "new a"));
    ASSERT_TRUE(WriteFileText(m_folder / "b.dll", "new b"));
    ASSERT_TRUE(WriteFileText(Root() + "\\journal.txt", "zupdater commit\nD|" + Destination() +
                                                            "\nF|0|1|32|a.dll\nF|1|0|0|b.dll\n"));
  }

  CZTempFolder m_folder{"staged"};
};
}  // namespace

TEST_F(StagedInstallTest, CutOffCommitIsPutBack) {
  LayOutCutOffCommit();
  EXPECT_EQ(2u, RecoverUnfinishedCommit(Root()));
  EXPECT_EQ("old a", ReadFileText(m_folder / "a.dll"));
  EXPECT_FALSE(FileExists(m_folder / "b.dll"));
  EXPECT_EQ(std::vector<std::string>{"a.dll"}, ListFiles(m_folder.path()));
}

// Cut off before the second file was moved in: it still waits, staged, and
// the installed name was never touched.
TEST_F(StagedInstallTest, FileNotYetMovedStaysAsItWas) {
  LayOutCutOffCommit();
  ASSERT_TRUE(DeleteFileA((m_folder / "b.dll").c_str()));
  ASSERT_TRUE(WriteFileText(Root() + "\\n\\b.dll", "new b"));
  EXPECT_EQ(1u, RecoverUnfinishedCommit(Root()));
  EXPECT_EQ(std::vector<std::string>{"a.dll"}, ListFiles(m_folder.path()));
  EXPECT_EQ("old a", ReadFileText(m_folder / "a.dll"));
}

// The next extraction through the same staging folder puts the cut-off
// commit back before it starts: the only copy of the old file survives.
TEST_F(StagedInstallTest, NewStagingPutsBackBeforeItStarts) {
  LayOutCutOffCommit();
  {
    CZStagedInstall staging(Root());
    EXPECT_TRUE(staging.IsReady());
    EXPECT_EQ("old a", ReadFileText(m_folder / "a.dll"));
    EXPECT_FALSE(FileExists(m_folder / "b.dll"));
  }
  EXPECT_FALSE(FileExists(Root()));
}

// Without a journal nothing had changed yet: the folder held only staged
// copies and goes.
TEST_F(StagedInstallTest, StagingWithoutJournalIsRemoved) {
  ASSERT_TRUE(WriteFileText(m_folder / "a.dll", "installed a"));
  ASSERT_TRUE(CreateDirectoryA(Root().c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((Root() + "\\n").c_str(), nullptr));
  ASSERT_TRUE(WriteFileText(Root() + "\\n\\a.dll", "staged a"));
  EXPECT_EQ(0u, RecoverUnfinishedCommit(Root()));
  EXPECT_FALSE(FileExists(Root()));
  EXPECT_EQ("installed a", ReadFileText(m_folder / "a.dll"));
}

// A whole commit: the new files in place once the commit ends, the old
// ones' links gone with the staging folder, read-only installed files
// replaced. Until it ends (the caller still stamps and registers), a run cut
// off has the old files put back.
TEST_F(StagedInstallTest, CommitLastsUntilTheStagingEnds) {
  for (const bool cutBeforeTheEnd : {false, true}) {
    SCOPED_TRACE(cutBeforeTheEnd ? "cut before the end" : "ended");
    ASSERT_TRUE(WriteFileText(m_folder / "a.dll", "old a"));
    ASSERT_TRUE(SetFileAttributesA((m_folder / "a.dll").c_str(), FILE_ATTRIBUTE_READONLY));
    {
      CZStagedInstall staging(Root());
      ASSERT_TRUE(staging.IsReady());
      for (const char* name : {"a.dll", "b.dll"}) {
        ASSERT_TRUE(
            WriteFileText(staging.NewFilesFolder() + "\\" + name, std::string("new ") + name));
        staging.AddStagedName(name);
      }
      ASSERT_TRUE(staging.CommitTo(Destination()));
      EXPECT_EQ("new a.dll", ReadFileText(m_folder / "a.dll"));
      EXPECT_TRUE(FileExists(Root() + "\\journal.txt"));
      // What the next run finds when this one is cut off now.
      if (cutBeforeTheEnd) EXPECT_EQ(2u, RecoverUnfinishedCommit(Root()));
    }
    EXPECT_FALSE(FileExists(Root()));
    if (cutBeforeTheEnd) {
      EXPECT_EQ("old a", ReadFileText(m_folder / "a.dll"));
      EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY),
                GetFileAttributesA((m_folder / "a.dll").c_str()) & FILE_ATTRIBUTE_READONLY);
      EXPECT_EQ(std::vector<std::string>{"a.dll"}, ListFiles(m_folder.path()));
    } else {
      EXPECT_EQ("new a.dll", ReadFileText(m_folder / "a.dll"));
      EXPECT_EQ("new b.dll", ReadFileText(m_folder / "b.dll"));
      EXPECT_EQ((std::vector<std::string>{"a.dll", "b.dll"}), ListFiles(m_folder.path()));
    }
    SetFileAttributesA((m_folder / "a.dll").c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA((m_folder / "a.dll").c_str());
    DeleteFileA((m_folder / "b.dll").c_str());
  }
}

// A journal is acted on only for the folder its image lies in, and only for
// names that stay in it: one planted elsewhere (the record of pending
// images is in the user's registry) moves and deletes nothing.
TEST_F(StagedInstallTest, ForeignJournalChangesNothing) {
  CZTempFolder elsewhere{"elsewhere"};
  std::string other = elsewhere.path();
  other.pop_back();
  struct Case {
    const char* label;
    std::string destination;
    std::string name;
  };
  const Case cases[] = {
      {"another folder", other, "a.dll"},
      {"the parent folder", Destination().substr(0, Destination().rfind('\\')), "a.dll"},
      {"a name that climbs out", Destination(),
       "..\\" + other.substr(other.rfind('\\') + 1) + "\\a.dll"},
      {"an absolute name", Destination(), other + "\\a.dll"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_TRUE(WriteFileText(elsewhere / "a.dll", "victim"));
    ASSERT_TRUE(WriteFileText(elsewhere / "b.dll", "victim b"));
    ASSERT_TRUE(CreateDirectoryA(Root().c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((Root() + "\\o").c_str(), nullptr));
    ASSERT_TRUE(WriteFileText(Root() + "\\o\\0", "planted"));
    ASSERT_TRUE(WriteFileText(
        Root() + "\\journal.txt",
        "zupdater commit\nD|" + c.destination + "\nF|0|1|32|" + c.name + "\nF|1|0|0|b.dll\n"));
    EXPECT_EQ(0u, RecoverUnfinishedCommit(Root()));
    EXPECT_EQ("victim", ReadFileText(elsewhere / "a.dll"));
    EXPECT_EQ("victim b", ReadFileText(elsewhere / "b.dll"));
    EXPECT_FALSE(FileExists(Root()));
  }
}

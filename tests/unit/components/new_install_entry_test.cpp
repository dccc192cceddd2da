#include "components/new_install_entry.h"

#include <string>
#include <vector>

#include "component_fixture.h"
#include "reg_values.h"

namespace {
const char kUpdateKey[] = "SOFTWARE\\Zindo\\Murvo\\Update";
const char kUntouched[] = "untouched";

// The host client in the compared folder: fake_host5.exe, version 5.0.1.0,
// as murvo.exe; a text file without a version beside it.
class NewInstallTest : public CZManifestTest {
 protected:
  void SetUp() override {
    CZManifestTest::SetUp();
    ASSERT_TRUE(
        CopyFileA(FixturePath("fake_host5.exe").c_str(), (m_folder / "murvo.exe").c_str(), FALSE));
    ASSERT_TRUE(WriteFileText(m_folder / "readme.txt", "no version here"));
  }

  struct Outcome {
    int result;
    int end;
    int silent;
    std::string link;
  };
  Outcome Check(int number) {
    Outcome o{0, 0, 1, ""};
    char link[260];
    strcpy(link, kUntouched);
    o.result = CheckNewInstallEntry(m_manifest.c_str(), m_folder.path().c_str(), "murvo.exe",
                                    number, link, sizeof(link), &o.end, &o.silent);
    o.link = link;
    return o;
  }
  // The caller's loop: numbers from 1 until an entry ends the search or the
  // list ends. Returns the numbers tested.
  std::vector<int> Search(Outcome* last) {
    std::vector<int> tested;
    for (int n = 1; n < 20; ++n) {
      tested.push_back(n);
      *last = Check(n);
      if (last->result != 0 || last->end != 0) break;
    }
    return tested;
  }

  CZScopedRegTree m_settings{HKEY_CURRENT_USER, "SOFTWARE\\Zindo\\Murvo"};
};
}  // namespace

TEST_F(NewInstallTest, FirstEntryThatAppliesEndsTheSearch) {
  WriteManifest(
      "[New Install1]\nVersion=5,0,1,0\nLink=http://h/one.qpk\n"
      "[New Install2]\nVersion=5,0,1,1\nLink=http://h/two.qpk\nSilent=0\n"
      "[New Install3]\nVersion=9,0,0,0\nLink=http://h/three.qpk\n");
  Outcome last;
  EXPECT_EQ((std::vector<int>{1, 2}), Search(&last));
  EXPECT_EQ(1, last.result);
  EXPECT_EQ(0, last.end);
  EXPECT_EQ("http://h/two.qpk", last.link);
  EXPECT_EQ(0, last.silent);
}

TEST_F(NewInstallTest, EntriesOneAndTwoThenNone) {
  WriteManifest(
      "[New Install1]\nVersion=5,0,1,0\nLink=http://h/one.qpk\n"
      "[New Install2]\nVersion=4,0,0,0\nLink=http://h/two.qpk\n"
      "[New Install4]\nVersion=9,0,0,0\nLink=http://h/four.qpk\n");
  Outcome last;
  // Number 3 is missing: the list ends there, number 4 is never seen.
  EXPECT_EQ((std::vector<int>{1, 2, 3}), Search(&last));
  EXPECT_EQ(0, last.result);
  EXPECT_EQ(1, last.end);
  EXPECT_EQ(kUntouched, last.link);
}

namespace {
struct EntryCase {
  const char* label;
  const char* section;  // body of [New Install1]
  int result;
  const char* link;  // kUntouched when the buffer must not be written
  int silent;
};
// Names the case in test listings.
void PrintTo(const EntryCase& c, std::ostream* os) { *os << c.label; }

class EntryTest : public NewInstallTest, public ::testing::WithParamInterface<EntryCase> {};
}  // namespace

TEST_P(EntryTest, LinkIsReadOnlyForAnOlderFile) {
  const EntryCase& c = GetParam();
  WriteManifest(std::string("[New Install1]\n") + c.section);
  Outcome o = Check(1);
  EXPECT_EQ(c.result, o.result);
  EXPECT_EQ(0, o.end);
  EXPECT_EQ(c.link, o.link);
  EXPECT_EQ(c.silent, o.silent);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EntryTest,
    ::testing::Values(
        EntryCase{"OlderRevision", "Version=5,0,1,1\nLink=http://h/s.qpk\n", 1, "http://h/s.qpk",
                  1},
        EntryCase{"OlderMinor", "Version=5,1,0,0\nLink=L\nSilent=0\n", 1, "L", 0},
        // Two parts are major and revision: 5.0.0.1 is below 5.0.1.0.
        EntryCase{"TwoPartsAreMajorAndRevision", "Version=5,1\nLink=L\n", 0, kUntouched, 1},
        EntryCase{"OnePartIsTheRevision", "Version=9\nLink=L\n", 0, kUntouched, 1},
        EntryCase{"OlderNoLink", "Version=6,0,0,0\n", 1, "", 1},
        EntryCase{"SilentValueKept", "Version=6,0,0,0\nLink=L\nSilent=7\n", 1, "L", 7},
        EntryCase{"Equal", "Version=5,0,1,0\nLink=L\n", 0, kUntouched, 1},
        EntryCase{"Newer", "Version=4,9,9,9\nLink=L\n", 0, kUntouched, 1},
        // The high half decides first: 5.0 beats 4.65535.
        EntryCase{"HighHalfFirst", "Version=4,65535,65535,65535\nLink=L\n", 0, kUntouched, 1},
        EntryCase{"ComparedFileMissing", "Version=9,0,0,0\nCmpFileName=absent.exe\nLink=L\n", 0,
                  kUntouched, 1},
        EntryCase{"ComparedFileWithoutVersion", "Version=9,0,0,0\nCmpFileName=readme.txt\nLink=L\n",
                  0, kUntouched, 1},
        EntryCase{"ComparedFileNamed", "Version=5,0,1,1\nCmpFileName=murvo.exe\nLink=L\n", 1, "L",
                  1}),
    [](const ::testing::TestParamInfo<EntryCase>& info) { return std::string(info.param.label); });

TEST_F(NewInstallTest, LinkIsCutToTheCallersBuffer) {
  WriteManifest("[New Install1]\nVersion=9,0,0,0\nLink=http://h/a-rather-long-link.qpk\n");
  char link[12] = "";
  int end = 0, silent = 1;
  EXPECT_EQ(1, CheckNewInstallEntry(m_manifest.c_str(), m_folder.path().c_str(), "murvo.exe", 1,
                                    link, sizeof(link), &end, &silent));
  EXPECT_STREQ("http://h/a-", link);
}

namespace {
struct RefusalCase {
  const char* label;
  const char* requirement;  // null: key absent
  const char* recorded;     // LastUpdateVersion, null: absent
  const char* versionNew;   // [New Install] VersionNew, null: absent
  bool remembered;          // ends the search with the link untouched
};
// Names the case in test listings.
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.label; }

class RefusalTest : public NewInstallTest, public ::testing::WithParamInterface<RefusalCase> {};
}  // namespace

TEST_P(RefusalTest, RefusedInstallerIsNotOfferedAgain) {
  const RefusalCase& c = GetParam();
  std::string manifest = "[New Install1]\nVersion=6,0,0,0\nLink=http://h/six.qpk\n";
  if (c.requirement != nullptr) manifest += std::string("Requirement=") + c.requirement + "\n";
  if (c.versionNew != nullptr)
    manifest += std::string("[New Install]\nVersionNew=") + c.versionNew + "\n";
  WriteManifest(manifest);
  if (c.recorded != nullptr) {
    ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kUpdateKey, "LastUpdateVersion", c.recorded));
  }
  Outcome o = Check(1);
  EXPECT_EQ(1, o.result);
  EXPECT_EQ(0, o.end);
  EXPECT_EQ(c.remembered ? kUntouched : "http://h/six.qpk", o.link);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusalTest,
    ::testing::Values(RefusalCase{"Remembered", "3", "6,0,0,1", "6,0,0,1", true},
                      // Compared part by part, not as text.
                      RefusalCase{"SameVersionOtherText", "3", "6,0,0,1", " 6,0,0,01", true},
                      RefusalCase{"OtherVersionOffered", "3", "6,0,0,1", "6,0,0,2", false},
                      RefusalCase{"NothingRecorded", "3", nullptr, "6,0,0,1", false},
                      RefusalCase{"EmptyRecord", "3", "", "6,0,0,1", false},
                      RefusalCase{"NoVersionNew", "3", "6,0,0,1", nullptr, false},
                      RefusalCase{"RequirementTwo", "2", "6,0,0,1", "6,0,0,1", false},
                      RefusalCase{"RequirementDefaultsToOne", nullptr, "6,0,0,1", "6,0,0,1",
                                  false}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) {
      return std::string(info.param.label);
    });

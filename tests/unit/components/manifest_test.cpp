#include <string>
#include <vector>

#include "component_fixture.h"
#include "components/component_manifest.h"

namespace {
struct Record {
  std::string name;
  std::string clsid;
  CZVersion version;
  std::string url;
  int requirement;
  int registerServer;
  int kind;
  std::string subfolder;
};

CZVersion V(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
  CZVersion v;
  v.major = a;
  v.minor = b;
  v.build = c;
  v.revision = d;
  return v;
}
const CZVersion kNone = V(0xFFFF, 0, 0, 0);

// The record a listed name without any keys gets.
Record Defaults(const std::string& name) { return Record{name, "", kNone, "", 2, 0, 1, ""}; }

struct ManifestCase {
  const char* label;
  const char* manifest;
  std::vector<Record> records;
};
// Names the case in test listings.
void PrintTo(const ManifestCase& c, std::ostream* os) { *os << c.label; }

class ManifestRecordsTest : public CZManifestTest,
                            public ::testing::WithParamInterface<ManifestCase> {};

std::string ExpectedInstallPath(const Record& r) {
  if (r.kind == kSystemFolderKind) return SystemFolder() + "\\" + r.subfolder + r.name;
  return TestProgramFolder() + r.subfolder + r.name;
}
}  // namespace

TEST_P(ManifestRecordsTest, RecordsInFileOrderWithTheirDefaults) {
  const ManifestCase& c = GetParam();
  WriteManifest(c.manifest);
  std::vector<CZComponent> list;
  ASSERT_TRUE(LoadComponentManifest(m_manifest.c_str(), &list));
  ASSERT_EQ(c.records.size(), list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    const Record& want = c.records[i];
    const CZComponent& got = list[i];
    SCOPED_TRACE(want.name);
    EXPECT_EQ(m_manifest, got.ManifestPath());
    EXPECT_EQ(want.name, got.Name());
    EXPECT_EQ(want.clsid, got.Clsid());
    EXPECT_EQ(want.version.major, got.RequiredVersion().major);
    EXPECT_EQ(want.version.minor, got.RequiredVersion().minor);
    EXPECT_EQ(want.version.build, got.RequiredVersion().build);
    EXPECT_EQ(want.version.revision, got.RequiredVersion().revision);
    EXPECT_EQ(want.url, got.Url());
    EXPECT_EQ(want.requirement, got.Requirement());
    EXPECT_EQ(want.registerServer, got.RegisterServer());
    EXPECT_EQ(want.kind, got.DestinationKind());
    EXPECT_EQ(want.subfolder, got.Subfolder());
    EXPECT_EQ(ExpectedInstallPath(want), got.InstallPath());
    // Fresh records: nothing checked yet, the view enabled.
    EXPECT_EQ(0, got.NeedsUpdate());
    EXPECT_EQ(1, got.ViewEnabled());
    EXPECT_FALSE(got.IsEligible());
  }
  EXPECT_EQ(std::string::npos, LogText().find("refused"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ManifestRecordsTest,
    ::testing::Values(
        ManifestCase{"TwoNamesInOrder",
                     "[components]\na.dll=\nb.ocx=ignored value\n"
                     "[b.ocx]\nUrl=http://h/b.oc_\n"
                     "[a.dll]\nclsid={0A0B0C0D-1111-2222-3333-444455556666}\n"
                     "FileVersion=6,0,0,1200\nUrl=http://h/a.dl_\nRequirement=4\n"
                     "RegisterServer=1\nDestDir=2, sub\\\n",
                     {Record{"a.dll", "{0A0B0C0D-1111-2222-3333-444455556666}", V(6, 0, 0, 1200),
                             "http://h/a.dl_", 4, 1, 2, "sub\\"},
                      Record{"b.ocx", "", kNone, "http://h/b.oc_", 2, 0, 1, ""}}},
        ManifestCase{"ListedWithoutSection", "[components]\nx.dll=\n", {Defaults("x.dll")}},
        ManifestCase{"DestDirForms",
                     "[components]\nc1.dll=\nc2.dll=\nc3.dll=\nc4.dll=\n"
                     "[c1.dll]\nDestDir=1,   x\\\n[c2.dll]\nDestDir=2\n"
                     "[c3.dll]\nDestDir=7,y\\z\\\n[c4.dll]\nDestDir=\n",
                     {Record{"c1.dll", "", kNone, "", 2, 0, 1, "x\\"},
                      Record{"c2.dll", "", kNone, "", 2, 0, 2, ""},
                      // Any kind but 2 is the default location.
                      Record{"c3.dll", "", kNone, "", 2, 0, 7, "y\\z\\"},
                      // An empty value is no number: kind 0, also the default location.
                      Record{"c4.dll", "", kNone, "", 2, 0, 0, ""}}},
        ManifestCase{"FileVersionForms",
                     "[components]\nv1.dll=\nv2.dll=\nv3.dll=\nv4.dll=\nv5.dll=\n"
                     "[v1.dll]\nFileVersion=7\n[v2.dll]\nFileVersion=6,1\n"
                     "[v3.dll]\nFileVersion=\n[v4.dll]\nFileVersion=abc\n"
                     "[v5.dll]\nFileVersion=1,70000,3,4\n",
                     {Record{"v1.dll", "", V(0, 0, 0, 7), "", 2, 0, 1, ""},
                      Record{"v2.dll", "", V(6, 0, 0, 1), "", 2, 0, 1, ""},
                      Record{"v3.dll", "", kNone, "", 2, 0, 1, ""},
                      // Text that is there is parsed, whatever it holds.
                      Record{"v4.dll", "", V(0, 0, 0, 0), "", 2, 0, 1, ""},
                      Record{"v5.dll", "", V(1, 70000 & 0xFFFF, 3, 4), "", 2, 0, 1, ""}}},
        ManifestCase{"NumbersAndTheirDefaults",
                     "[components]\nn1.dll=\nn2.dll=\nn3.dll=\n"
                     "[n1.dll]\nRequirement=5\nRegisterServer=0\n"
                     "[n2.dll]\nRequirement=abc\nRegisterServer=abc\n"
                     "[n3.dll]\nUrl=\n",
                     {Record{"n1.dll", "", kNone, "", 5, 0, 1, ""},
                      Record{"n2.dll", "", kNone, "", 0, 0, 1, ""}, Defaults("n3.dll")}},
        // Sections and keys match without regard to case.
        ManifestCase{"CaseOfNames",
                     "[COMPONENTS]\nA.DLL=\n[a.dll]\nURL=http://h/a.dl_\nREQUIREMENT=3\n",
                     {Record{"A.DLL", "", kNone, "http://h/a.dl_", 3, 0, 1, ""}}}),
    [](const ::testing::TestParamInfo<ManifestCase>& info) {
      return std::string(info.param.label);
    });

class ManifestTest : public CZManifestTest {};

TEST_F(ManifestTest, NoListNoRecords) {
  std::vector<CZComponent> list;
  EXPECT_FALSE(LoadComponentManifest(m_manifest.c_str(), &list)) << "no file";
  WriteManifest("[New Install]\nVersionNew=1\n");
  EXPECT_FALSE(LoadComponentManifest(m_manifest.c_str(), &list)) << "no section";
  WriteManifest("[components]\n[a.dll]\nUrl=x\n");
  EXPECT_FALSE(LoadComponentManifest(m_manifest.c_str(), &list)) << "empty section";
  EXPECT_TRUE(list.empty());
}

TEST_F(ManifestTest, RecordsAreAppendedToTheList) {
  WriteManifest("[components]\nb.dll=\n");
  std::vector<CZComponent> list;
  list.emplace_back(m_manifest, "a.dll");
  ASSERT_TRUE(LoadComponentManifest(m_manifest.c_str(), &list));
  ASSERT_EQ(2u, list.size());
  EXPECT_EQ("a.dll", list[0].Name());
  EXPECT_EQ("b.dll", list[1].Name());
}

// The manifest arrives unsigned: a component whose file would land outside
// the host client's folders is refused, with one log line, and the others
// are loaded.
TEST_F(ManifestTest, UnsafeComponentsAreRefusedOneByOne) {
  WriteManifest(
      "[components]\n..=\nfirst.dll=\n..\\up.dll=\nsub\\a.dll=\nsub/b.dll=\nC:x.dll=\n"
      "climb.dll=\nabsolute.dll=\ndrive.dll=\nkey.dll=\nsecond.dll=\n"
      "[climb.dll]\nDestDir=1,a\\..\\..\\\n[absolute.dll]\nDestDir=2,\\windows\\\n"
      "[drive.dll]\nDestDir=1,C:\\windows\\\n[key.dll]\nclsid={x}\\..\\y\n"
      "[second.dll]\nDestDir=1,fine\\\n");
  std::vector<CZComponent> list;
  ASSERT_TRUE(LoadComponentManifest(m_manifest.c_str(), &list));
  ASSERT_EQ(2u, list.size());
  EXPECT_EQ("first.dll", list[0].Name());
  EXPECT_EQ("second.dll", list[1].Name());
  EXPECT_EQ(TestProgramFolder() + "fine\\second.dll", list[1].InstallPath());
  const std::string log = LogText();
  for (const char* name : {"..", "..\\up.dll", "sub\\a.dll", "sub/b.dll", "C:x.dll", "climb.dll",
                           "absolute.dll", "drive.dll", "key.dll"}) {
    EXPECT_EQ(1u, CountOccurrences(log, std::string(" Component ") + name +
                                            " refused: no safe place for its file\r\n"))
        << name << "\n"
        << log;
  }
  EXPECT_EQ(9u, CountOccurrences(log, " refused: "));
}

// A path that does not fit 259 characters would be cut into the name of
// another file: the component is refused instead.
TEST_F(ManifestTest, InstallPathThatWouldBeCutIsRefused) {
  const std::string deep(250 - TestProgramFolder().size(), 'd');
  WriteManifest("[components]\nfits.dll=\nlong.dll=\n[fits.dll]\nDestDir=1," + deep + "\\\n" +
                "[long.dll]\nDestDir=1," + deep + "xxxxxxxxxx\\\n");
  std::vector<CZComponent> list;
  ASSERT_TRUE(LoadComponentManifest(m_manifest.c_str(), &list));
  ASSERT_EQ(1u, list.size());
  EXPECT_EQ(TestProgramFolder() + deep + "\\fits.dll", list[0].InstallPath());
  EXPECT_NE(std::string::npos, LogText().find("Component long.dll refused"));
}

namespace {
// n names "component_NNN.dll": 17 characters, 18 bytes with the terminator.
std::string ListOf(int n, std::vector<std::string>* names) {
  std::string text = "[components]\n";
  for (int i = 0; i < n; ++i) {
    char name[32];
    wsprintfA(name, "component_%03d.dll", i);
    names->push_back(name);
    text += std::string(name) + "=\n";
  }
  return text;
}
}  // namespace

// The list is read into 1024 bytes. Names that fit whole are loaded; the
// rest, including a name the buffer would cut, are left out with one log
// line rather than loaded under a cut name.
TEST_F(ManifestTest, ListLongerThan1024BytesKeepsTheNamesThatFitWhole) {
  std::vector<std::string> names;
  WriteManifest(ListOf(60, &names));  // 60 * 18 + 1 = 1081 bytes
  std::vector<CZComponent> list;
  ASSERT_TRUE(LoadComponentManifest(m_manifest.c_str(), &list));
  // 56 * 18 + 1 = 1009 bytes fit; a 57th name would need 1027.
  ASSERT_EQ(56u, list.size());
  for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(names[i], list[i].Name());
  EXPECT_NE(std::string::npos,
            LogText().find("Component list longer than 1024 bytes: only its first 56 names are "
                           "read\r\n"))
      << LogText();
}

TEST_F(ManifestTest, ListOfExactly1024BytesIsReadWhole) {
  std::vector<std::string> names;
  std::string text = ListOf(56, &names);  // 1008 bytes of names
  names.push_back("last_12345.dll");      // 15 more: 1023, and the final zero
  WriteManifest(text + names.back() + "=\n");
  std::vector<CZComponent> list;
  ASSERT_TRUE(LoadComponentManifest(m_manifest.c_str(), &list));
  ASSERT_EQ(57u, list.size());
  EXPECT_EQ("last_12345.dll", list.back().Name());
  EXPECT_EQ(std::string::npos, LogText().find("longer than"));
}

TEST_F(ManifestTest, SingleNameLongerThanTheListIsLeftOut) {
  WriteManifest("[components]\n" + std::string(1100, 'n') + ".dll=\n");
  std::vector<CZComponent> list;
  EXPECT_TRUE(LoadComponentManifest(m_manifest.c_str(), &list));
  EXPECT_TRUE(list.empty());
  EXPECT_NE(std::string::npos, LogText().find("only its first 0 names are read"));
}

// The updater's check of its own package against the local test server: when
// the package counts as newer, what is fetched, what is accepted, what is
// left in the working folder, and which server the run talks to afterwards.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/process_state.h"
#include "common/update_log.h"
#include "driver/updater.h"
#include "http_test_server.h"
#include "test_support.h"

namespace {
const char kZindoKey[] = "SOFTWARE\\Zindo";
// The local updater's last-write time in the tests: 2024-01-01 00:00:00 UTC.
constexpr long long kLocalEpoch = 1704067200;
constexpr ULONGLONG kEpochTo1601 = 11644473600ULL;
constexpr ULONGLONG kTicksPerSecond = 10000000ULL;

ULONGLONG EpochToFileTime(long long seconds) {
  return (static_cast<ULONGLONG>(seconds) + kEpochTo1601) * kTicksPerSecond;
}

bool SetLastWrite(const std::string& path, ULONGLONG time) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME stamp = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  BOOL ok = SetFileTime(file, nullptr, nullptr, &stamp);
  CloseHandle(file);
  return ok != FALSE;
}

ULONGLONG LastWrite(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

std::string Package(const std::string& name) { return TestProgramFolder() + "packages\\" + name; }

std::vector<char> Writable(const std::string& text) {
  std::vector<char> line(text.begin(), text.end());
  line.push_back('\0');
  return line;
}

class SelfUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.IsRunning()) << "the http_server fixture did not start";
    ASSERT_NE(0u, m_server.AltPort()) << "the test server has no second server";
    m_prefix = TestPathPrefix();
    m_server.Clear(m_prefix);
    m_savedWorkingFolder = g_workingFolder;
    CreateDirectoryA((m_work / "logs").c_str(), nullptr);
  }
  void TearDown() override {
    m_updater.reset();
    StopUpdateLog();
    g_workingFolder = m_savedWorkingFolder;
  }

  // A run whose client update page came from the test server, with the
  // updater package under packageFolderUrl and the working folder m_work.
  void StartRun(const std::string& packageFolderUrl) {
    auto line = Writable("PATCHKEEPER-FOLDER=" + packageFolderUrl +
                         ";MURVO-FOLDER=" + m_server.Url(m_prefix + "m/"));
    m_updater = std::make_unique<CZUpdater>(nullptr, line.data());
    ASSERT_TRUE(m_updater->IsReady());
    g_workingFolder = m_work.path();
    StartUpdateLog(m_work.path().c_str());
    ASSERT_EQ(1, m_updater->OpenInternet());
    ASSERT_EQ(1, m_updater->Net().SetServerFromUrl(m_server.Url(m_prefix).c_str()));
    ASSERT_EQ(1, m_updater->Net().OpenHttpSession());
  }
  void StartRun() { StartRun(m_server.Url(m_prefix + "p/")); }

  void ServePackage(const std::string& fixture) {
    ASSERT_TRUE(CopyFileA(Package(fixture).c_str(),
                          m_server.ServedPath(m_prefix + "p/zupdater.qpk").c_str(), FALSE));
  }
  void PlaceLocalUpdater() {
    ASSERT_TRUE(WriteFileText(m_work / "zupdater.exe", "the running updater"));
    ASSERT_TRUE(SetLastWrite(m_work / "zupdater.exe", EpochToFileTime(kLocalEpoch)));
  }
  std::string Log() {
    StopUpdateLog();
    return ReadFileText(m_work / "logs\\updater.log");
  }
  std::string Seen() { return m_server.Requests(m_prefix); }
  bool Requested(const std::string& verb, const std::string& path) {
    return Seen().find(verb + " " + m_prefix + path + " HTTP/1.0") != std::string::npos;
  }

  CZHttpTestServer m_server;
  std::string m_prefix;
  std::string m_savedWorkingFolder;
  CZScopedRegTree m_cleanup{HKEY_CURRENT_USER, kZindoKey};
  CZTempFolder m_work{"selfupdate"};
  std::unique_ptr<CZUpdater> m_updater;
};

// When the server's package counts as newer than the local zupdater.exe.
struct FreshnessCase {
  const char* name;
  bool localUpdater;         // zupdater.exe present, stamped kLocalEpoch
  const char* lastModified;  // the server's date rule
  int result;
  bool fetched;
};
void PrintTo(const FreshnessCase& c, std::ostream* os) { *os << c.name; }

class SelfUpdateFreshnessTest : public SelfUpdateTest,
                                public ::testing::WithParamInterface<FreshnessCase> {};

}  // namespace

TEST_P(SelfUpdateFreshnessTest, PackageIsFetchedOnlyWhenNewer) {
  const FreshnessCase& c = GetParam();
  ServePackage("zupdater_new.qpk");
  ASSERT_TRUE(m_server.SetRule(m_prefix + "p/zupdater.qpk", c.lastModified));
  if (c.localUpdater) PlaceLocalUpdater();
  StartRun();
  EXPECT_EQ(c.result, m_updater->CheckSelfUpdate());
  EXPECT_EQ(c.fetched, Requested("GET", "p/zupdater.qpk")) << Seen();
  // The date is asked for only when there is a local file to compare with.
  EXPECT_EQ(c.localUpdater, Requested("HEAD", "p/zupdater.qpk")) << Seen();
  EXPECT_FALSE(FileExists(m_work / "ZUDPTEMP.EX_"));
  const std::string log = Log();
  if (c.fetched) {
    EXPECT_EQ(ReadFileText(Package("zupdater_next.exe")), ReadFileText(m_work / "ZUDPTEMP.EXE"));
    EXPECT_NE(std::string::npos, log.find("Successfully downloaded Update File.\r\n")) << log;
  } else {
    EXPECT_FALSE(FileExists(m_work / "ZUDPTEMP.EXE"));
    EXPECT_EQ(std::string::npos, log.find("Successfully downloaded")) << log;
  }
  if (c.localUpdater) {
    EXPECT_EQ("the running updater", ReadFileText(m_work / "zupdater.exe"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SelfUpdateFreshnessTest,
    ::testing::Values(FreshnessCase{"ThirtySecondsLaterIsCurrent", true, "last_modified=1704067230",
                                    kSelfUpdateCurrent, false},
                      FreshnessCase{"SixtySecondsLaterIsCurrent", true, "last_modified=1704067260",
                                    kSelfUpdateCurrent, false},
                      FreshnessCase{"SixtyOneSecondsLaterIsFetched", true,
                                    "last_modified=1704067261", kSelfUpdateReady, true},
                      FreshnessCase{"EarlierIsCurrent", true, "last_modified=1704000000",
                                    kSelfUpdateCurrent, false},
                      FreshnessCase{"MissingLocalUpdaterIsFetched", false,
                                    "last_modified=1704067230", kSelfUpdateReady, true},
                      FreshnessCase{"NoLastModifiedIsCurrent", true, "last_modified=none",
                                    kSelfUpdateCurrent, false}),
    [](const ::testing::TestParamInfo<FreshnessCase>& info) {
      return std::string(info.param.name);
    });

// The new updater carries the server's date, so that once it has replaced
// zupdater.exe the next check finds nothing newer.
TEST_F(SelfUpdateTest, NewUpdaterIsStampedWithTheServerDate) {
  ServePackage("zupdater_new.qpk");
  ASSERT_TRUE(m_server.SetRule(m_prefix + "p/zupdater.qpk", "last_modified=1704070000"));
  PlaceLocalUpdater();
  StartRun();
  ASSERT_EQ(kSelfUpdateReady, m_updater->CheckSelfUpdate());
  EXPECT_EQ(EpochToFileTime(1704070000), LastWrite(m_work / "ZUDPTEMP.EXE"));
}

// What the server sends that must not become the next updater.
struct SelfUpdateRefusalCase {
  const char* name;
  const char* fixture;  // served as p/zupdater.qpk
  const char* rule;
  const char* logHas;  // or null
};
void PrintTo(const SelfUpdateRefusalCase& c, std::ostream* os) { *os << c.name; }

class SelfUpdateRefusalTest : public SelfUpdateTest,
                              public ::testing::WithParamInterface<SelfUpdateRefusalCase> {};

TEST_P(SelfUpdateRefusalTest, NothingIsLeftToTakeOver) {
  const SelfUpdateRefusalCase& c = GetParam();
  ServePackage(c.fixture);
  ASSERT_TRUE(m_server.SetRule(m_prefix + "p/zupdater.qpk", c.rule));
  // A copy left from an earlier run must not pass for the new updater.
  ASSERT_TRUE(WriteFileText(m_work / "ZUDPTEMP.EXE", "left from an earlier run"));
  StartRun();
  EXPECT_EQ(kSelfUpdateFailed, m_updater->CheckSelfUpdate());
  EXPECT_FALSE(FileExists(m_work / "ZUDPTEMP.EXE"));
  EXPECT_FALSE(FileExists(m_work / "ZUDPTEMP.EX_"));
  const std::string log = Log();
  if (c.logHas != nullptr) {
    EXPECT_NE(std::string::npos, log.find(c.logHas)) << log;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SelfUpdateRefusalTest,
    ::testing::Values(
        SelfUpdateRefusalCase{"SignedByAnotherKey", "zupdater_otherkey.qpk",
                              "last_modified=1704070000", "File NOT signed correctly"},
        SelfUpdateRefusalCase{"WithoutTheNewUpdater", "zupdater_notarget.qpk",
                              "last_modified=1704070000", "not exist!"},
        SelfUpdateRefusalCase{"NotFound", "zupdater_new.qpk", "status=404", "status: 404"},
        SelfUpdateRefusalCase{"BodyCutShort", "zupdater_new.qpk", "close_after=30000", nullptr},
        SelfUpdateRefusalCase{"ConnectionResetMidBody", "zupdater_new.qpk", "cut_after=30000",
                              nullptr}),
    [](const ::testing::TestParamInfo<SelfUpdateRefusalCase>& info) {
      return std::string(info.param.name);
    });

// A download that does not end well leaves no partial package in the
// working folder. A cancelled download (its file created, nothing read)
// stands in for a broken one; the cancel is process-wide and for good, so
// it happens in a child process of its own.
TEST_F(SelfUpdateTest, FailedDownloadLeavesNoPartialPackage) {
  ServePackage("zupdater_new.qpk");
  StartRun();
  // The child's findings, as its exit code.
  constexpr int kPartialLeft = 1, kExtracted = 2, kDownloaded = 4, kNotRequested = 8;
  EXPECT_EXIT(
      {
        CancelDownloads();
        int code = m_updater->CheckSelfUpdate() << 4;
        if (FileExists(m_work / "ZUDPTEMP.EX_")) code |= kPartialLeft;
        if (FileExists(m_work / "ZUDPTEMP.EXE")) code |= kExtracted;
        // Refused by the download itself, not by the package gate.
        if (Log().find("Successfully downloaded") != std::string::npos) code |= kDownloaded;
        if (!Requested("GET", "p/zupdater.qpk")) code |= kNotRequested;
        m_updater.reset();
        RemoveTree(m_work.path());
        _exit(code);
      },
      ::testing::ExitedWithCode(kSelfUpdateFailed << 4), "");
}

// A server that announces far more than it sends: the body is read a chunk
// at a time, so nothing of the announced size is ever allocated.
// Announced 4 GB, sent one package: every byte sent is read a chunk at a
// time (no buffer is sized from the announcement), and the body, far short
// of what was announced, is refused as cut.
TEST_F(SelfUpdateTest, AnnouncedLengthSizesNoBuffer) {
  ServePackage("zupdater_new.qpk");
  ASSERT_TRUE(m_server.SetRule(m_prefix + "p/zupdater.qpk", "length=4000000000"));
  StartRun();
  EXPECT_EQ(kSelfUpdateFailed, m_updater->CheckSelfUpdate());
  EXPECT_FALSE(FileExists(m_work / "ZUDPTEMP.EX_"));
  EXPECT_FALSE(FileExists(m_work / "ZUDPTEMP.EXE"));
  // Above the updater package's ceiling: refused before its file is made.
  const std::string log = Log();
  EXPECT_NE(std::string::npos,
            log.find("zupdater.qpk announces 4000000000 bytes, more than the 16777216 allowed, "
                     "refused\r\n"))
      << log;
}

TEST_F(SelfUpdateTest, NoPackageUrlFails) {
  auto line = Writable("MURVO-FOLDER=" + m_server.Url(m_prefix + "m/"));
  CZUpdater updater(nullptr, line.data());
  ASSERT_EQ(1, updater.OpenInternet());
  EXPECT_EQ(kSelfUpdateFailed, updater.CheckSelfUpdate());
  EXPECT_EQ("", Seen());
}

// The package on a second server: the check talks to it, and the run's
// connection then points at the page's server again.
TEST_F(SelfUpdateTest, PageServerIsBackAfterTheCheck) {
  ASSERT_TRUE(CopyFileA(Package("zupdater_new.qpk").c_str(),
                        m_server.ServedPath(m_prefix + "p/zupdater.qpk").c_str(), FALSE));
  ASSERT_TRUE(m_server.SetAltRule(m_prefix + "p/zupdater.qpk", "last_modified=1704067200"));
  ASSERT_TRUE(m_server.SetRule(m_prefix + "m/components.html", "body=x"));
  PlaceLocalUpdater();
  StartRun(m_server.AltUrl(m_prefix + "p/"));
  const std::string pageHost = m_updater->Net().CurrentHost();
  ASSERT_EQ(kSelfUpdateCurrent, m_updater->CheckSelfUpdate());
  EXPECT_NE(std::string::npos,
            m_server.AltRequests(m_prefix).find("HEAD " + m_prefix + "p/zupdater.qpk"));
  EXPECT_EQ(pageHost, m_updater->Net().CurrentHost());

  DWORD length = 0;
  HINTERNET request =
      m_updater->Net().OpenGetRequest((m_prefix + "m/components.html").c_str(), &length);
  ASSERT_NE(nullptr, request);
  m_updater->Net().CloseRequest(request);
  EXPECT_TRUE(Requested("GET", "m/components.html")) << Seen();
  EXPECT_EQ(std::string::npos, m_server.AltRequests(m_prefix).find("components.html"));
}

// A package server that cannot be reached gives no date: the updater counts
// as current, and the page's server is back.
TEST_F(SelfUpdateTest, UnreachablePackageServerCountsAsCurrent) {
  StartRun("http://127.0.0.1:1/p/");
  const std::string pageHost = m_updater->Net().CurrentHost();
  PlaceLocalUpdater();
  EXPECT_EQ(kSelfUpdateCurrent, m_updater->CheckSelfUpdate());
  EXPECT_EQ(pageHost, m_updater->Net().CurrentHost());
  ASSERT_TRUE(m_server.SetRule(m_prefix + "m/components.html", "body=x"));
  DWORD length = 0;
  HINTERNET request =
      m_updater->Net().OpenGetRequest((m_prefix + "m/components.html").c_str(), &length);
  EXPECT_NE(nullptr, request);
  m_updater->Net().CloseRequest(request);
}

// The real zupdater.exe updating itself against the local test server: the
// whole relay of three processes, the packages it must refuse, and a package
// kept on another server than the client update page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http_test_server.h"
#include "reg_values.h"
#include "test_support.h"

namespace {
constexpr DWORD kRunTimeoutMs = 60000;
const char kZindoKey[] = "SOFTWARE\\Zindo";
const char kMurvoKey[] = "SOFTWARE\\Zindo\\Murvo";
// Dates of the installed updater and of the server's package (epoch seconds).
constexpr long long kInstalledEpoch = 1704067200;  // 2024-01-01 00:00:00 UTC
const char kNewerPackage[] = "last_modified=1704153600";
const char kSamePackage[] = "last_modified=1704067200";

std::string Package(const std::string& name) { return TestProgramFolder() + "packages\\" + name; }

bool SetLastWrite(const std::string& path, long long epochSeconds) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ULONGLONG time = (static_cast<ULONGLONG>(epochSeconds) + 11644473600ULL) * 10000000ULL;
  FILETIME stamp = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  BOOL ok = SetFileTime(file, nullptr, nullptr, &stamp);
  CloseHandle(file);
  return ok != FALSE;
}

class SelfUpdateE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.IsRunning()) << "the http_server fixture did not start";
    ASSERT_NE(0u, m_server.AltPort()) << "the test server has no second server";
    m_prefix = TestPathPrefix();
    m_server.Clear(m_prefix);
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kMurvoKey, "LogUpdate", 0));
    ASSERT_TRUE(CopyFileA(UpdaterExePath().c_str(), (m_app / "zupdater.exe").c_str(), FALSE));
    ASSERT_TRUE(SetLastWrite(m_app / "zupdater.exe", kInstalledEpoch));
    CreateDirectoryA((m_app / "logs").c_str(), nullptr);
    ASSERT_TRUE(
        WriteFileText(m_server.ServedPath(m_prefix + "m/components.html"), "[New Install]\r\n"));
  }
  void TearDown() override { WaitForProgramsIn(m_app.path(), kRunTimeoutMs); }

  std::string Site() const { return m_server.Url(m_prefix); }
  std::string Path(const std::string& name) const { return m_prefix + name; }
  void ServePage(const std::string& packageFolderUrl) {
    ASSERT_TRUE(WriteFileText(
        m_server.ServedPath(m_prefix + "corvcli.html"),
        "MURVO-FOLDER=" + Site() + "m/\nPATCHKEEPER-FOLDER=" + packageFolderUrl + "\n"));
  }
  void ServePackage(const std::string& fixture) {
    ASSERT_TRUE(CopyFileA(Package(fixture).c_str(),
                          m_server.ServedPath(m_prefix + "p/zupdater.qpk").c_str(), FALSE));
  }
  // Starts zupdater.exe as the host client would and waits for that process.
  std::string CommandLine() const {
    return "ServerPage=" + Site() + "corvcli.html;ApplicationName=" + m_app.path() + "murvo.exe";
  }
  void Run() {
    EXPECT_EQ(0u, RunProgram("\"" + (m_app / "zupdater.exe") + "\" " + CommandLine(), m_app.path(),
                             kRunTimeoutMs));
  }
  std::string Log() const { return ReadFileText(m_app / "logs\\updater.log"); }
  // Until the new updater, started by the relay, has asked for the manifest
  // and every program of the folder has ended.
  void WaitForTheRelay() {
    ASSERT_TRUE(WaitUntil(
        [&] {
          return m_server.Requests(m_prefix).find("components.html") != std::string::npos &&
                 !FileExists(m_app / "ZUDPTEMP.EXE");
        },
        kRunTimeoutMs))
        << m_server.Requests(m_prefix);
    ASSERT_TRUE(WaitForProgramsIn(m_app.path(), kRunTimeoutMs));
  }

  CZHttpTestServer m_server;
  std::string m_prefix;
  CZScopedRegTree m_cleanup{HKEY_CURRENT_USER, kZindoKey};
  CZTempFolder m_app{"selfupd"};
};
}  // namespace

// Old updater -> ZUDPTEMP.EXE -> new zupdater.exe, which finds itself current
// and goes on to the manifest.
TEST_F(SelfUpdateE2eTest, WholeRelayReplacesTheUpdater) {
  // A host client that records every start: none of the three may start it.
  ASSERT_TRUE(CopyFileA((TestProgramFolder() + "fake_host5.exe").c_str(),
                        (m_app / "murvo.exe").c_str(), FALSE));
  ServePage(Site() + "p/");
  ServePackage("zupdater_new.qpk");
  ASSERT_TRUE(m_server.SetRule(Path("p/zupdater.qpk"), kNewerPackage));
  Run();
  // The next process waits a second before it replaces anything: this is
  // what the first run alone did and wrote.
  const std::string firstLog = Log();
  const std::vector<std::string> firstRequests = RequestLines(m_server.Requests(m_prefix));
  EXPECT_NE(std::string::npos, firstLog.find("Successfully downloaded Update File.\r\n"))
      << firstLog;
  EXPECT_NE(std::string::npos, firstLog.find("ZUpdater needs update\r\n")) << firstLog;
  EXPECT_EQ(std::string::npos, firstLog.find("components.html")) << firstLog;
  EXPECT_EQ((std::vector<std::string>{"GET " + Path("corvcli.html") + " HTTP/1.0",
                                      "HEAD " + Path("p/zupdater.qpk") + " HTTP/1.0",
                                      "GET " + Path("p/zupdater.qpk") + " HTTP/1.0"}),
            firstRequests);

  ASSERT_NO_FATAL_FAILURE(WaitForTheRelay());

  EXPECT_EQ((std::vector<std::string>{"GET " + Path("corvcli.html") + " HTTP/1.0",
                                      "HEAD " + Path("p/zupdater.qpk") + " HTTP/1.0",
                                      "GET " + Path("p/zupdater.qpk") + " HTTP/1.0",
                                      "GET " + Path("corvcli.html") + " HTTP/1.0",
                                      "HEAD " + Path("p/zupdater.qpk") + " HTTP/1.0",
                                      "GET " + Path("m/components.html") + " HTTP/1.0"}),
            RequestLines(m_server.Requests(m_prefix)));
  const std::string installed = ReadFileText(m_app / "zupdater.exe");
  EXPECT_TRUE(installed == ReadFileText(Package("zupdater_next.exe")))
      << "zupdater.exe is not the updater from the package";
  EXPECT_FALSE(installed == ReadFileText(UpdaterExePath()));
  EXPECT_FALSE(FileExists(m_app / "ZUDPTEMP.EXE"));
  EXPECT_FALSE(FileExists(m_app / "ZUDPTEMP.EX_"));
  // The log is the new updater's own run.
  const std::string lastLog = Log();
  EXPECT_NE(std::string::npos, lastLog.find("ZUpdater does not need update\r\n")) << lastLog;
  EXPECT_NE(std::string::npos, lastLog.find("components.html downloaded successfully")) << lastLog;
  // The host client was neither closed nor started by any of the three.
  EXPECT_FALSE(FileExists(m_app / "args.txt"));
}

// What the server offers that must not replace the updater.
struct RefusedPackage {
  const char* name;
  const char* fixture;
  const char* rule;
  const char* logged = nullptr;  // a line the log must hold, when given
};
void PrintTo(const RefusedPackage& c, std::ostream* os) { *os << c.name; }

class SelfUpdateRefusalE2eTest : public SelfUpdateE2eTest,
                                 public ::testing::WithParamInterface<RefusedPackage> {};

TEST_P(SelfUpdateRefusalE2eTest, RunEndsWithNothingLeftAndNothingStarted) {
  const RefusedPackage& c = GetParam();
  // A host client that records every start: a restart would show here.
  ASSERT_TRUE(CopyFileA((TestProgramFolder() + "fake_host5.exe").c_str(),
                        (m_app / "murvo.exe").c_str(), FALSE));
  ServePage(Site() + "p/");
  ServePackage(c.fixture);
  ASSERT_TRUE(m_server.SetRule(Path("p/zupdater.qpk"), c.rule));
  const std::string before = ReadFileText(m_app / "zupdater.exe");
  Run();
  ASSERT_TRUE(WaitForProgramsIn(m_app.path(), kRunTimeoutMs));
  const std::string log = Log();
  EXPECT_NE(std::string::npos, log.find("ZUpdater update failed!\r\n")) << log;
  EXPECT_EQ(std::string::npos, log.find("ZUpdater needs update")) << log;
  EXPECT_FALSE(FileExists(m_app / "ZUDPTEMP.EXE"));
  EXPECT_FALSE(FileExists(m_app / "ZUDPTEMP.EX_"));
  EXPECT_TRUE(before == ReadFileText(m_app / "zupdater.exe"));
  EXPECT_FALSE(FileExists(m_app / "args.txt")) << ReadFileText(m_app / "args.txt");
  const std::string seen = m_server.Requests(m_prefix);
  EXPECT_NE(std::string::npos, seen.find("GET " + Path("p/zupdater.qpk"))) << seen;
  EXPECT_EQ(std::string::npos, seen.find("components.html")) << seen;
  if (c.logged != nullptr) EXPECT_NE(std::string::npos, log.find(c.logged)) << log;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SelfUpdateRefusalE2eTest,
    ::testing::Values(RefusedPackage{"SignedByAnotherKey", "zupdater_otherkey.qpk", kNewerPackage},
                      RefusedPackage{"WithoutTheNewUpdater", "zupdater_notarget.qpk",
                                     kNewerPackage},
                      RefusedPackage{"NotFound", "zupdater_new.qpk", "status=404"},
                      RefusedPackage{"BodyCutShort", "zupdater_new.qpk",
                                     "last_modified=1704153600&close_after=40000"},
                      // Genuinely signed, but an older release: no rollback,
                      // whatever date the server gives it.
                      RefusedPackage{"OlderRelease", "zupdater_old.qpk", kNewerPackage,
                                     "its version is older than the running updater's\r\n"},
                      RefusedPackage{"OlderReleaseDatedFarAhead", "zupdater_old.qpk",
                                     "last_modified=4070908800",
                                     "its version is older than the running updater's\r\n"}),
    [](const ::testing::TestParamInfo<RefusedPackage>& info) {
      return std::string(info.param.name);
    });

// A server date far ahead (2099) is taken as the current time: the new
// updater is not stamped with it, so later genuine updates do not all look
// older than what is installed.
TEST_F(SelfUpdateE2eTest, DateFarAheadIsNotStampedOnTheNewUpdater) {
  ServePage(Site() + "p/");
  ServePackage("zupdater_new.qpk");
  ASSERT_TRUE(m_server.SetRule(Path("p/zupdater.qpk"), "last_modified=4070908800"));
  FILETIME started;
  GetSystemTimeAsFileTime(&started);
  Run();
  EXPECT_NE(std::string::npos, Log().find("is more than a day ahead, the current time is used\r\n"))
      << Log();
  ASSERT_NO_FATAL_FAILURE(WaitForTheRelay());
  EXPECT_TRUE(ReadFileText(m_app / "zupdater.exe") == ReadFileText(Package("zupdater_next.exe")));
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ASSERT_TRUE(GetFileAttributesExA((m_app / "zupdater.exe").c_str(), GetFileExInfoStandard, &data));
  const ULONGLONG written = (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                            data.ftLastWriteTime.dwLowDateTime;
  const ULONGLONG start = (static_cast<ULONGLONG>(started.dwHighDateTime) << 32) |
                          started.dwLowDateTime;
  constexpr ULONGLONG kTenMinutes = 600ULL * 10000000ULL;
  EXPECT_GE(written + kTenMinutes, start);
  EXPECT_LE(written, start + kTenMinutes);
  // The new updater's own run finds itself current.
  EXPECT_NE(std::string::npos, Log().find("ZUpdater does not need update\r\n")) << Log();
}

// The updater's package on another server (another port) than the page:
// the manifest is still asked of the page's server.
TEST_F(SelfUpdateE2eTest, PackageOnAnotherServerLeavesThePageServerForTheManifest) {
  ServePage(m_server.AltUrl(m_prefix + "p/"));
  ServePackage("zupdater_new.qpk");
  ASSERT_TRUE(m_server.SetAltRule(Path("p/zupdater.qpk"), kSamePackage));
  Run();
  ASSERT_TRUE(WaitForProgramsIn(m_app.path(), kRunTimeoutMs));
  EXPECT_EQ((std::vector<std::string>{"HEAD " + Path("p/zupdater.qpk") + " HTTP/1.0"}),
            RequestLines(m_server.AltRequests(m_prefix)));
  EXPECT_EQ((std::vector<std::string>{"GET " + Path("corvcli.html") + " HTTP/1.0",
                                      "GET " + Path("m/components.html") + " HTTP/1.0"}),
            RequestLines(m_server.Requests(m_prefix)));
  const std::string log = Log();
  EXPECT_NE(std::string::npos, log.find("ZUpdater does not need update\r\n")) << log;
}

// The same with a newer package there: it is fetched from that server, and
// the run ends for the relay without asking either server for more.
TEST_F(SelfUpdateE2eTest, NewerPackageOnAnotherServerIsFetchedFromIt) {
  ServePage(m_server.AltUrl(m_prefix + "p/"));
  ServePackage("zupdater_new.qpk");
  ASSERT_TRUE(m_server.SetAltRule(Path("p/zupdater.qpk"), kNewerPackage));
  Run();
  const std::vector<std::string> alt = RequestLines(m_server.AltRequests(m_prefix));
  const std::vector<std::string> page = RequestLines(m_server.Requests(m_prefix));
  ASSERT_TRUE(WaitForProgramsIn(m_app.path(), kRunTimeoutMs));
  EXPECT_EQ((std::vector<std::string>{"HEAD " + Path("p/zupdater.qpk") + " HTTP/1.0",
                                      "GET " + Path("p/zupdater.qpk") + " HTTP/1.0"}),
            alt);
  EXPECT_EQ((std::vector<std::string>{"GET " + Path("corvcli.html") + " HTTP/1.0"}), page);
}

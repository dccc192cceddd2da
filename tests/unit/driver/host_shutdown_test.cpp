// Closing the host client: the fake host client (fake_host5.exe, installed as
// zcorv.exe in a folder of its own) keeps a ZindoBuddyMain window up and
// closes it when asked with -kill, after the delay in its fake_host.ini.
#include "driver/host_shutdown.h"

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
const char kHostExe[] = "zcorv.exe";
constexpr DWORD kStartTimeoutMs = 20000;

ULONGLONG ToTicks(const FILETIME& time) {
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// User and kernel time of this process so far, in milliseconds.
ULONGLONG CpuMs() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  return (ToTicks(kernel) + ToTicks(user)) / 10000;
}

void CloseEveryHostWindow() {
  for (HWND window; (window = FindWindowA(kHostClientWindowClass, nullptr)) != nullptr;) {
    SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
    if (!WaitUntil([&] { return !IsWindow(window); }, 5000)) break;
  }
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

class HostShutdownTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseEveryHostWindow();
    ASSERT_FALSE(IsHostClientRunning()) << "a host client window from elsewhere is up";
    m_savedWorkingFolder = g_workingFolder;
    m_savedHostExe = g_hostExeName;
    ASSERT_TRUE(CopyFileA((TestProgramFolder() + "fake_host5.exe").c_str(),
                          (m_host / kHostExe).c_str(), FALSE));
    auto line = std::vector<char>(1, '\0');
    m_updater = std::make_unique<CZUpdater>(nullptr, line.data());
    CreateDirectoryA((m_logFolder / "logs").c_str(), nullptr);
    StartUpdateLog(m_logFolder.path().c_str());
    g_workingFolder = m_host.path();
    g_hostExeName = kHostExe;
  }
  void TearDown() override {
    CloseEveryHostWindow();
    WaitForProgramsIn(m_host.path(), kStartTimeoutMs);
    m_updater.reset();
    StopUpdateLog();
    g_workingFolder = m_savedWorkingFolder;
    g_hostExeName = m_savedHostExe;
  }

  // Starts the host client with its window up; it closes killDelay seconds
  // after a -kill (never when negative).
  void StartHost(int killDelay) {
    ASSERT_TRUE(WritePrivateProfileStringA("kill", "delay", std::to_string(killDelay).c_str(),
                                           (m_host / "fake_host.ini").c_str()));
    std::string command = "\"" + (m_host / kHostExe) + "\" -window";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               m_host.path().c_str(), &si, &pi));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ASSERT_TRUE(WaitUntil([&] { return FileExists(m_host / "window.txt"); }, kStartTimeoutMs));
    ASSERT_TRUE(IsHostClientRunning());
  }

  // Every command line the host client was started with, in order.
  std::vector<std::string> Starts() { return Lines(ReadFileText(m_host / "args.txt")); }
  std::string KillCommand() { return "\"" + (m_host / kHostExe) + "\" -kill"; }
  std::string Log() {
    StopUpdateLog();
    return ReadFileText(m_logFolder / "logs\\updater.log");
  }

  CZTempFolder m_host{"host"};
  CZTempFolder m_logFolder{"hostlog"};
  std::string m_savedWorkingFolder, m_savedHostExe;
  std::unique_ptr<CZUpdater> m_updater;
};

struct KillCommandCase {
  const char* name;
  const char* workingFolder;
  const char* hostExe;
  const char* command;
};
void PrintTo(const KillCommandCase& c, std::ostream* os) { *os << c.name; }
class KillCommandTest : public ::testing::TestWithParam<KillCommandCase> {};
}  // namespace

TEST_P(KillCommandTest, IsTheHostExecutableInQuotesWithKill) {
  const KillCommandCase& c = GetParam();
  EXPECT_EQ(c.command, BuildKillCommand(c.workingFolder, c.hostExe));
}

INSTANTIATE_TEST_SUITE_P(
    Table, KillCommandTest,
    ::testing::Values(KillCommandCase{"Corvane", "C:\\Corvane\\", "zcorv.exe",
                                      "\"C:\\Corvane\\zcorv.exe\" -kill"},
                      KillCommandCase{"FolderWithSpaces", "C:\\Program Files\\Zindo\\", "murvo.exe",
                                      "\"C:\\Program Files\\Zindo\\murvo.exe\" -kill"},
                      KillCommandCase{"NoHostExecutable", "C:\\Corvane\\", "", ""}),
    [](const ::testing::TestParamInfo<KillCommandCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(HostShutdownTest, NotRunningReturnsAtOnceWithoutACommand) {
  const DWORD start = GetTickCount();
  m_updater->ShutdownHostClient();
  EXPECT_LT(GetTickCount() - start, 500u);
  // Long enough for a started program to have left its mark.
  Sleep(1000);
  EXPECT_FALSE(FileExists(m_host / "args.txt"));
  EXPECT_EQ("", Log());
}

TEST_F(HostShutdownTest, HostThatGoesThreeSecondsAfterKillIsWaitedFor) {
  StartHost(3);
  const ULONGLONG cpuBefore = CpuMs();
  const DWORD start = GetTickCount();
  m_updater->ShutdownHostClient();
  const DWORD took = GetTickCount() - start;
  const ULONGLONG cpu = CpuMs() - cpuBefore;
  EXPECT_FALSE(IsHostClientRunning());
  // Three or four one-second waits.
  EXPECT_GE(took, 3000u);
  EXPECT_LT(took, 5000u);
  // The waits sleep until a message or the time comes instead of spinning.
  EXPECT_LT(cpu, 300u) << "CPU ms during a " << took << " ms wait";
  const std::vector<std::string> starts = Starts();
  ASSERT_EQ(2u, starts.size());
  EXPECT_EQ(KillCommand(), starts[1]);
  const std::string log = Log();
  EXPECT_EQ(1u, CountOccurrences(log, "Attempting to shutdown Corvane Application\r\n")) << log;
}

// The measure above is only worth something if this process's CPU time
// shows up at all.
TEST_F(HostShutdownTest, CpuTimeOfThisProcessIsMeasurable) {
  const ULONGLONG before = CpuMs();
  const DWORD start = GetTickCount();
  // Spinning for long enough shows up, however busy the machine is.
  volatile unsigned long spin = 0;
  while (CpuMs() - before < 300 && GetTickCount() - start < 20000) ++spin;
  EXPECT_GE(CpuMs() - before, 300u);
}

TEST_F(HostShutdownTest, WaitsAreCountedUntilTheWindowGoes) {
  StartHost(3);
  m_updater->SendKillCommand();
  const int waits = WaitForHostClientToClose(10, 1000);
  EXPECT_GE(waits, 3);
  EXPECT_LE(waits, 4);
  EXPECT_FALSE(IsHostClientRunning());
}

TEST_F(HostShutdownTest, HostThatGoesAtOnceNeedsAtMostOneWait) {
  StartHost(0);
  const DWORD start = GetTickCount();
  m_updater->ShutdownHostClient();
  EXPECT_LT(GetTickCount() - start, 2000u);
  EXPECT_FALSE(IsHostClientRunning());
  EXPECT_EQ(KillCommand(), Starts().back());
}

// A host client that ignores the request is waited for exactly as long as
// the bound says, and is left running.
TEST_F(HostShutdownTest, HostThatNeverGoesIsWaitedForToTheBound) {
  StartHost(-1);
  m_updater->SendKillCommand();
  ASSERT_TRUE(WaitUntil([&] { return Starts().size() == 2; }, kStartTimeoutMs));
  const DWORD start = GetTickCount();
  EXPECT_EQ(3, WaitForHostClientToClose(3, 300));
  EXPECT_GE(GetTickCount() - start, 900u);
  EXPECT_TRUE(IsHostClientRunning());
}

TEST_F(HostShutdownTest, NoHostExecutableNameStartsNothing) {
  StartHost(0);
  g_hostExeName.clear();
  m_updater->SendKillCommand();
  Sleep(1500);
  EXPECT_TRUE(IsHostClientRunning());
  EXPECT_EQ(1u, Starts().size());
}

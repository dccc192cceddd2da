// Whole runs of the full update site, with the updater's own update first,
// cut off at one step (the test build ends itself there, as a kill would):
// every file of the client is then whole, its old or its new version, and
// zupdater.exe a whole updater; and the next, uncut run ends with what a run
// that was never cut leaves, and the host client running.
//
// The table cuts the steps of each kind; ZUPDATER_CRASH_SWEEP=K (see
// scripts/crash-sweep.sh) has the K shards of CrashSweep cut every step.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "full_site.h"
#include "reg_values.h"
#include "running_host.h"
#include "test_support.h"

namespace {
constexpr DWORD kRunTimeoutMs = 180000;
// The installed updater predates the site's package: the run updates it.
constexpr long long kOldUpdaterEpoch = 1672531200;  // 2023-01-01 00:00:00 UTC
const char kHostWindowClass[] = "ZindoBuddyMain";

enum class Kind { kComponents, kRelease };

const char* HostProgramOf(Kind kind) {
  return kind == Kind::kComponents ? "fake_host5.exe" : "fake_host4.exe";
}

std::string EnvironmentText(const char* name) {
  char text[256] = "";
  const DWORD n = GetEnvironmentVariableA(name, text, sizeof(text));
  return n == 0 || n >= sizeof(text) ? std::string() : std::string(text);
}

// Every file below folder (relative, sorted by the listing), leaving out
// the log and the host client's record.
void ListTree(const std::string& folder, const std::string& relative,
              std::vector<std::string>* out) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + relative + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const std::string path = relative + name;
    if (path == "logs" || path == "args.txt") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out->push_back(path + "\\");
      ListTree(folder, path + "\\", out);
    } else {
      out->push_back(path);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

// Every value below HKCU\key as "path\name=type:data", leaving out the
// socket server list (shuffled at every run) and the test COM server's
// count of registrations (a registration is repeated when a run is cut
// between it and the end of its commit).
void DumpTree(const std::string& key, std::map<std::string, std::string>* out) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameSize = sizeof(name), type = 0, dataSize = 4096;
    std::vector<BYTE> data(dataSize);
    if (RegEnumValueA(handle, i, name, &nameSize, nullptr, &type, data.data(), &dataSize) !=
        ERROR_SUCCESS)
      break;
    const std::string value = name;
    if (value == "Socket Server" || value == "Count") continue;
    (*out)[key + "\\" + value] = std::to_string(type) + ":" +
                                 std::string(reinterpret_cast<const char*>(data.data()), dataSize);
  }
  std::vector<std::string> subkeys;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameSize = sizeof(name);
    if (RegEnumKeyExA(handle, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    subkeys.push_back(name);
  }
  RegCloseKey(handle);
  for (const std::string& sub : subkeys) DumpTree(key + "\\" + sub, out);
}

// What a run leaves that the comparison looks at.
struct CZEndState {
  std::vector<std::string> files;
  std::map<std::string, std::string> bytes;  // of the client's files and the updater
  std::map<std::string, std::string> registry;
};

// The files whose every state is checked: the host client's components,
// its program and the updater.
std::vector<std::string> WatchedFiles() {
  std::vector<std::string> names(std::begin(kUpdatedFiles), std::end(kUpdatedFiles));
  names.push_back(kCurrentFile);
  names.push_back("murvo.exe");
  names.push_back("zupdater.exe");
  return names;
}

// One client of the site, run once or more.
class CZCutRunTest : public CZServedSiteTest<int> {
 protected:
  // A fresh client of the given kind (its host client's window up) with the
  // site offering a newer updater.
  void StartClient(Kind kind) {
    m_host.reset();
    m_client.reset();
    m_kind = kind;
    m_server.Clear(m_prefix);
    ASSERT_TRUE(LayOutSite(m_server.ServedPath(m_prefix), Site()));
    ASSERT_TRUE(CopyFileA((TestProgramFolder() + "packages\\zupdater_new.qpk").c_str(),
                          m_server.ServedPath(m_prefix + "p/zupdater.qpk").c_str(), FALSE));
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Zindo");
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestComServerKey);
    m_client = std::make_unique<CZClientUnderTest>(HostProgramOf(kind));
    ASSERT_TRUE(m_client->Install());
    ASSERT_TRUE(StampFile(App() + "zupdater.exe", FileTimeFromUnix(kOldUpdaterEpoch)));
    m_host = std::make_unique<CZRunningHostClient>(HostProgramOf(kind));
    ASSERT_TRUE(m_host->IsUp());
    for (const std::string& name : WatchedFiles()) m_oldBytes[name] = ReadFileText(App() + name);
  }

  const std::string& App() const { return m_client->App(); }

  // Runs the updater as the host client starts it, cut at the step named by
  // at (a step number or a text of the step's line; empty: not cut), with
  // every step noted in log. True when it ended by itself.
  bool RunCut(const std::string& at, const std::string& log) {
    SetEnvironmentVariableA("ZUPDATER_CRASH_LOG", log.c_str());
    SetEnvironmentVariableA("ZUPDATER_CRASH_AT", at.empty() ? nullptr : at.c_str());
    const bool ended = m_client->Run(Site() + "corvcli.html", PromptAnswer::kEnter, kRunTimeoutMs);
    SetEnvironmentVariableA("ZUPDATER_CRASH_LOG", nullptr);
    SetEnvironmentVariableA("ZUPDATER_CRASH_AT", nullptr);
    return ended;
  }

  CZEndState EndState() const {
    CZEndState state;
    ListTree(App(), "", &state.files);
    for (const std::string& name : WatchedFiles()) state.bytes[name] = ReadFileText(App() + name);
    DumpTree("SOFTWARE\\Zindo", &state.registry);
    DumpTree(kTestComServerKey, &state.registry);
    // Each client has a folder of its own.
    for (auto& [name, value] : state.registry) value = ReplaceAll(value, App(), "{app}\\");
    // An acceptance whose record was cut off after its files went in: its
    // refusal was withdrawn at the answer, and an absent value reads as the
    // acceptance's 0. The next run has nothing left to offer or record.
    const std::string accepted = "SOFTWARE\\Zindo\\Murvo\\Update\\LastUpdateTime";
    if (m_kind == Kind::kComponents && state.registry.count(accepted) == 0)
      state.registry[accepted] = std::to_string(REG_DWORD) + ":" + std::string(4, '\0');
    return state;
  }

  // Right after a cut: each watched file is its old or its new version,
  // whole; none is missing.
  void ExpectWholeFiles(const std::string& where) {
    SCOPED_TRACE(where);
    for (const std::string& name : WatchedFiles()) {
      const std::string now = ReadFileText(App() + name);
      ASSERT_TRUE(FileExists(App() + name)) << name << " is missing";
      EXPECT_TRUE(now == m_oldBytes[name] || now == m_newBytes[name])
          << name << " is neither its old nor its new version (" << now.size() << " bytes)";
    }
  }

  // The uncut run after a cut: the client's user starts the host client
  // again if the cut run left it closed, and that starts the updater.
  void RunAgain(const std::string& log) {
    if (FindWindowA(kHostWindowClass, nullptr) == nullptr) {
      m_host.reset();
      m_host = std::make_unique<CZRunningHostClient>(HostProgramOf(m_kind));
      ASSERT_TRUE(m_host->IsUp());
    }
    ASSERT_TRUE(WriteFileText(App() + "args.txt", ""));
    DeleteFileA(log.c_str());
    ASSERT_TRUE(RunCut("", log)) << m_client->Log();
  }

  // After the uncut run: the state of a run never cut, nothing of the
  // update left over, and the host client running (left up, or closed and
  // started again) or the release's installer started.
  void ExpectCompleted(const CZEndState& reference) {
    const CZEndState state = EndState();
    EXPECT_EQ(reference.files, state.files);
    for (const auto& [name, bytes] : reference.bytes)
      EXPECT_TRUE(bytes == state.bytes.at(name)) << name << " differs from an uncut run's";
    EXPECT_EQ(reference.registry, state.registry);
    const std::string args = ReadFileText(App() + "args.txt");
    const std::string host = "\"" + App() + "murvo.exe\"";
    if (m_kind == Kind::kRelease) {
      EXPECT_NE(std::string::npos,
                ReadFileText(m_client->ReleaseFolder() + "args.txt").find(" /s\n"));
    } else if (args.find(" -kill\n") != std::string::npos) {
      const size_t end = args.size() - host.size() - 1;
      EXPECT_TRUE(args.size() > host.size() &&
                  args.compare(end, std::string::npos, host + "\n") == 0)
          << "closed and not started again:\n"
          << args;
    } else {
      EXPECT_NE(nullptr, FindWindowA(kHostWindowClass, nullptr)) << "the host client is not up";
    }
    const std::vector<std::string> temp = [&] {
      std::vector<std::string> files;
      ListTree(m_client->Temp(), "", &files);
      return files;
    }();
    for (const std::string& file : temp) {
      EXPECT_NE('~', file[file.size() - (file.back() == '\\' ? 2 : 1)]) << file;
      EXPECT_EQ(std::string::npos, file.find(".qpk")) << file;
    }
  }

  // An uncut run of a fresh client of kind: its end state, and the steps it
  // went through in steps.
  CZEndState ReferenceRun(Kind kind, std::vector<std::string>* steps) {
    StartClient(kind);
    const std::string log = App() + "..\\reference-steps.txt";
    DeleteFileA(log.c_str());
    EXPECT_TRUE(RunCut("", log)) << m_client->Log();
    CZEndState state = EndState();
    for (const std::string& name : WatchedFiles()) m_newBytes[name] = state.bytes[name];
    if (steps != nullptr) {
      steps->clear();
      const std::string text = ReadFileText(log);
      for (size_t begin = 0, end; (end = text.find('\n', begin)) != std::string::npos;
           begin = end + 1)
        steps->push_back(text.substr(begin, end - begin));
    }
    DeleteFileA(log.c_str());
    return state;
  }

  // A fresh client cut at at, then run again; checked at both ends. The
  // cut step's line ("N step detail pid CRASH"), or empty when the run
  // was not cut.
  std::string CutAndComplete(Kind kind, const std::string& at, const CZEndState& reference) {
    StartClient(kind);
    const std::string log = App() + "..\\cut-steps.txt";
    DeleteFileA(log.c_str());
    RunCut(at, log);
    const std::string steps = ReadFileText(log);
    const size_t crash = steps.find(" CRASH\n");
    std::string cutLine;
    if (crash != std::string::npos) {
      const size_t begin = steps.rfind('\n', crash);
      cutLine = steps.substr(begin == std::string::npos ? 0 : begin + 1,
                             crash - (begin == std::string::npos ? 0 : begin + 1));
    }
    const std::string where = "cut at " + (cutLine.empty() ? at + " (never reached)" : cutLine);
    SCOPED_TRACE(where);
    ExpectWholeFiles(where);
    RunAgain(App() + "..\\again-steps.txt");
    ExpectCompleted(reference);
    DeleteFileA(log.c_str());
    return cutLine;
  }

  static constexpr const char* kTestComServerKey = "Software\\ZupdaterTests\\ComServer";
  Kind m_kind = Kind::kComponents;
  std::unique_ptr<CZRunningHostClient> m_host;
  std::unique_ptr<CZClientUnderTest> m_client;
  std::map<std::string, std::string> m_oldBytes, m_newBytes;
};

// One cut of each kind of step, named by a text of its line.
struct CZCrashCase {
  const char* label;
  Kind kind;
  const char* at;
};

const CZCrashCase kCrashCases[] = {
    // The self-update: its package half downloaded, the relay's copy half
    // written, the relay about to rename it over zupdater.exe.
    {"UpdaterPackagePartlyDownloaded", Kind::kComponents, "download part *ZUDPTEMP.EX_"},
    {"RelayCopyPartlyWritten", Kind::kComponents, "copy part *zupdater.new"},
    {"RelayBeforeItsRename", Kind::kComponents, "rename over *zupdater.exe"},
    // A component commit: the old file kept, the new one renamed in, its
    // date stamped, its COM server registered; the commit's end.
    {"ComponentOldFileKept", Kind::kComponents, "replace *zclose.dll"},
    {"ComponentStamped", Kind::kComponents, "stamp *zclose.dll"},
    {"ComponentServerRegistered", Kind::kComponents, "register *zclose.dll"},
    {"ComponentCommitEnds", Kind::kComponents, "end commit *zclose.dl_~"},
    {"OfferedComponentHalfDownloaded", Kind::kComponents, "download part *zoffer.dl_"},
    // The registry script before its import, and its record.
    {"RegistryScriptImport", Kind::kComponents, "import "},
    {"RegistryScriptRecord", Kind::kComponents, "set value RegFileVersion"},
    // The records of an accepted offer and the host client's restart.
    {"AcceptedOfferRecord", Kind::kComponents, "set value LastUpdateTime"},
    {"HostClientRestart", Kind::kComponents, "start *murvo.exe"},
    // The release: the host client closed, its installer not yet started.
    {"ReleaseInstallerStart", Kind::kRelease, "start installer"},
};

class CrashTest : public CZCutRunTest {
 protected:
  const CZCrashCase& Case() const { return kCrashCases[GetParam()]; }
};

class CrashSweep : public CZCutRunTest {};
}  // namespace

TEST_P(CrashTest, CutRunIsWholeAndTheNextCompletes) {
  const CZCrashCase& c = Case();
  const CZEndState reference = ReferenceRun(c.kind, nullptr);
  const std::string cut = CutAndComplete(c.kind, c.at, reference);
  EXPECT_FALSE(cut.empty()) << "no step holds \"" << c.at << "\"";
}

INSTANTIATE_TEST_SUITE_P(Steps, CrashTest,
                         ::testing::Range(0, static_cast<int>(std::size(kCrashCases))),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return kCrashCases[info.param].label;
                         });

// Every step of both kinds of run, shard by shard: with K shards, shard i
// cuts the steps whose number leaves i when divided by K.
TEST_P(CrashSweep, EveryStep) {
  const std::string sweep = EnvironmentText("ZUPDATER_CRASH_SWEEP");
  const int shards = atoi(sweep.c_str());
  if (shards <= 0) GTEST_SKIP() << "ZUPDATER_CRASH_SWEEP is not set (scripts/crash-sweep.sh)";
  if (GetParam() >= shards) GTEST_SKIP() << "shard " << GetParam() << " of " << shards;
  for (Kind kind : {Kind::kComponents, Kind::kRelease}) {
    std::vector<std::string> steps;
    const CZEndState reference = ReferenceRun(kind, &steps);
    ASSERT_FALSE(steps.empty());
    int cut = 0;
    for (size_t n = GetParam() + 1; n <= steps.size(); n += shards) {
      const std::string line = CutAndComplete(kind, std::to_string(n), reference);
      // A step that waits and tries again can make a run a step longer or
      // shorter than the reference: noted, the checks ran all the same.
      if (line.empty()) printf("crash sweep: step %zu (%s) not reached\n", n, steps[n - 1].c_str());
      ++cut;
      if (HasFatalFailure()) return;
    }
    printf("crash sweep: %s run, %zu steps, shard %d of %d cut %d of them\n",
           kind == Kind::kComponents ? "component" : "release", steps.size(), GetParam(), shards,
           cut);
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, CrashSweep, ::testing::Range(0, 8));

// Kills from outside: the updater's processes (zupdater.exe, and the relay
// ZUDPTEMP.EXE) ended by TerminateProcess, which under Wine kills the
// program's process, at a random instant of a whole run, then the same
// checks. ZUPDATER_KILL_RUNS (per shard), ZUPDATER_KILL_SEED and
// ZUPDATER_KILL_MINUTES (a bound on each shard's time) come from
// scripts/crash-sweep.sh; each run's seed and instant are printed.
class KillLoop : public CZCutRunTest {};

TEST_P(KillLoop, RandomInstants) {
  const int runs = atoi(EnvironmentText("ZUPDATER_KILL_RUNS").c_str());
  const int shards = atoi(EnvironmentText("ZUPDATER_KILL_SHARDS").c_str());
  if (runs <= 0 || shards <= 0) GTEST_SKIP() << "ZUPDATER_KILL_RUNS is not set";
  if (GetParam() >= shards) GTEST_SKIP() << "shard " << GetParam() << " of " << shards;
  const std::string seedText = EnvironmentText("ZUPDATER_KILL_SEED");
  const unsigned seed =
      (seedText.empty() ? GetTickCount() : strtoul(seedText.c_str(), nullptr, 10)) +
      static_cast<unsigned>(GetParam());
  const int minutes = atoi(EnvironmentText("ZUPDATER_KILL_MINUTES").c_str());
  const ULONGLONG stopAt = GetTickCount64() + (minutes > 0 ? minutes : 60) * 60000ULL;
  printf("kill loop: shard %d seed %u\n", GetParam(), seed);
  std::mt19937 random(seed);

  std::map<Kind, CZEndState> references;
  std::map<Kind, ULONGLONG> lengths;
  std::map<Kind, std::map<std::string, std::string>> newBytes;
  for (Kind kind : {Kind::kComponents, Kind::kRelease}) {
    const ULONGLONG start = GetTickCount64();
    references[kind] = ReferenceRun(kind, nullptr);
    lengths[kind] = GetTickCount64() - start;
    newBytes[kind] = m_newBytes;
  }
  int done = 0, killed = 0;
  for (int i = 0; i < runs && GetTickCount64() < stopAt; ++i) {
    const Kind kind = i % 2 == 0 ? Kind::kComponents : Kind::kRelease;
    const DWORD delay = static_cast<DWORD>(random() % lengths[kind]);
    m_newBytes = newBytes[kind];
    StartClient(kind);
    int ended = 0;
    std::thread killer([&] {
      Sleep(delay);
      ended = KillProgramsIn(App(), {"zupdater.exe", "ZUDPTEMP.EXE"});
    });
    RunCut("", App() + "..\\kill-steps.txt");
    killer.join();
    // A process whose start the kill cut off stays suspended for ever, as
    // Windows leaves it (its parent died inside CreateProcess). A relay
    // (ZUDPTEMP.EXE) so left is the next run's to end; a zupdater.exe so
    // left cannot be told from another run's updater, nor a host client
    // program ("murvo.exe -kill") from the user's, and they end with the
    // user's session: here the harness ends them.
    WaitForProgramsIn(App(), 10000);
    const int stuck = KillProgramsIn(App(), {"zupdater.exe", "murvo.exe"});
    if (stuck > 0)
      printf("kill loop: shard %d run %d left %d programs suspended\n", GetParam(), i, stuck);
    killed += ended > 0;
    printf("kill loop: shard %d run %d (%s) at %lu ms: %s\n", GetParam(), i,
           kind == Kind::kComponents ? "component" : "release", static_cast<unsigned long>(delay),
           ended > 0 ? "killed" : "no updater process at that instant");
    const std::string where = "seed " + std::to_string(seed) + " run " + std::to_string(i) +
                              " killed at " + std::to_string(delay) + " ms";
    SCOPED_TRACE(where);
    ExpectWholeFiles(where);
    RunAgain(App() + "..\\again-steps.txt");
    ExpectCompleted(references[kind]);
    ++done;
    if (HasFailure()) break;
  }
  printf("kill loop: shard %d: %d runs, %d of them killed an updater process\n", GetParam(), done,
         killed);
}

INSTANTIATE_TEST_SUITE_P(Shards, KillLoop, ::testing::Range(0, 8));

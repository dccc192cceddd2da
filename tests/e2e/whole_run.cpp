#include "whole_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "reg_values.h"

namespace {
constexpr DWORD kRunTimeoutMs = 120000;
constexpr DWORD kWatchPeriodMs = 10;
constexpr DWORD kSteadyTitleMs = 150;
constexpr DWORD kTextTimeoutMs = 1000;
constexpr int kPromptTextId = 1011;
const char kDialogClass[] = "#32770";
const char kPromptTitle[] = "Update Available";
const char kProgressTitle[] = "Downloading File";

std::string WindowText(HWND window) {
  char text[1024] = "";
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, kTextTimeoutMs, &copied))
    return std::string();
  return std::string(text, strnlen(text, sizeof(text)));
}

// The message text of a message box: its one static control with text.
std::string MessageBoxText(HWND box) {
  std::string text;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr && text.empty();
       child = GetWindow(child, GW_HWNDNEXT)) {
    char kind[32] = "";
    GetClassNameA(child, kind, sizeof(kind));
    if (_stricmp(kind, "Static") == 0) text = WindowText(child);
  }
  return text;
}

// Collects the top-level dialog windows into the vector at list.
BOOL CALLBACK CollectDialog(HWND window, LPARAM list) {
  char kind[16] = "";
  GetClassNameA(window, kind, sizeof(kind));
  if (strcmp(kind, kDialogClass) == 0)
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

void PressButton(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Size1 or Size2 (which: 1 or 2) of sizes made one off.
std::string OneOff(const std::string& sizes, int which) {
  std::string key = which == 1 ? "Size1=" : "Size2=";
  size_t at = sizes.find(key);
  if (at == std::string::npos) return sizes;
  size_t end = sizes.find("\r\n", at);
  unsigned long value =
      strtoul(sizes.substr(at + key.size(), end - at - key.size()).c_str(), nullptr, 10);
  return sizes.substr(0, at) + key + std::to_string(static_cast<unsigned long>(value ^ 1u)) +
         sizes.substr(end);
}

// Sets an environment variable for the programs started while it lives.
class CZScopedEnvironment {
 public:
  CZScopedEnvironment(const char* name, const std::string& value) : m_name(name) {
    char old[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableA(name, old, sizeof(old));
    m_had = n > 0 && n < sizeof(old);
    if (m_had) m_old = old;
    SetEnvironmentVariableA(name, value.c_str());
  }
  ~CZScopedEnvironment() { SetEnvironmentVariableA(m_name, m_had ? m_old.c_str() : nullptr); }

 private:
  const char* m_name;
  bool m_had = false;
  std::string m_old;
};
// The prompt's page as the system's browser control asks for it: the runs
// use the real control, which no table of the updater's own requests lists.
std::vector<std::string> WithoutBrowserPage(std::vector<std::string> lines) {
  lines.erase(std::remove_if(lines.begin(), lines.end(),
                             [](const std::string& line) {
                               return line.find("/update.html ") != std::string::npos;
                             }),
              lines.end());
  return lines;
}
}  // namespace

CZDialogWatcher::CZDialogWatcher(int answer, std::function<void()> atPrompt)
    : m_answer(answer), m_atPrompt(std::move(atPrompt)), m_thread([this] { Watch(); }) {}

CZDialogWatcher::~CZDialogWatcher() { Stop(); }

std::vector<std::string> CZDialogWatcher::Stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  std::lock_guard<std::mutex> hold(m_lock);
  return m_events;
}

void CZDialogWatcher::Note(const std::string& event) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_events.push_back(event);
}

void CZDialogWatcher::Watch() {
  while (!m_stop) {
    std::vector<HWND> windows;
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) Look(window);
    Sleep(kWatchPeriodMs);
  }
}

void CZDialogWatcher::Look(HWND window) {
  char title[256] = "";
  GetWindowTextA(window, title, sizeof(title));
  auto seen = m_seen.begin();
  while (seen != m_seen.end() && seen->first != window) ++seen;
  if (seen != m_seen.end() && seen->second == title) return;

  if (strncmp(title, kProgressTitle, strlen(kProgressTitle)) == 0) {
    // A caption is noted once it has lasted a while: the one the window is
    // made with gives way to the download's own at once.
    if (m_candidate != std::make_pair(window, std::string(title))) {
      m_candidate = std::make_pair(window, std::string(title));
      m_candidateSince = GetTickCount();
      return;
    }
    if (GetTickCount() - m_candidateSince < kSteadyTitleMs) return;
    Note(std::string("progress ") + title);
  } else if (strcmp(title, kPromptTitle) == 0) {
    // A user answers what is shown.
    if (!IsWindowVisible(window)) return;
    Note("prompt " + WindowText(GetDlgItem(window, kPromptTextId)));
    if (m_atPrompt) m_atPrompt();
    PressButton(window, m_answer);
  } else if (IsWindowVisible(window) && title[0] != '\0') {
    Note(std::string("box ") + title + ": " + MessageBoxText(window));
    PressButton(window, IDOK);
  } else {
    return;
  }
  if (seen != m_seen.end())
    seen->second = title;
  else
    m_seen.emplace_back(window, title);
}

std::string PassPackage(const std::string& name) {
  return TestProgramFolder() + "packages\\passes\\" + name;
}

std::string PackageSizes(const std::string& name) {
  return ReplaceAll(ReadFileText(PassPackage(name + ".sizes")), "\n", "\r\n");
}

ULONGLONG LastWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32 |
         data.ftLastWriteTime.dwLowDateTime;
}

std::string FixtureBytes(const std::string& fixture) {
  return ReadFileText(TestProgramFolder() + fixture);
}

CZWholeRun::CZWholeRun() : m_soon(static_cast<long long>(time(nullptr)) + kSoonSeconds) {
  if (!m_server.IsRunning() || m_server.AltPort() == 0) return;
  m_prefix = TestPathPrefix();
  m_server.Clear(m_prefix);
  // The updater's package is not offered (404): the updater counts as current.
  m_ready = SetRegDword(HKEY_CURRENT_USER, "SOFTWARE\\Zindo\\Murvo", "LogUpdate", 0) &&
            CopyFileA(UpdaterExePath().c_str(), (m_app / "zupdater.exe").c_str(), FALSE) &&
            CreateDirectoryA((m_app / "logs").c_str(), nullptr) &&
            Install("murvo.exe", "fake_host5.exe") &&
            WriteFileText(m_server.ServedPath(m_prefix + "corvcli.html"),
                          "MURVO-FOLDER=" + Site() + "m/\nPATCHKEEPER-FOLDER=" + Site() + "p/\n");
}

CZWholeRun::~CZWholeRun() {
  m_host.reset();
  WaitForProgramsIn(m_app.path(), kRunTimeoutMs);
}

std::string CZWholeRun::Fill(std::string text) const {
  text = ReplaceAll(text, "{site}", Site());
  text = ReplaceAll(text, "{alt}", AltSite());
  text = ReplaceAll(text, "{app}", m_app.path());
  text = ReplaceAll(text, "{soon}", std::to_string(m_soon));
  for (const char* tag : {"{sizes:", "{badsize1:", "{badsize2:"}) {
    for (size_t at = text.find(tag); at != std::string::npos; at = text.find(tag)) {
      size_t end = text.find('}', at);
      std::string name = text.substr(at + strlen(tag), end - at - strlen(tag));
      std::string sizes = PackageSizes(name);
      if (tag[1] == 'b') sizes = OneOff(sizes, tag[8] == '1' ? 1 : 2);
      text.replace(at, end + 1 - at, sizes);
    }
  }
  return text;
}

bool CZWholeRun::ServeManifest(const std::string& text) {
  return WriteFileText(m_server.ServedPath(m_prefix + "m/components.html"), Fill(text));
}

bool CZWholeRun::ServeFile(const std::string& relative, const std::string& source) {
  return CopyFileA(source.c_str(), m_server.ServedPath(m_prefix + relative).c_str(), FALSE) !=
         FALSE;
}

bool CZWholeRun::SetRule(const std::string& relative, const std::string& rule) {
  if (relative.compare(0, 4, "alt:") == 0)
    return m_server.SetAltRule(m_prefix + relative.substr(4), rule);
  return m_server.SetRule(m_prefix + relative, rule);
}

bool CZWholeRun::Install(const std::string& name, const std::string& fixture) {
  return CopyFileA((TestProgramFolder() + fixture).c_str(), (m_app / name).c_str(), FALSE) != FALSE;
}

bool CZWholeRun::StartHostClient() {
  m_host = std::make_unique<CZRunningHostClient>();
  return m_host->IsUp();
}

bool CZWholeRun::HostClientRunning() const {
  return FindWindowA("ZindoBuddyMain", nullptr) != nullptr;
}

void CZWholeRun::Run(int answer, const std::string& temp, const std::string& extraFolder) {
  std::unique_ptr<CZScopedEnvironment> tmp, tempVar, timeScale;
  if (!temp.empty()) {
    tmp = std::make_unique<CZScopedEnvironment>("TMP", temp);
    tempVar = std::make_unique<CZScopedEnvironment>("TEMP", temp);
  }
  if (m_timeScale != 0)
    timeScale = std::make_unique<CZScopedEnvironment>("ZUPDATER_TEST_TIME_SCALE",
                                                      std::to_string(m_timeScale));
  m_requestsAtPrompt.clear();
  m_argsAtPrompt.clear();
  CZDialogWatcher watcher(answer, [this] {
    m_requestsAtPrompt = WithoutBrowserPage(RequestLines(m_server.Requests(m_prefix)));
    m_argsAtPrompt = HostArgs();
  });
  const std::string commandLine = "\"" + (m_app / "zupdater.exe") + "\" ServerPage=" + Site() +
                                  "corvcli.html;ApplicationName=" + (m_app / "murvo.exe");
  const DWORD code = RunProgram(commandLine, m_app.path(), kRunTimeoutMs);
  // The exit hook's program and an installer have ended too.
  WaitForProgramsIn(m_app.path(), kRunTimeoutMs);
  if (!extraFolder.empty()) WaitForProgramsIn(extraFolder, kRunTimeoutMs);
  m_events = watcher.Stop();
  if (code != 0) m_events.push_back("exit code " + std::to_string(code));
}

ULONGLONG CZWholeRun::ServedDate(const std::string& relative) const {
  // The server sends whole seconds.
  constexpr ULONGLONG kSecond = 10000000ULL;
  return LastWriteTime(m_server.ServedPath(m_prefix + relative)) / kSecond * kSecond;
}

std::string CZWholeRun::Log() const { return ReadFileText(m_app / "logs\\updater.log"); }

std::vector<std::string> CZWholeRun::MainRequests() {
  return WithoutBrowserPage(RequestLines(m_server.Requests(m_prefix)));
}

std::vector<std::string> CZWholeRun::AltRequests() {
  return WithoutBrowserPage(RequestLines(m_server.AltRequests(m_prefix)));
}

std::string CZWholeRun::HostArgs() const { return ReadFileText(m_app / "args.txt"); }

std::string CZWholeRun::Get(const std::string& relative) const {
  return "GET " + m_prefix + relative + " HTTP/1.0";
}

std::string CZWholeRun::Head(const std::string& relative) const {
  return "HEAD " + m_prefix + relative + " HTTP/1.0";
}

const char kDefaultPrompt[] = "prompt New Update Available! Do you want to update?";
const char kKillLine[] = "\"{app}murvo.exe\" -kill\n";
const char kStartLine[] = "\"{app}murvo.exe\"\n";

namespace {
// Slow enough for a progress window to be seen, quick enough for a run.
const char kVisibleDownload[] = "chunk_delay=0.05";
const char kUpdateKey[] = "SOFTWARE\\Zindo\\Murvo\\Update";

}  // namespace

std::vector<std::string> RequestLinesOf(const CZWholeRun& run,
                                        const std::vector<std::string>& relative) {
  std::vector<std::string> lines;
  for (const std::string& line : relative) {
    const size_t space = line.find(' ');
    const std::string path = line.substr(space + 1);
    lines.push_back(line.compare(0, space, "HEAD") == 0 ? run.Head(path) : run.Get(path));
  }
  return lines;
}

void PrintTo(const CZRunCase& c, std::ostream* os) { *os << c.label; }

CZRunCase CaseOf(const char* label, const std::string& manifest,
                 const std::vector<std::string>& outdated) {
  CZRunCase c = {};
  c.label = label;
  c.manifest = manifest;
  c.outdated = outdated;
  return c;
}

std::string ComponentSection(const std::string& name, int level, const std::string& more,
                             const std::string& site) {
  return "[" + name + ".dll]\r\nUrl=" + site + "c/" + name +
         ".dl_\r\nFileVersion=5,1,0,0\r\nRequirement=" + std::to_string(level) + "\r\n" + more;
}

std::string ComponentList(const std::vector<std::string>& names) {
  std::string text = "[components]\r\n";
  for (const std::string& name : names) text += name + ".dll=\r\n";
  return text;
}

void LayOutCase(CZWholeRun& run, const CZRunCase& c) {
  ASSERT_TRUE(run.IsReady()) << "the http_server fixture did not start";
  ASSERT_TRUE(run.ServeManifest(c.manifest));
  for (const std::string& name : c.outdated) {
    ASSERT_TRUE(run.Install(name + ".dll", "zcom500.dll"));
    ASSERT_TRUE(run.ServeFile("c/" + name + ".dl_", PassPackage(name + ".dl_")));
    ASSERT_TRUE(run.SetRule("c/" + name + ".dl_", kVisibleDownload));
    ASSERT_TRUE(run.SetRule("alt:c/" + name + ".dl_", kVisibleDownload));
  }
  for (const auto& rule : c.rules)
    ASSERT_TRUE(run.SetRule(rule.first, run.Fill(rule.second))) << rule.first;
  if (c.hostRunning) {
    ASSERT_TRUE(run.StartHostClient());
  }
}

void RunCase(CZWholeRun& run, const CZRunCase& c, const std::string& temp,
             const std::string& extraFolder) {
  LayOutCase(run, c);
  if (::testing::Test::HasFatalFailure()) return;
  run.Run(c.answer, temp, extraFolder);
}

void ExpectCase(CZWholeRun& run, const CZRunCase& c) {
  const std::string log = run.Log();
  EXPECT_EQ(RequestLinesOf(run, c.main), run.MainRequests()) << log;
  EXPECT_EQ(RequestLinesOf(run, c.alt), run.AltRequests());
  EXPECT_EQ(c.events, run.Events()) << log;
  if (!c.atPrompt.empty()) {
    EXPECT_EQ(RequestLinesOf(run, c.atPrompt), run.RequestsAtPrompt());
  }
  EXPECT_EQ(run.Fill(c.hostArgs), run.HostArgs());
  const bool prompted = std::any_of(c.events.begin(), c.events.end(), [](const std::string& e) {
    return e.compare(0, 7, "prompt ") == 0;
  });
  if (prompted) {
    EXPECT_EQ(run.Fill(c.hostArgsAtPrompt), run.HostArgsAtPrompt());
  }
  for (const std::string& name : c.outdated) {
    const bool updated = std::find(c.updated.begin(), c.updated.end(), name) != c.updated.end();
    const std::string bytes = ReadFileText(run.App() + name + ".dll");
    EXPECT_TRUE(bytes == FixtureBytes(updated ? "zcom510.dll" : "zcom500.dll"))
        << name << ".dll is not the " << (updated ? "new" : "old") << " release";
    EXPECT_FALSE(FileExists(run.App() + name + ".dl_")) << name << ".dl_ was left behind";
    // An installed file carries the date the server gave its package.
    if (updated) {
      ULONGLONG date = run.ServedDate("c/" + name + ".dl_");
      for (const auto& rule : c.rules) {
        const std::string filled = run.Fill(rule.second);
        const size_t at = filled.find("last_modified=");
        if (rule.first.find("c/" + name + ".dl_") != std::string::npos && at != std::string::npos)
          date = FileTimeFromUnix(atoll(filled.c_str() + at + strlen("last_modified=")));
      }
      EXPECT_EQ(date, LastWriteTime(run.App() + name + ".dll")) << name;
    }
  }
  // The log lines come in the order given.
  size_t from = 0;
  for (const std::string& line : c.logHas) {
    const size_t at = log.find(run.Fill(line), from);
    EXPECT_NE(std::string::npos, at) << "log lacks, after the lines before it: " << line << "\n"
                                     << log;
    if (at != std::string::npos) from = at;
  }
  const DWORD stored = ReadRegDword(HKEY_CURRENT_USER, kUpdateKey, "LastUpdateTime");
  if (c.lastUpdateTime == CZRunCase::kAbsent) {
    EXPECT_EQ(0xDEADu, stored);
  } else if (c.lastUpdateTime == CZRunCase::kNonZero) {
    EXPECT_TRUE(stored != 0 && stored != 0xDEADu) << stored;
  } else {
    EXPECT_EQ(static_cast<DWORD>(c.lastUpdateTime), stored);
  }
  // The manifest never outlives the run.
  EXPECT_FALSE(FileExists(run.App() + "components.ini"));
}

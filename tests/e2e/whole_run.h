// A whole run of the real zupdater.exe against the local test servers: an
// application folder with the updater and the fake host client (murvo.exe),
// an update site under the test's own path prefix on the main server (and
// the second server), and a watcher that answers the dialogs the updater
// shows, as a user at the display would, noting what it saw and when.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "http_test_server.h"
#include "running_host.h"
#include "test_support.h"

// Watches the display for the updater's dialogs while a run lasts:
//   "prompt <text>"        the update prompt, once shown; answered
//   "box <caption>: <text>" a message box; dismissed with OK
//   "progress <title>"     each title the progress window takes
class CZDialogWatcher {
 public:
  // answer: IDOK or IDCANCEL for the prompt. atPrompt runs on the watcher's
  // thread when the prompt is seen, before it is answered.
  CZDialogWatcher(int answer, std::function<void()> atPrompt);
  CZDialogWatcher(const CZDialogWatcher&) = delete;
  CZDialogWatcher& operator=(const CZDialogWatcher&) = delete;
  ~CZDialogWatcher();
  // Stops watching; the events seen, in order.
  std::vector<std::string> Stop();

 private:
  void Watch();
  void Look(HWND window);
  void Note(const std::string& event);

  int m_answer;
  std::function<void()> m_atPrompt;
  std::atomic<bool> m_stop{false};
  std::mutex m_lock;
  std::vector<std::string> m_events;
  std::vector<std::pair<HWND, std::string>> m_seen;  // window and its last noted title
  std::pair<HWND, std::string> m_candidate;          // a progress title not yet noted
  DWORD m_candidateSince = 0;
  std::thread m_thread;
};

// The Size1=/Size2= lines (ending with \r\n) the vendor's tool gave for a
// package of tests/fixtures/passes; empty when it is missing.
std::string PackageSizes(const std::string& name);
// A package of tests/fixtures/passes.
std::string PassPackage(const std::string& name);

// Fills a text's placeholders: {site} and {alt} (the update site's URL on
// the main and the second server, ending with "/"), {app} (the application
// folder), {soon} (half a day from the run's making, in seconds since 1970:
// a server date newer than any fixture, not so far ahead as to be refused), {sizes:NAME} (PackageSizes(NAME)), {badsize1:NAME} and
// {badsize2:NAME} (the same with Size1 or Size2 one off).
class CZWholeRun {
 public:
  CZWholeRun();
  ~CZWholeRun();
  bool IsReady() const { return m_ready; }

  std::string Fill(std::string text) const;
  std::string Site() const { return m_server.Url(m_prefix); }
  std::string AltSite() const { return m_server.AltUrl(m_prefix); }
  const std::string& App() const { return m_app.path(); }
  const std::string& Prefix() const { return m_prefix; }
  CZHttpTestServer& Server() { return m_server; }

  // The manifest served as m/components.html (placeholders filled).
  bool ServeManifest(const std::string& text);
  // A file of the test programs' folder served as relative (under the site).
  bool ServeFile(const std::string& relative, const std::string& source);
  // A rule for relative; "alt:" before relative sets it on the second server.
  bool SetRule(const std::string& relative, const std::string& rule);
  // Copies a file of the test programs' folder into the application folder.
  bool Install(const std::string& name, const std::string& fixture);
  // Starts the host client with its window (it closes when asked to).
  bool StartHostClient();
  bool HostClientRunning() const;

  // The runs that follow get ZUPDATER_TEST_TIME_SCALE=scale: the test
  // build divides its network deadlines by it. 0: not set.
  void SetTimeScale(unsigned scale) { m_timeScale = scale; }
  // Runs the updater as the host client starts it, with TMP and TEMP set to
  // temp when given, answering a prompt with answer; waits until no program
  // of the application folder (or of extraFolder) runs any more.
  void Run(int answer, const std::string& temp = std::string(),
           const std::string& extraFolder = std::string());

  // The Last-Modified date the server gives a file of the site.
  ULONGLONG ServedDate(const std::string& relative) const;

  // What the last run left.
  std::string Log() const;
  std::vector<std::string> MainRequests();
  std::vector<std::string> AltRequests();
  // Lines the host client's program recorded (its kill command and starts).
  std::string HostArgs() const;
  const std::vector<std::string>& Events() const { return m_events; }
  // Request lines on the main server and the host client's record when the
  // prompt showed.
  const std::vector<std::string>& RequestsAtPrompt() const { return m_requestsAtPrompt; }
  const std::string& HostArgsAtPrompt() const { return m_argsAtPrompt; }

  // "GET <prefix>relative HTTP/1.0" and the HEAD of it.
  std::string Get(const std::string& relative) const;
  std::string Head(const std::string& relative) const;

 private:
  static constexpr long long kSoonSeconds = 12 * 3600;
  CZHttpTestServer m_server;
  long long m_soon;
  std::string m_prefix;
  CZScopedRegTree m_zindo{HKEY_CURRENT_USER, "SOFTWARE\\Zindo"};
  CZScopedRegTree m_comServer{HKEY_CURRENT_USER, "Software\\ZupdaterTests"};
  CZScopedRegTree m_regScript{HKEY_CURRENT_USER, "Software\\ZupdaterTest"};
  CZTempFolder m_app{"whole"};
  std::unique_ptr<CZRunningHostClient> m_host;
  bool m_ready = false;
  unsigned m_timeScale = 0;
  std::vector<std::string> m_events;
  std::vector<std::string> m_requestsAtPrompt;
  std::string m_argsAtPrompt;
};

// A file's last-write time (0 when it cannot be read).
ULONGLONG LastWriteTime(const std::string& path);
// The bytes of a test program's fixture file, for comparing installed files.
std::string FixtureBytes(const std::string& fixture);

// A manifest section for component NAME.dll: its package c/NAME.dl_ on
// site ({site} or {alt}), version 5.1 required, the level, more keys.
std::string ComponentSection(const std::string& name, int level, const std::string& more = "",
                             const std::string& site = "{site}");
// "[components]" listing NAME.dll for each name.
std::string ComponentList(const std::vector<std::string>& names);

// "GET path" / "HEAD path" (path under the site) as the server records them.
std::vector<std::string> RequestLinesOf(const CZWholeRun& run,
                                        const std::vector<std::string>& relative);

// One run of a scenario table and what it must leave.
struct CZRunCase {
  const char* label;
  std::string manifest;
  // Components (NAME.dll) installed in the 5.0 release before the run; each
  // one's package c/NAME.dl_ is served, a little slowly so that a progress
  // window stays long enough to be seen.
  std::vector<std::string> outdated;
  // Rules by site path ("alt:" for the second server), after the defaults.
  std::vector<std::pair<std::string, std::string>> rules;
  bool hostRunning;
  int answer;  // to the prompt, if one shows
  // Request lines on each server, "GET path" / "HEAD path" under the site.
  std::vector<std::string> main;
  std::vector<std::string> alt;
  std::vector<std::string> events;    // as CZDialogWatcher notes them
  std::vector<std::string> atPrompt;  // main server's requests when the prompt showed
  std::string hostArgs;               // the host program's record ({app})
  std::string hostArgsAtPrompt;
  std::vector<std::string> updated;  // of outdated: now the 5.1 release
  std::vector<std::string> logHas;   // placeholders filled
  // LastUpdateTime afterwards: kAbsent, or the value, or kNonZero.
  long long lastUpdateTime;
  static constexpr long long kAbsent = -1;
  static constexpr long long kNonZero = -2;
};
void PrintTo(const CZRunCase& c, std::ostream* os);

// A case to lay out: its label, manifest and outdated components; the
// rest empty.
CZRunCase CaseOf(const char* label, const std::string& manifest,
                 const std::vector<std::string>& outdated);

// The prompt's default text, as the watcher notes the prompt.
extern const char kDefaultPrompt[];
// The host program's record lines: its kill command and a plain start.
extern const char kKillLine[];
extern const char kStartLine[];

// Lays out the case: manifest, components, rules, host client.
void LayOutCase(CZWholeRun& run, const CZRunCase& c);
// Lays out the case and runs it.
void RunCase(CZWholeRun& run, const CZRunCase& c, const std::string& temp = std::string(),
             const std::string& extraFolder = std::string());
// Checks everything the case expects; installed files untouched unless
// updated, no download file left beside them.
void ExpectCase(CZWholeRun& run, const CZRunCase& c);

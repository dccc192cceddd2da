// The full update site (tests/fixtures/site) and a client to update with
// it: the real zupdater.exe in an application folder of its own with the
// fake host client and old component files, run with a temporary folder of
// its own, its update prompt answered on the X display.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "http_test_server.h"
#include "test_support.h"

// The URL the example release names its site by.
constexpr char kSiteBaseUrl[] = "http://updates.zindo.example/";

// Copies the built site to folder (ending with a backslash), writing url
// (ending with "/") over kSiteBaseUrl in the page and the manifest. The
// files keep their dates.
bool LayOutSite(const std::string& folder, const std::string& url);

// How the test answers the update prompt when it appears.
enum class PromptAnswer { kNone, kEnter, kEscape };

// The files the site updates, relative to the application folder, and the
// one it must leave alone.
extern const char* const kUpdatedFiles[3];
extern const char kCurrentFile[];
// Date of every file of the site: what installed files are stamped with.
constexpr long long kSiteEpoch = 1704067200;  // 2024-01-01 00:00:00 UTC

class CZClientUnderTest {
 public:
  // hostProgram: the fake host client installed as murvo.exe.
  explicit CZClientUnderTest(const char* hostProgram = "fake_host5.exe");

  const std::string& App() const { return m_app.path(); }
  const std::string& Temp() const { return m_temp.path(); }
  // The folder the run made for a release in Temp(); Temp() when none.
  std::string ReleaseFolder() const;
  // Installs the updater, the host client and the old component files.
  bool Install();
  // Runs zupdater.exe as the host client would start it with the page at
  // pageUrl and waits (at most timeoutMs) for it to end, answering every
  // prompt as told; kNone answers an unexpected prompt with Escape so that
  // the run still ends. False when it did not end in time (it is then
  // ended).
  bool Run(const std::string& pageUrl, PromptAnswer answer, DWORD timeoutMs);
  // Prompts seen during the last run, and the picture of the first one
  // when asked to save it.
  int PromptsSeen() const { return m_promptsSeen; }
  void SavePromptPictureAs(const std::string& name) { m_pictureName = name; }
  const std::string& PromptPicture() const { return m_picture; }
  // A message box ("Update Failed !") seen and closed during the last run,
  // and the picture of the first one when asked to save it.
  const std::string& BoxesSeen() const { return m_boxes; }
  void SaveBoxPictureAs(const std::string& name) { m_boxPictureName = name; }
  const std::string& BoxPicture() const { return m_boxPicture; }
  // The last run's exit code (the updater's is always 0; a crash is not).
  DWORD ExitCode() const { return m_exitCode; }

  std::string Log() const { return ReadFileText(m_app / "logs\\updater.log"); }

 private:
  CZTempFolder m_app{"client"};
  CZTempFolder m_temp{"clienttmp"};
  std::string m_host;
  int m_promptsSeen = 0;
  DWORD m_exitCode = ~0u;
  std::string m_pictureName, m_picture, m_boxes, m_boxPictureName, m_boxPicture;
};

// What a whole run of the site ends with.
enum class Outcome {
  kAllInstalled,      // offer accepted: every stale file replaced, host client restarted
  kOfferRefused,      // levels 4 and 5 replaced, level 2 kept, host client restarted
  kReleaseInstalled,  // installer started silently, nothing else fetched
  kReleaseRefused,    // refusal remembered, nothing fetched, nothing started
};

// Checks everything a run of the site served at site (ending with "/")
// left behind: the log, the requests ("GET m/update.txt", in order, as
// SiteRequests gives them), the files (versions, bytes, dates), the
// registry, the host client's command lines (args.txt beside it and beside
// the installer) and the messages its window received (transmitted).
void ExpectOutcome(Outcome outcome, const CZClientUnderTest& client, const std::string& site,
                   const std::vector<std::string>& requests, const std::string& transmitted);

// The test server's record of requests under prefix as "METHOD path" with
// path relative to prefix, in order, leaving out the browser's update.html
// (of any edition).
std::vector<std::string> SiteRequests(const std::string& record, const std::string& prefix);
// "5.1.0.0" (or "none") from a file's version resource.
std::string FileVersionText(const std::string& path);
// The last-write time of a file as seconds since 1970; -1 when unreadable.
long long LastWriteEpoch(const std::string& path);

// A test of the site served by the test server under the test's own path
// prefix; the host client's settings and the test COM server's mark are
// cleared around each case.
template <class Param>
class CZServedSiteTest : public ::testing::TestWithParam<Param> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.IsRunning()) << "the http_server fixture did not start";
    m_prefix = TestPathPrefix();
    m_server.Clear(m_prefix);
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestComServerKey);
    ASSERT_TRUE(LayOutSite(m_server.ServedPath(m_prefix), Site()));
  }
  void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestComServerKey); }

  std::string Site() const { return m_server.Url(m_prefix); }

  static constexpr const char* kTestComServerKey = "Software\\ZupdaterTests\\ComServer";
  CZHttpTestServer m_server;
  std::string m_prefix;
  CZScopedRegTree m_cleanup{HKEY_CURRENT_USER, "SOFTWARE\\Zindo"};
};

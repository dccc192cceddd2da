// What the prompt's tests share: a session on the local test server with
// the log captured, OLE on the thread, the browser double in place of the
// web browser control (unless a test asks for the real one), and ways to
// look at and answer the prompt from its own thread while it waits.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "http_test_server.h"
#include "net/http_session.h"
#include "test_support.h"

class CZUiTest : public ::testing::Test {
 protected:
  // The real control instead of the double.
  explicit CZUiTest(bool useDouble = true) : m_useDouble(useDouble) {}
  void SetUp() override;
  void TearDown() override;

  std::string Path(const std::string& name) const { return m_prefix + name; }
  // The package folder URL of this test: ends with a slash.
  std::string BaseUrl() const { return m_server.Url(m_prefix); }
  void Serve(const std::string& name, const std::string& text);
  std::string LogText() const;
  // The browser double's record (browser_double.h).
  std::string DoubleRecord() const;

  CZHttpTestServer m_server;
  std::string m_prefix;
  CZTempFolder m_logFolder{"uilog"};
  std::unique_ptr<CZHttpSession> m_net;

 private:
  bool m_useDouble;
  bool m_oleUp = false;
};

// Dispatches the thread's messages until done() holds or timeoutMs passes;
// true when it held.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// A top-level window that records the messages of WM_USER and above that it
// receives.
class CZNotifyWindow {
 public:
  struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  CZNotifyWindow();
  ~CZNotifyWindow();
  HWND get() const { return m_window; }
  const std::vector<Received>& Messages() const { return m_received; }
  size_t Count(UINT message) const;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND m_window = nullptr;
  std::vector<Received> m_received;
};

// What the user sees of the prompt dialog; rectangles in its client area.
struct CZPromptView {
  bool visible = false;
  std::string title;
  SIZE client = {};
  bool textShown = false;
  std::string text;
  RECT textRect = {};
  bool pageShown = false;
  RECT pageRect = {};
  RECT yesRect = {};
  RECT noRect = {};
};
CZPromptView ViewOf(HWND dialog);

// Acts on the prompt from its own thread while the prompt's loop waits: a
// timer of the thread calls step every 50 ms with the visible prompt dialog
// (or, with visibleOnly false, the hidden one too) until step returns true.
// When that has not happened within timeoutMs the dialog is closed (no) and
// TimedOut() tells.
class CZPromptScript {
 public:
  using Step = std::function<bool(HWND dialog)>;
  explicit CZPromptScript(Step step, DWORD timeoutMs = 20000, bool visibleOnly = true);
  ~CZPromptScript();
  bool TimedOut() const { return m_timedOut; }

 private:
  static void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD);
  Step m_step;
  DWORD m_deadline;
  bool m_visibleOnly;
  UINT_PTR m_timer = 0;
  bool m_finished = false;
  bool m_timedOut = false;
};

// The prompt dialog of this thread, hidden or not; null when there is none.
HWND FindPromptDialog(bool visibleOnly);
// Presses a button of the dialog the way a mouse click does.
void ClickButton(HWND dialog, int id);

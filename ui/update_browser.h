// CZUpdateBrowser: the dialog behind the update prompt. It shows the
// server's update page when the page carries the updater's marker, and the
// plain prompt text otherwise, above the buttons "&Get the Update" and
// "&No Thanks". It records which button ended it; the caller runs the
// message loop and destroys it.
#pragma once
#include <windows.h>

#include <string>

#include "common/com_ptr.h"
#include "ui/browser_host.h"

class CZUpdateBrowser {
 public:
  // Posted by the browser host for its events, and by the dialog itself.
  static constexpr UINT kDocumentCompleteMessage = WM_USER + 10;
  static constexpr UINT kNavigateErrorMessage = WM_USER + 20;
  static constexpr UINT kTimeOutMessage = WM_USER + 30;
  // Without a browser the text is shown as soon as the caller's loop runs.
  static constexpr UINT kShowTextMessage = WM_USER + 40;
  static constexpr UINT_PTR kNavigationTimer = 1;
  static constexpr UINT kNavigationTimeoutMs = 30000;
  static constexpr int kDefaultWidth = 300;
  static constexpr int kDefaultHeight = 150;
  static constexpr int kAnswerYes = IDOK;
  static constexpr int kAnswerNone = 2;

  // Logs the title and URL and takes a size tag off the front of the text.
  // An empty page URL shows the text only.
  CZUpdateBrowser(const char* text, const char* title, const char* pageUrl);
  CZUpdateBrowser(const CZUpdateBrowser&) = delete;
  CZUpdateBrowser& operator=(const CZUpdateBrowser&) = delete;
  virtual ~CZUpdateBrowser();

  // Creates the dialog (template 107) modeless and without owner; it stays
  // hidden until the page, or the text, is ready. Null when it cannot be made.
  HWND Create();
  HWND Window() const { return m_hWnd; }

  // kAnswerYes once "&Get the Update" was pressed, else kAnswerNone.
  int Answer() const { return m_answer; }
  // Set by either button and by a close request.
  bool IsDone() const { return m_done != 0; }
  bool IsHtmlMode() const { return m_htmlMode != 0; }
  // The text shown in text mode, the size its tag asked for.
  const std::string& Text() const { return m_text; }
  int TagWidth() const { return m_width; }
  int TagHeight() const { return m_height; }
  int MinimumWidth() const { return m_minWidth; }
  CZBrowserHost* Host() const { return m_host.get(); }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Handles message; false leaves it to the default dialog processing.
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

  void OnInitDialog();
  LRESULT OnDocumentComplete();
  void OnTimer(UINT_PTR id);
  void OnDestroy();
  void Navigate(const std::string& url);
  void Layout(int width, int height);
  void ShowTextFallback();
  void ShowText();
  void RejectPage();

  HWND m_hWnd = nullptr;
  std::string m_pageUrl;
  std::string m_text;
  std::string m_title;
  CZComPtr<CZBrowserHost> m_host;
  int m_width = 0;
  int m_height = 0;
  int m_answer = kAnswerNone;
  int m_minWidth = kDefaultWidth;
  int m_done = 0;
  int m_htmlMode = 0;
};

#include "ui/update_browser.h"

#include <mshtml.h>

#include <vector>

#include "common/process_state.h"
#include "common/update_log.h"
#include "resources/resource.h"
#include "ui/prompt_text.h"

namespace {
// 8 pixels left of, between and right of the two buttons.
constexpr int kButtonGaps = 24;

HINSTANCE ProcessInstance() {
  return g_hInstance != nullptr ? g_hInstance : GetModuleHandleA(nullptr);
}

// The page's markup in the thread's code page, lowered first so that no
// double-byte character is split.
std::string LoweredAnsiText(BSTR html) {
  if (html == nullptr) return std::string();
  std::vector<wchar_t> wide(html, html + SysStringLen(html));
  if (wide.empty()) return std::string();
  CharLowerBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  int length = static_cast<int>(wide.size());
  int size =
      WideCharToMultiByte(CP_THREAD_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string text(size, '\0');
  WideCharToMultiByte(CP_THREAD_ACP, 0, wide.data(), length, &text[0], size, nullptr, nullptr);
  return text;
}

int ClientWidth(HWND window) {
  RECT rect = {};
  GetClientRect(window, &rect);
  return rect.right - rect.left;
}
}  // namespace

CZUpdateBrowser::CZUpdateBrowser(const char* text, const char* title, const char* pageUrl) {
  if (text == nullptr) text = "";
  if (title == nullptr) title = "";
  if (pageUrl == nullptr) pageUrl = "";
  WriteLog("CZUpdateBrowser: Constructing Browser Dialog\r\n");
  WriteLog("CZUpdateBrowser: Title = %s\r\n", title);
  WriteLog("CZUpdateBrowser: Url = %s\r\n", pageUrl);
  m_htmlMode = pageUrl[0] != '\0' ? 1 : 0;
  m_pageUrl = pageUrl;
  m_title = title;
  CZSizeTag tag;
  if (ParseSizeTag(text, &tag)) {
    m_width = tag.width;
    m_height = tag.height;
    m_text = tag.rest;
    WriteLog("CZUpdateBrowser: Got width=%d, height=%d from update.txt\r\n", m_width, m_height);
  } else {
    m_text = text;
  }
}

CZUpdateBrowser::~CZUpdateBrowser() {
  if (m_hWnd != nullptr) DestroyWindow(m_hWnd);
}

HWND CZUpdateBrowser::Create() {
  if (m_hWnd != nullptr) return nullptr;
  return CreateDialogParamA(ProcessInstance(), MAKEINTRESOURCEA(IDD_UPDATE_PROMPT), nullptr,
                            DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CZUpdateBrowser::DialogProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<CZUpdateBrowser*>(lParam);
    dialog->m_hWnd = window;
    SetWindowLongPtrA(window, DWLP_USER, lParam);
  }
  auto* dialog = reinterpret_cast<CZUpdateBrowser*>(GetWindowLongPtrA(window, DWLP_USER));
  if (dialog == nullptr) return FALSE;
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, DWLP_USER, 0);
    dialog->m_hWnd = nullptr;
    return FALSE;
  }
  if (message == WM_INITDIALOG) {
    dialog->OnInitDialog();
    // The dialog is hidden: focus is set when it is shown.
    return FALSE;
  }
  LRESULT result = 0;
  if (!dialog->HandleMessage(message, wParam, lParam, &result)) return FALSE;
  SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
  return TRUE;
}

bool CZUpdateBrowser::HandleMessage(UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
  switch (message) {
    case WM_CLOSE:
      m_done = 1;
      return true;
    case WM_DESTROY:
      OnDestroy();
      return false;
    case kDocumentCompleteMessage:
      *result = OnDocumentComplete();
      return true;
    case kNavigateErrorMessage:
      WriteLog("CZUpdateBrowser: Navigation Error\r\n");
      ShowTextFallback();
      return true;
    case kTimeOutMessage:
      ShowTextFallback();
      return true;
    case kShowTextMessage:
      ShowText();
      return true;
    case WM_TIMER:
      OnTimer(wParam);
      return true;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        m_answer = kAnswerYes;
        m_done = 1;
        return true;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        m_done = 1;
        return true;
      }
      return false;
  }
  return false;
}

void CZUpdateBrowser::OnInitDialog() {
  RECT client = {};
  GetClientRect(m_hWnd, &client);
  m_minWidth = ClientWidth(GetDlgItem(m_hWnd, IDOK)) + ClientWidth(GetDlgItem(m_hWnd, IDCANCEL)) +
               kButtonGaps;
  if (m_htmlMode) {
    m_host = CZBrowserHost::Create();
    if (m_host.valid()) m_host->SetScrollBars(false);
  }
  // A host window without a browser control in it still starts the page's
  // timer: the time-out shows the text, as for a page that never completes.
  if (m_host.valid() &&
      m_host->CreateHostWindow(m_hWnd, client, WS_CHILD | WS_TABSTOP, 0, 0) != nullptr) {
    m_host->SetEventMessage(m_hWnd, kDocumentCompleteMessage, CZBrowserHost::kDocumentCompleteSlot);
    m_host->SetEventMessage(m_hWnd, kNavigateErrorMessage, CZBrowserHost::kNavigateErrorSlot);
    Navigate(m_pageUrl);
    HWND control = GetWindow(m_host->Window(), GW_CHILD);
    if (control != nullptr) {
      // A click gives the page the keyboard focus.
      PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
      PostMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(1, 1));
    }
  } else {
    // No host, so no page and no timer can ever show the hidden dialog: the
    // text is shown as soon as the caller's loop runs.
    WriteLog("CZUpdateBrowser: Failed To Create Browser Control\r\n");
    m_host.reset();
    m_htmlMode = 0;
    PostMessageA(m_hWnd, kShowTextMessage, 0, 0);
  }
  HICON icon = LoadIconA(ProcessInstance(), MAKEINTRESOURCEA(IDI_ZUPDATER));
  SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SetWindowTextA(m_hWnd, m_title.c_str());
  Layout(kDefaultWidth, kDefaultHeight);
}

void CZUpdateBrowser::Navigate(const std::string& url) {
  m_pageUrl = url;
  SetTimer(m_hWnd, kNavigationTimer, kNavigationTimeoutMs, nullptr);
  WriteLog("CZUpdateBrowser: Navigating to %s\r\n", url.c_str());
  if (m_host.valid()) m_host->NavigateTo(url.c_str());
}

LRESULT CZUpdateBrowser::OnDocumentComplete() {
  WriteLog("CZUpdateBrowser: HTML Document Loading Complete\r\n");
  CZComPtr<IHTMLElement> body;
  if (m_host.valid()) m_host->GetBodyElement(body.put());
  if (!body.valid()) {
    WriteLog("CZUpdateBrowser: Failed To Get HTML Body.\r\n");
    RejectPage();
    return 0;
  }
  BSTR outer = nullptr;
  HRESULT hr = body->get_outerHTML(&outer);
  // An unreadable page is left to the timer.
  if (FAILED(hr)) return hr;
  std::string html = LoweredAnsiText(outer);
  SysFreeString(outer);
  if (!HasPageMarker(html)) {
    WriteLog("CZUpdateBrowser: Signature Checking Failed.\r\n");
    RejectPage();
    return 0;
  }
  if (!IsWindow(m_hWnd)) {
    RejectPage();
    return 0;
  }
  CZSizeTag tag;
  if (ParseSizeTag(html.c_str(), &tag)) {
    WriteLog("CZUpdateBrowser: Got width=%d, height=%d from update.html\r\n", tag.width,
             tag.height);
    Layout(tag.width, tag.height);
  }
  KillTimer(m_hWnd, kNavigationTimer);
  ShowWindow(m_hWnd, SW_SHOWNORMAL);
  BringWindowToTop(m_hWnd);
  if (m_host.valid() && m_host->Window() != nullptr) ShowWindow(m_host->Window(), SW_SHOW);
  // Without a size tag the page keeps the place it was made at, which need
  // not cover the text laid out at start.
  ShowWindow(GetDlgItem(m_hWnd, IDC_PROMPT_TEXT), SW_HIDE);
  return 0;
}

void CZUpdateBrowser::RejectPage() {
  if (m_host.valid()) m_host->ClearDocumentComplete();
  ShowTextFallback();
}

void CZUpdateBrowser::OnTimer(UINT_PTR id) {
  if (id != kNavigationTimer) return;
  WriteLog("CZUpdateBrowser: Browser Navigation Timed Out\r\n");
  PostMessageA(m_hWnd, kTimeOutMessage, 0, 0);
  KillTimer(m_hWnd, kNavigationTimer);
}

void CZUpdateBrowser::ShowTextFallback() {
  // A page that has loaded and passed stays, whatever comes later.
  if (m_host.valid() && m_host->IsDocumentComplete()) return;
  if (m_host.valid()) m_host->StopNavigation();
  m_htmlMode = 0;
  WriteLog("CZUpdateBrowser: Stopping Navigation And Displaying Text Dialog\r\n");
  ShowText();
}

void CZUpdateBrowser::ShowText() {
  if (m_width > 0 && m_height > 0)
    Layout(m_width, m_height);
  else
    Layout(kDefaultWidth, kDefaultHeight);
  ShowWindow(m_hWnd, SW_SHOWNORMAL);
  BringWindowToTop(m_hWnd);
}

void CZUpdateBrowser::OnDestroy() {
  WriteLog("CZUpdateBrowser: Destroying Browser Dialog\r\n");
  if (m_host.valid()) {
    if (m_host->Window() != nullptr) DestroyWindow(m_host->Window());
    m_host.reset();
  }
}

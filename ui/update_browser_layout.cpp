// Where the page or the text and the two buttons go in the update dialog.
#include <algorithm>

#include "resources/resource.h"
#include "ui/update_browser.h"

namespace {
constexpr int kMargin = 8;
// The buttons' strip under the page.
constexpr int kButtonStrip = 40;
// Sizes come from the server's texts: anything beyond this is cut, so that
// no window arithmetic overflows.
constexpr int kLargestClientSize = 4096;

int Clamp(int value) { return std::min(std::max(value, 0), kLargestClientSize); }

SIZE WindowSize(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

// Without an owner the dialog is centred on the work area.
void CentreOnWorkArea(HWND window) {
  RECT work = {};
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
    GetClientRect(GetDesktopWindow(), &work);
  SIZE size = WindowSize(window);
  int x = work.left + ((work.right - work.left) - size.cx) / 2;
  int y = work.top + ((work.bottom - work.top) - size.cy) / 2;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
}  // namespace

void CZUpdateBrowser::Layout(int width, int height) {
  if (m_hWnd == nullptr || !IsWindow(m_hWnd)) return;
  RECT frame = {0, 0, Clamp(std::max(width, m_minWidth)), Clamp(height)};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE)));
  SetWindowPos(m_hWnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  CentreOnWorkArea(m_hWnd);

  RECT client = {};
  GetClientRect(m_hWnd, &client);
  const int w = client.right - client.left;
  const int h = client.bottom - client.top;
  HWND hostWindow = m_host.valid() ? m_host->Window() : nullptr;
  HWND text = GetDlgItem(m_hWnd, IDC_PROMPT_TEXT);
  if (m_htmlMode && hostWindow != nullptr && m_host->IsDocumentComplete()) {
    SetWindowPos(hostWindow, nullptr, 0, 0, w, std::max(h - kButtonStrip, 0),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(text, SW_HIDE);
  } else {
    if (hostWindow != nullptr) ShowWindow(hostWindow, SW_HIDE);
    ShowWindow(text, SW_SHOW);
    SetWindowTextA(text, m_text.c_str());
    SetWindowPos(text, nullptr, kMargin, kMargin, std::max(w - 2 * kMargin, 0),
                 std::max(h - kButtonStrip - kMargin, 0), SWP_NOZORDER | SWP_NOACTIVATE);
  }

  // Bottom edges 8 pixels above the client's bottom, "&No Thanks" 8 pixels
  // from the right edge and "&Get the Update" 8 pixels to its left; both
  // above the page.
  HWND yes = GetDlgItem(m_hWnd, IDOK);
  HWND no = GetDlgItem(m_hWnd, IDCANCEL);
  SIZE yesSize = WindowSize(yes);
  SIZE noSize = WindowSize(no);
  int noLeft = w - kMargin - noSize.cx;
  SetWindowPos(no, HWND_TOP, noLeft, h - kMargin - noSize.cy, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
  SetWindowPos(yes, HWND_TOP, noLeft - kMargin - yesSize.cx, h - kMargin - yesSize.cy, 0, 0,
               SWP_NOSIZE | SWP_NOACTIVATE);
}

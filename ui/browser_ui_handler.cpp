// What the host answers the browser about its own user interface: the page
// gets no context menu, no border, scroll bars only when allowed, and none of
// the keys that would reload it, open or print a file or open a new window.
#include "ui/browser_host.h"

namespace {
// No 3-D border; the page is activated only by a click into it.
constexpr DWORD kHostFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_ACTIVATE_CLIENTHIT_ONLY;

bool IsControlDown() { return GetKeyState(VK_CONTROL) < 0; }
}  // namespace

HRESULT CZBrowserHost::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) {
  // Handled: the browser shows no menu of its own.
  return S_OK;
}

HRESULT CZBrowserHost::GetHostInfo(DOCHOSTUIINFO* info) {
  if (info == nullptr) return E_POINTER;
  info->cbSize = sizeof(DOCHOSTUIINFO);
  info->dwFlags = m_scrollBars != 0 ? kHostFlags : kHostFlags | DOCHOSTUIFLAG_SCROLL_NO;
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  return S_OK;
}

HRESULT CZBrowserHost::ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                              IOleInPlaceFrame*, IOleInPlaceUIWindow*) {
  return E_NOTIMPL;
}
HRESULT CZBrowserHost::HideUI() { return E_NOTIMPL; }
HRESULT CZBrowserHost::UpdateUI() { return S_OK; }
HRESULT CZBrowserHost::EnableModeless(BOOL) { return E_NOTIMPL; }
HRESULT CZBrowserHost::OnDocWindowActivate(BOOL) { return E_NOTIMPL; }
HRESULT CZBrowserHost::OnFrameWindowActivate(BOOL) { return E_NOTIMPL; }
HRESULT CZBrowserHost::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return E_NOTIMPL; }

HRESULT CZBrowserHost::TranslateAccelerator(LPMSG message, const GUID*, DWORD) {
  if (message == nullptr || message->message != WM_KEYDOWN) return S_FALSE;
  switch (message->wParam) {
    case VK_F5:  // refresh
      return S_OK;
    case 'O':  // open
    case 'P':  // print
    case 'N':  // new window
      return IsControlDown() ? S_OK : S_FALSE;
  }
  return S_FALSE;
}

HRESULT CZBrowserHost::GetOptionKeyPath(LPOLESTR* key, DWORD) {
  if (key != nullptr) *key = nullptr;
  return E_NOTIMPL;
}

HRESULT CZBrowserHost::GetDropTarget(IDropTarget*, IDropTarget** replacement) {
  if (replacement != nullptr) *replacement = nullptr;
  return E_NOTIMPL;
}

HRESULT CZBrowserHost::GetExternal(IDispatch** external) {
  if (external != nullptr) *external = nullptr;
  return E_NOTIMPL;
}

HRESULT CZBrowserHost::TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) {
  if (translated != nullptr) *translated = nullptr;
  return E_NOTIMPL;
}

HRESULT CZBrowserHost::FilterDataObject(IDataObject*, IDataObject** filtered) {
  if (filtered != nullptr) *filtered = nullptr;
  return E_NOTIMPL;
}

// The browser's events as the host sees them: each is answered at once and
// reported to the notify window as a posted message; nothing here calls into
// the window that receives them.
#include <exdispid.h>

#include <cstring>
#include <string>

#include "common/update_log.h"
#include "ui/browser_host.h"
#include "ui/navigation_rules.h"

namespace {
// Where the Cancel argument stands in the events that carry it first among
// others: NewWindow2 (ppDisp, Cancel), NewWindow3 (ppDisp, Cancel, flags,
// context, URL) and FileDownload (ActiveDocument, Cancel).
constexpr UINT kSecondArgument = 1;
constexpr UINT kNewWindow3UrlArgument = 4;

// The arguments arrive last first: argument n of m is rgvarg[m - 1 - n].
// Anything of another type than the event declares counts as absent.
VARIANT* Argument(DISPPARAMS* params, UINT index) {
  if (params == nullptr || params->rgvarg == nullptr || index >= params->cArgs) return nullptr;
  return &params->rgvarg[params->cArgs - 1 - index];
}

// The Cancel argument, always the last one.
VARIANT_BOOL* CancelFlag(DISPPARAMS* params) {
  if (params == nullptr || params->cArgs == 0) return nullptr;
  VARIANT* cancel = Argument(params, params->cArgs - 1);
  if (cancel->vt != (VT_BYREF | VT_BOOL)) return nullptr;
  return cancel->pboolVal;
}

void SetCancel(DISPPARAMS* params) {
  VARIANT_BOOL* cancel = CancelFlag(params);
  if (cancel != nullptr) *cancel = VARIANT_TRUE;
}

void SetCancelAt(DISPPARAMS* params, UINT index) {
  VARIANT* cancel = Argument(params, index);
  if (cancel != nullptr && cancel->vt == (VT_BYREF | VT_BOOL) && cancel->pboolVal != nullptr)
    *cancel->pboolVal = VARIANT_TRUE;
}

// FileDownload's first argument: true when the browser is about to show a
// document itself, false for a file it would save or open elsewhere.
bool IsDocumentDownload(DISPPARAMS* params) {
  VARIANT* active = Argument(params, 0);
  if (active == nullptr) return false;
  if (active->vt == VT_BOOL) return active->boolVal != VARIANT_FALSE;
  if (active->vt == (VT_BYREF | VT_BOOL) && active->pboolVal != nullptr)
    return *active->pboolVal != VARIANT_FALSE;
  return false;
}

IDispatch* DispatchArgument(DISPPARAMS* params, UINT index) {
  VARIANT* value = Argument(params, index);
  if (value == nullptr) return nullptr;
  if (value->vt == VT_DISPATCH) return value->pdispVal;
  if (value->vt == (VT_BYREF | VT_DISPATCH) && value->ppdispVal != nullptr)
    return *value->ppdispVal;
  return nullptr;
}

// A text argument in the thread's code page; empty when absent.
std::string TextArgument(DISPPARAMS* params, UINT index) {
  VARIANT* value = Argument(params, index);
  if (value != nullptr && value->vt == (VT_BYREF | VT_VARIANT) && value->pvarVal != nullptr)
    value = value->pvarVal;
  if (value == nullptr || value->vt != VT_BSTR || value->bstrVal == nullptr) return std::string();
  int length = static_cast<int>(SysStringLen(value->bstrVal));
  int size =
      WideCharToMultiByte(CP_THREAD_ACP, 0, value->bstrVal, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string text(size, '\0');
  WideCharToMultiByte(CP_THREAD_ACP, 0, value->bstrVal, length, &text[0], size, nullptr, nullptr);
  return text;
}

bool BeginsWith(const std::string& text, const char* prefix, size_t length) {
  return text.size() >= length && _strnicmp(text.c_str(), prefix, length) == 0;
}
}  // namespace

HRESULT CZBrowserHost::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT CZBrowserHost::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT CZBrowserHost::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT CZBrowserHost::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                              EXCEPINFO*, UINT*) {
  // The window may go while an event is handled.
  AddRef();
  switch (id) {
    case DISPID_BEFORENAVIGATE2:
      OnBeforeNavigate(params);
      break;
    case DISPID_DOWNLOADCOMPLETE:
      break;
    case DISPID_NAVIGATECOMPLETE2:
      OnNavigateComplete();
      break;
    case DISPID_NAVIGATEERROR:
      OnNavigateError(params);
      break;
    case DISPID_WINDOWCLOSING:
      OnWindowClosing(params);
      break;
    case DISPID_DOCUMENTCOMPLETE:
      OnDocumentComplete();
      break;
    case DISPID_NEWWINDOW2:
    case DISPID_NEWWINDOW3:
      // The prompt is one window: the page opens no other.
      SetCancelAt(params, kSecondArgument);
      WriteLog("CZBrowserHost: New window for %s cancelled\r\n",
               id == DISPID_NEWWINDOW3 ? TextArgument(params, kNewWindow3UrlArgument).c_str()
                                       : "(no address)");
      break;
    case DISPID_FILEDOWNLOAD:
      // Nothing the page offers is saved or opened outside the prompt.
      if (!IsDocumentDownload(params)) {
        SetCancelAt(params, kSecondArgument);
        WriteLog("CZBrowserHost: File download cancelled\r\n");
      }
      break;
  }
  Release();
  return S_OK;
}

void CZBrowserHost::OnBeforeNavigate(DISPPARAMS* params) {
  std::string url = TextArgument(params, 1);
  if (m_unrestricted == 0) {
    // The stored URL, or it with one more character (a closing slash).
    bool allowed = url.size() <= m_url.size() + 1 && BeginsWith(url, m_url.c_str(), m_url.size());
    if (!allowed) SetCancel(params);
  } else if (IsBlankPage(url)) {
    // A page that clears itself away asks for the dialog to close.
    if (m_notifyWindow != nullptr && m_windowClosingMessage != 0) {
      SetCancel(params);
      Notify(m_windowClosingMessage);
    }
  } else if (!IsAllowedNavigation(m_url, url)) {
    // The unsigned page stays on its own server: no local files, no other
    // protocols, no other sites.
    SetCancel(params);
    WriteLog("CZBrowserHost: Navigation to %s cancelled\r\n", url.c_str());
  }
  IDispatch* browser = DispatchArgument(params, 0);
  if (browser != nullptr) {
    CZComPtr<IOleInPlaceActiveObject> active;
    if (SUCCEEDED(browser->QueryInterface(IID_IOleInPlaceActiveObject, active.put_void())))
      active->OnFrameWindowActivate(FALSE);
  }
}

void CZBrowserHost::OnNavigateComplete() {
  if (m_browser.valid()) {
    CZComPtr<IDispatch> document;
    if (SUCCEEDED(m_browser->get_Document(document.put()))) {
      CZComPtr<ICustomDoc> custom = document.As<ICustomDoc>(__uuidof(ICustomDoc));
      if (custom.valid() && SUCCEEDED(custom->SetUIHandler(this))) m_uiHandlerInstalled = 1;
    }
  }
  Notify(m_navigateCompleteMessage);
}

void CZBrowserHost::OnNavigateError(DISPPARAMS* params) {
  // No error page of the browser's own: the dialog shows its text instead.
  SetCancel(params);
  Notify(m_navigateErrorMessage);
}

void CZBrowserHost::OnWindowClosing(DISPPARAMS* params) {
  SetCancel(params);
  Notify(m_windowClosingMessage);
}

void CZBrowserHost::OnDocumentComplete() {
  Notify(m_documentCompleteMessage);
  if (m_documentComplete == 0) m_documentComplete = 1;
}

void CZBrowserHost::Notify(UINT message) {
  if (message != 0 && m_notifyWindow != nullptr) PostMessageA(m_notifyWindow, message, 0, 0);
}

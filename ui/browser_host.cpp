#include "ui/browser_host.h"

#include <urlmon.h>

#include <new>
#include <vector>

#include "common/process_state.h"
#include "net/proxy.h"
#include "ui/control_site.h"

namespace {
const char kHostWindowClass[] = "ZUpdaterBrowserHost";

HINSTANCE ProcessInstance() {
  return g_hInstance != nullptr ? g_hInstance : GetModuleHandleA(nullptr);
}
}  // namespace

CZComPtr<CZBrowserHost> CZBrowserHost::Create() {
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof(wc);
  if (!GetClassInfoExA(ProcessInstance(), kHostWindowClass, &wc)) {
    wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ProcessInstance();
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kHostWindowClass;
    if (RegisterClassExA(&wc) == 0) return CZComPtr<CZBrowserHost>();
  }
  return CZComPtr<CZBrowserHost>(new (std::nothrow) CZBrowserHost());
}

CZBrowserHost::~CZBrowserHost() = default;

void LockDownBrowserFeatures() {
  // For the whole process and before any control exists: pluggable
  // protocols, moves into a more trusted zone and active content in the
  // local-machine zone are all refused to the page.
  for (INTERNETFEATURELIST feature :
       {FEATURE_PROTOCOL_LOCKDOWN, FEATURE_ZONE_ELEVATION, FEATURE_LOCALMACHINE_LOCKDOWN})
    CoInternetSetFeatureEnabled(feature, SET_FEATURE_ON_PROCESS, TRUE);
}

HWND CZBrowserHost::CreateHostWindow(HWND parent, const RECT& rect, DWORD style, DWORD exStyle,
                                     UINT id) {
  if (m_hWnd != nullptr) return nullptr;
  return CreateWindowExA(exStyle, kHostWindowClass, "", style, rect.left, rect.top,
                         rect.right - rect.left, rect.bottom - rect.top, parent,
                         reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), ProcessInstance(),
                         this);
}

LRESULT CALLBACK CZBrowserHost::WindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* host =
        static_cast<CZBrowserHost*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    host->m_hWnd = window;
    host->AddRef();
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host));
  }
  auto* host = reinterpret_cast<CZBrowserHost*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (host == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_CREATE:
      return host->OnCreate();
    case WM_DESTROY:
      host->OnDestroy();
      break;
    case WM_SIZE:
      host->OnSize(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      host->m_hWnd = nullptr;
      host->Release();
      return DefWindowProcA(window, message, wParam, lParam);
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CZBrowserHost::OnCreate() {
  m_site = CZControlSite::Create(m_hWnd);
  if (!m_site.valid()) return -1;
  SetWindowLongPtrA(m_hWnd, GWL_EXSTYLE, GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE) | WS_EX_CLIENTEDGE);
  SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  // Before the control exists, so that it reads the pushed settings.
  if (ShouldPushProxy()) {
    m_proxyState = kProxyPushDecided;
    PushProxy(true);
    m_proxyState = kProxyPushed;
  }
  LockDownBrowserFeatures();
  if (SUCCEEDED(m_site->CreateControl(CLSID_WebBrowser))) {
    CZComPtr<IUnknown> control = ShareComPtr(m_site->Control());
    m_browser = control.As<IWebBrowser2>(IID_IWebBrowser2);
    if (m_browser.valid())
      ConnectEvents();
    else
      m_site->Close();
  }
  return 0;
}

void CZBrowserHost::OnDestroy() {
  DisconnectEvents();
  if (m_proxyState == kProxyPushed) {
    m_proxyState = kProxyRestored;
    PushProxy(false);
  }
  m_browser.reset();
  if (m_site.valid()) m_site->Close();
  m_site.reset();
}

void CZBrowserHost::OnSize(int width, int height) {
  RECT area = {0, 0, width, height};
  if (m_site.valid()) m_site->SetControlRect(area);
  HWND control = GetWindow(m_hWnd, GW_CHILD);
  if (control != nullptr) MoveWindow(control, 0, 0, width, height, TRUE);
}

void CZBrowserHost::ConnectEvents() {
  CZComPtr<IConnectionPointContainer> container =
      m_browser.As<IConnectionPointContainer>(IID_IConnectionPointContainer);
  if (!container.valid()) return;
  CZComPtr<IConnectionPoint> point;
  if (FAILED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put()))) return;
  DWORD cookie = 0;
  if (SUCCEEDED(point->Advise(static_cast<DWebBrowserEvents2*>(this), &cookie)))
    m_sinkCookie = cookie;
}

void CZBrowserHost::DisconnectEvents() {
  if (m_sinkCookie == 0 || !m_browser.valid()) return;
  CZComPtr<IConnectionPointContainer> container =
      m_browser.As<IConnectionPointContainer>(IID_IConnectionPointContainer);
  CZComPtr<IConnectionPoint> point;
  if (container.valid() &&
      SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put())))
    point->Unadvise(m_sinkCookie);
  m_sinkCookie = 0;
}

void CZBrowserHost::SetEventMessage(HWND window, UINT message, DISPID event) {
  switch (event) {
    case kNavigateCompleteSlot:
      m_navigateCompleteMessage = message;
      break;
    case kDocumentCompleteSlot:
      m_documentCompleteMessage = message;
      break;
    case kWindowClosingSlot:
      m_windowClosingMessage = message;
      break;
    case kNavigateErrorSlot:
      m_navigateErrorMessage = message;
      break;
    default:
      return;
  }
  m_notifyWindow = window;
}

HRESULT CZBrowserHost::NavigateTo(const char* url) {
  if (!m_browser.valid()) return S_OK;
  m_url = url != nullptr ? url : "";
  m_documentComplete = 0;
  int length = MultiByteToWideChar(CP_THREAD_ACP, 0, m_url.c_str(), -1, nullptr, 0);
  if (length <= 0) return S_OK;
  std::vector<wchar_t> wide(length);
  MultiByteToWideChar(CP_THREAD_ACP, 0, m_url.c_str(), -1, wide.data(), length);
  BSTR target = SysAllocString(wide.data());
  if (target == nullptr) return S_OK;
  VARIANT empty;
  VariantInit(&empty);
  m_browser->Navigate(target, &empty, &empty, &empty, &empty);
  SysFreeString(target);
  return S_OK;
}

HRESULT CZBrowserHost::StopNavigation() {
  if (m_browser.valid()) m_browser->Stop();
  return S_OK;
}

void CZBrowserHost::GetBodyElement(IHTMLElement** body) {
  if (body == nullptr) return;
  *body = nullptr;
  if (!m_browser.valid()) return;
  CZComPtr<IDispatch> document;
  if (FAILED(m_browser->get_Document(document.put()))) return;
  CZComPtr<IHTMLDocument2> html = document.As<IHTMLDocument2>(IID_IHTMLDocument2);
  if (html.valid()) html->get_body(body);
}

HRESULT CZBrowserHost::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDocHostUIHandler)
    *object = static_cast<IDocHostUIHandler*>(this);
  else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2)
    *object = static_cast<DWebBrowserEvents2*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG CZBrowserHost::AddRef() { return InterlockedIncrement(&m_references); }

ULONG CZBrowserHost::Release() {
  ULONG left = InterlockedDecrement(&m_references);
  if (left == 0) delete this;
  return left;
}

// CZBrowserHost: the child window that hosts the system's web browser
// control for the update prompt. It keeps what the page may do small (no
// context menu, no border, optional scroll bars, no refresh, open, print or
// new-window keys) and turns the browser's events into messages posted to
// one window. While it exists the host client's proxy may be copied into the
// system's Internet settings, so that the browser reaches the update server
// the way the updater does.
#pragma once
#include <exdisp.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <windows.h>

#include <string>

#include "common/com_ptr.h"

class CZControlSite;

// Switches on, for the whole process, the browser's protocol, zone-elevation
// and local-machine lockdowns; every host calls it before its control is made.
void LockDownBrowserFeatures();

class CZBrowserHost : public IDocHostUIHandler, public DWebBrowserEvents2 {
 public:
  // Event numbers SetEventMessage takes.
  static constexpr DISPID kNavigateCompleteSlot = 101;
  static constexpr DISPID kDocumentCompleteSlot = 259;
  static constexpr DISPID kWindowClosingSlot = 263;
  static constexpr DISPID kNavigateErrorSlot = 271;

  // Proxy push states.
  static constexpr int kProxyNotPushed = 0;
  static constexpr int kProxyPushDecided = 1;
  static constexpr int kProxyPushed = 2;
  static constexpr int kProxyRestored = 3;

  // A new host, one reference (the caller's); empty when memory is short.
  static CZComPtr<CZBrowserHost> Create();

  // Creates the host window; the web browser control is made in it. Null
  // when the window cannot be made. The window holds a reference to the host
  // until it is gone.
  HWND CreateHostWindow(HWND parent, const RECT& rect, DWORD style, DWORD exStyle, UINT id);
  HWND Window() const { return m_hWnd; }
  // True while the window holds a web browser control.
  bool HasBrowser() const { return m_browser.valid(); }

  // Non-zero lets the page show scroll bars; read by the browser when it
  // asks for the host's settings.
  void SetScrollBars(bool on) { m_scrollBars = on ? 1 : 0; }
  // Restricted, the browser may only go to the URL last given to NavigateTo
  // (or that URL and one more character).
  void SetRestricted(bool restricted) { m_unrestricted = restricted ? 0 : 1; }

  // Posts message to window for the event: 101 navigate complete, 259
  // document complete, 263 window closing, 271 navigation error. Other
  // numbers are ignored.
  void SetEventMessage(HWND window, UINT message, DISPID event);

  // Loads url in the browser; clears the document-complete flag. 0.
  HRESULT NavigateTo(const char* url);
  // Stops the page that is loading. 0.
  HRESULT StopNavigation();
  // The body element of the current document, or null in *body.
  void GetBodyElement(IHTMLElement** body);

  // Set by the first document-complete event after NavigateTo.
  bool IsDocumentComplete() const { return m_documentComplete != 0; }
  void ClearDocumentComplete() { m_documentComplete = 0; }
  bool IsUIHandlerInstalled() const { return m_uiHandlerInstalled != 0; }
  int ProxyState() const { return m_proxyState; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDocHostUIHandler (browser_ui_handler.cpp)
  HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD id, POINT* point, IUnknown* target,
                                            IDispatch* reserved) override;
  HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override;
  HRESULT STDMETHODCALLTYPE ShowUI(DWORD id, IOleInPlaceActiveObject* activeObject,
                                   IOleCommandTarget* commandTarget, IOleInPlaceFrame* frame,
                                   IOleInPlaceUIWindow* doc) override;
  HRESULT STDMETHODCALLTYPE HideUI() override;
  HRESULT STDMETHODCALLTYPE UpdateUI() override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window,
                                         BOOL frameWindow) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message, const GUID* group,
                                                 DWORD command) override;
  HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget* dropTarget,
                                          IDropTarget** replacement) override;
  HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override;
  HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD translate, LPWSTR url, LPWSTR* translated) override;
  HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject* object, IDataObject** filtered) override;

  // DWebBrowserEvents2, through IDispatch (browser_events.cpp)
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* badArgument) override;

 private:
  CZBrowserHost() = default;
  virtual ~CZBrowserHost();

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnCreate();
  void OnDestroy();
  void OnSize(int width, int height);
  void ConnectEvents();
  void DisconnectEvents();

  // Event handlers (browser_events.cpp).
  void OnBeforeNavigate(DISPPARAMS* params);
  void OnNavigateComplete();
  void OnNavigateError(DISPPARAMS* params);
  void OnWindowClosing(DISPPARAMS* params);
  void OnDocumentComplete();
  void Notify(UINT message);

  LONG m_references = 1;
  HWND m_hWnd = nullptr;
  DWORD m_sinkCookie = 0;  // 0: not connected
  CZComPtr<IWebBrowser2> m_browser;
  CZComPtr<CZControlSite> m_site;
  int m_proxyState = kProxyNotPushed;
  std::string m_url;
  HWND m_notifyWindow = nullptr;
  UINT m_navigateCompleteMessage = 0;
  UINT m_windowClosingMessage = 0;
  UINT m_documentCompleteMessage = 0;
  UINT m_navigateErrorMessage = 0;
  int m_scrollBars = 0;
  int m_uiHandlerInstalled = 0;
  int m_documentComplete = 0;
  int m_unrestricted = 1;
};

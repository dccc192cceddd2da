// CZControlSite: the in-place hosting of one ActiveX control in a window of
// ours. It is the control's client site, in-place site and in-place frame:
// the control draws in the container window's client area and asks the
// site for nothing else. One site hosts one control for its life.
#pragma once
#include <ole2.h>
#include <windows.h>

#include "common/com_ptr.h"

class CZControlSite : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
 public:
  // A new site (one reference, the caller's) for a control in container.
  static CZComPtr<CZControlSite> Create(HWND container);

  // Creates the control of clsid, gives it this site and activates it in
  // place over the container's client area. Failure codes come from the
  // control; the site is then empty.
  HRESULT CreateControl(REFCLSID clsid);
  // The control, or null.
  IUnknown* Control() const { return m_control.get(); }
  // Moves the active control over rect of the container.
  void SetControlRect(const RECT& rect);
  // Deactivates and closes the control and drops every reference the site
  // and the control hold on each other.
  void Close();

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override;
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override;
  HRESULT STDMETHODCALLTYPE ShowObject() override;
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL show) override;
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override;

  // IOleWindow, for both the in-place site and the frame: the container.
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override;
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override;
  HRESULT STDMETHODCALLTYPE OnUIActivate() override;
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             RECT* position, RECT* clip,
                                             OLEINPLACEFRAMEINFO* frameInfo) override;
  HRESULT STDMETHODCALLTYPE Scroll(SIZE extent) override;
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL undoable) override;
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override;
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override;
  HRESULT STDMETHODCALLTYPE OnPosRectChange(const RECT* position) override;

  // IOleInPlaceUIWindow: the container has no tool space.
  HRESULT STDMETHODCALLTYPE GetBorder(RECT* border) override;
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS widths) override;
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS widths) override;
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object,
                                            LPCOLESTR name) override;

  // IOleInPlaceFrame: no menus, no status bar, no accelerators of its own.
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU menu, OLEMENUGROUPWIDTHS* widths) override;
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU menu, HOLEMENU shared, HWND activeObject) override;
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU menu) override;
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR text) override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message, WORD id) override;

 private:
  explicit CZControlSite(HWND container) : m_container(container) {}
  virtual ~CZControlSite() = default;

  LONG m_references = 1;
  HWND m_container;
  CZComPtr<IUnknown> m_control;
  CZComPtr<IOleObject> m_oleObject;
  CZComPtr<IOleInPlaceObject> m_inPlaceObject;
};

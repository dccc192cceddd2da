#include "ui/control_site.h"

#include <ocidl.h>

#include <new>

CZComPtr<CZControlSite> CZControlSite::Create(HWND container) {
  return CZComPtr<CZControlSite>(new (std::nothrow) CZControlSite(container));
}

HRESULT CZControlSite::CreateControl(REFCLSID clsid) {
  if (m_control.valid()) return E_UNEXPECTED;
  CZComPtr<IUnknown> control;
  HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, control.put_void());
  if (FAILED(hr)) return hr;
  CZComPtr<IOleObject> ole = control.As<IOleObject>(IID_IOleObject);
  if (!ole.valid()) return E_NOINTERFACE;
  // The site comes first: the control reads its ambient state while it
  // initialises.
  hr = ole->SetClientSite(this);
  if (FAILED(hr)) return hr;
  CZComPtr<IPersistStreamInit> persist = control.As<IPersistStreamInit>(IID_IPersistStreamInit);
  if (persist.valid()) persist->InitNew();
  m_control = std::move(control);
  m_oleObject = std::move(ole);

  RECT client;
  GetClientRect(m_container, &client);
  hr = m_oleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, m_container, &client);
  if (FAILED(hr)) {
    Close();
    return hr;
  }
  return S_OK;
}

void CZControlSite::SetControlRect(const RECT& rect) {
  if (m_inPlaceObject.valid()) m_inPlaceObject->SetObjectRects(&rect, &rect);
}

void CZControlSite::Close() {
  // The control may call back into the site while it closes: keep it alive.
  AddRef();
  // Also a control that never reported its activation is taken down.
  CZComPtr<IOleInPlaceObject> inPlace = m_control.As<IOleInPlaceObject>(IID_IOleInPlaceObject);
  if (inPlace.valid()) inPlace->InPlaceDeactivate();
  m_inPlaceObject.reset();
  if (m_oleObject.valid()) {
    m_oleObject->Close(OLECLOSE_NOSAVE);
    m_oleObject->SetClientSite(nullptr);
  }
  m_oleObject.reset();
  m_control.reset();
  Release();
}

HRESULT CZControlSite::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown || iid == IID_IOleClientSite)
    *object = static_cast<IOleClientSite*>(this);
  else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
    *object = static_cast<IOleInPlaceSite*>(this);
  else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
    *object = static_cast<IOleInPlaceFrame*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG CZControlSite::AddRef() { return InterlockedIncrement(&m_references); }

ULONG CZControlSite::Release() {
  ULONG left = InterlockedDecrement(&m_references);
  if (left == 0) delete this;
  return left;
}

HRESULT CZControlSite::SaveObject() { return E_NOTIMPL; }

HRESULT CZControlSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker != nullptr) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT CZControlSite::GetContainer(IOleContainer** container) {
  if (container != nullptr) *container = nullptr;
  return E_NOINTERFACE;
}

HRESULT CZControlSite::ShowObject() { return S_OK; }
HRESULT CZControlSite::OnShowWindow(BOOL) { return S_OK; }
HRESULT CZControlSite::RequestNewObjectLayout() { return E_NOTIMPL; }

HRESULT CZControlSite::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = m_container;
  return S_OK;
}

HRESULT CZControlSite::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }
HRESULT CZControlSite::CanInPlaceActivate() { return S_OK; }
HRESULT CZControlSite::OnInPlaceActivate() {
  m_inPlaceObject = m_control.As<IOleInPlaceObject>(IID_IOleInPlaceObject);
  return S_OK;
}
HRESULT CZControlSite::OnUIActivate() { return S_OK; }

HRESULT CZControlSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                        RECT* position, RECT* clip,
                                        OLEINPLACEFRAMEINFO* frameInfo) {
  if (frame == nullptr || doc == nullptr || position == nullptr || clip == nullptr ||
      frameInfo == nullptr)
    return E_POINTER;
  AddRef();
  *frame = this;
  *doc = nullptr;
  GetClientRect(m_container, position);
  *clip = *position;
  frameInfo->cb = sizeof(*frameInfo);
  frameInfo->fMDIApp = FALSE;
  frameInfo->hwndFrame = GetAncestor(m_container, GA_ROOT);
  frameInfo->haccel = nullptr;
  frameInfo->cAccelEntries = 0;
  return S_OK;
}

HRESULT CZControlSite::Scroll(SIZE) { return E_NOTIMPL; }
HRESULT CZControlSite::OnUIDeactivate(BOOL) { return S_OK; }
HRESULT CZControlSite::OnInPlaceDeactivate() {
  m_inPlaceObject.reset();
  return S_OK;
}
HRESULT CZControlSite::DiscardUndoState() { return E_NOTIMPL; }
HRESULT CZControlSite::DeactivateAndUndo() { return E_NOTIMPL; }

HRESULT CZControlSite::OnPosRectChange(const RECT* position) {
  if (position != nullptr) SetControlRect(*position);
  return S_OK;
}

HRESULT CZControlSite::GetBorder(RECT*) { return INPLACE_E_NOTOOLSPACE; }
HRESULT CZControlSite::RequestBorderSpace(LPCBORDERWIDTHS) { return INPLACE_E_NOTOOLSPACE; }
HRESULT CZControlSite::SetBorderSpace(LPCBORDERWIDTHS) { return E_NOTIMPL; }
HRESULT CZControlSite::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) { return S_OK; }

HRESULT CZControlSite::InsertMenus(HMENU, OLEMENUGROUPWIDTHS*) { return E_NOTIMPL; }
HRESULT CZControlSite::SetMenu(HMENU, HOLEMENU, HWND) { return S_OK; }
HRESULT CZControlSite::RemoveMenus(HMENU) { return E_NOTIMPL; }
HRESULT CZControlSite::SetStatusText(LPCOLESTR) { return S_OK; }
HRESULT CZControlSite::EnableModeless(BOOL) { return S_OK; }
HRESULT CZControlSite::TranslateAccelerator(MSG*, WORD) { return S_FALSE; }

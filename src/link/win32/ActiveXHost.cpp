#include "link/win32/ActiveXHost.h"

#include <objbase.h>
#include <oleauto.h>

#include <cmath>
#include <utility>

#include "common/Failure.h"
#include "common/win32/Utf16.h"
#include "link/win32/ComObject.h"
#include "link/win32/ComSupport.h"

using Microsoft::WRL::ComPtr;

namespace velmaris {
namespace {

// The container side of the control: client site, in-place site, frame, control site and
// ambient properties in one object, as the control never sees more of the window than this.
class HostSite final : public IOleClientSite,
                       public IOleInPlaceSite,
                       public IOleInPlaceFrame,
                       public IOleControlSite,
                       public IDispatch,
                       public RefCounted<HostSite> {
 public:
  HostSite(HWND window, const RECT& place, ContainerAmbience ambience)
      : window_(window), place_(place), ambience_(std::move(ambience)) {}

  // The control has been closed: a site it may still hold hands out no window any more.
  void Detach() { window_ = nullptr; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
      *object = static_cast<IOleClientSite*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
      *object = static_cast<IOleInPlaceSite*>(this);
    } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
      *object = static_cast<IOleInPlaceFrame*>(this);
    } else if (iid == IID_IOleControlSite) {
      *object = static_cast<IOleControlSite*>(this);
    } else if (iid == IID_IDispatch) {
      *object = static_cast<IDispatch*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    if (moniker != nullptr) *moniker = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
    if (container != nullptr) *container = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow, shared by the in-place site and the frame.
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = window_;
    return window_ != nullptr ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override {
    return window_ != nullptr ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** ui,
                                             LPRECT position, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO info) override {
    if (frame == nullptr || ui == nullptr || position == nullptr || clip == nullptr)
      return E_POINTER;
    if (window_ == nullptr) {
      *frame = nullptr;
      *ui = nullptr;
      return E_FAIL;
    }
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *ui = nullptr;  // The frame is the only UI window.
    *position = place_;
    *clip = place_;
    if (info != nullptr) {
      info->fMDIApp = FALSE;
      info->hwndFrame = window_;
      info->haccel = nullptr;
      info->cAccelEntries = 0;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override {
    return S_OK;  // The control keeps the place the window gave it.
  }

  // IOleInPlaceUIWindow: the control gets no toolbar space.
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
    return INPLACE_E_NOTOOLSPACE;
  }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return OLE_E_INVALIDRECT; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
    return S_OK;
  }

  // IOleInPlaceFrame: no menus, no status bar, no accelerators of the control's.
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IOleControlSite: the window is the control's only container; it has no extender object,
  // no property pages and no accelerators for the control.
  HRESULT STDMETHODCALLTYPE OnControlInfoChanged() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockInPlaceActive(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetExtendedControl(IDispatch** extended) override {
    if (extended != nullptr) *extended = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE TransformCoords(POINTL* himetric, POINTF* container,
                                            DWORD flags) override {
    if (himetric == nullptr || container == nullptr) return E_POINTER;
    // The window's own units are pixels.
    const ScreenDpi dpi = ambience_.dpi;
    if (flags & XFORMCOORDS_HIMETRICTOCONTAINER) {
      container->x = static_cast<float>(ConvertLength(himetric->x, kHimetricPerInch, dpi.x));
      container->y = static_cast<float>(ConvertLength(himetric->y, kHimetricPerInch, dpi.y));
    } else if (flags & XFORMCOORDS_CONTAINERTOHIMETRIC) {
      himetric->x =
          ConvertLength(static_cast<int>(std::lround(container->x)), dpi.x, kHimetricPerInch);
      himetric->y =
          ConvertLength(static_cast<int>(std::lround(container->y)), dpi.y, kHimetricPerInch);
    } else {
      return E_INVALIDARG;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnFocus(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ShowPropertyFrame() override { return E_NOTIMPL; }

  // IDispatch: the ambient properties, read by identifier.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID,
                                          DISPID* ids) override {
    for (UINT i = 0; ids != nullptr && i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (!(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) ||
        (parameters != nullptr && parameters->cArgs != 0)) {
      return DISP_E_MEMBERNOTFOUND;  // ambient properties are read-only and take no argument
    }
    if (result == nullptr) return E_POINTER;
    return ReadAmbientProperty(ambience_, id, result);
  }

 private:
  friend class RefCounted<HostSite>;
  ~HostSite() = default;

  HWND window_;
  RECT place_;
  ContainerAmbience ambience_;
};

// The saved value the window keeps for the control beside its extent.
constexpr LONG kStockProps = 11;

// The control's saved settings as the window keeps them: its extent and one further value.
class SavedSettingsBag final : public IPropertyBag, public RefCounted<SavedSettingsBag> {
 public:
  explicit SavedSettingsBag(SIZEL extent) : extent_(extent) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IPropertyBag) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IPropertyBag*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

  HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    if (name == nullptr || value == nullptr) return E_POINTER;
    LONG saved = 0;
    if (lstrcmpiW(name, L"_ExtentX") == 0) {
      saved = extent_.cx;
    } else if (lstrcmpiW(name, L"_ExtentY") == 0) {
      saved = extent_.cy;
    } else if (lstrcmpiW(name, L"_StockProps") == 0) {
      saved = kStockProps;
    } else {
      return E_INVALIDARG;  // Not saved: the control keeps its default.
    }
    // The caller may ask for a type of its choice; otherwise it gets the saved 32-bit value.
    const VARTYPE wanted = value->vt;
    VariantClear(value);
    value->vt = VT_I4;
    value->lVal = saved;
    if (wanted != VT_EMPTY && wanted != VT_I4) return VariantChangeType(value, value, 0, wanted);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return S_OK; }

 private:
  friend class RefCounted<SavedSettingsBag>;
  ~SavedSettingsBag() = default;

  SIZEL extent_;
};

}  // namespace

std::unique_ptr<ActiveXHost> ActiveXHost::Create(HWND parent, const TwipsRect& place,
                                                 const ContainerAmbience& ambience,
                                                 const std::string& progId) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(Widen(progId).c_str(), &clsid);
  if (FAILED(hr)) ThrowCreationFailure(hr, progId);

  ComPtr<IUnknown> control;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                        reinterpret_cast<void**>(control.GetAddressOf()));
  if (FAILED(hr)) ThrowCreationFailure(hr, progId);

  auto host = std::make_unique<ActiveXHost>(Key{});
  hr = control.As(&host->dispatch_);
  if (FAILED(hr)) ThrowCreationFailure(hr, progId);

  // The OLE steps are a courtesy to a real control; the tool itself needs only IDispatch.
  if (SUCCEEDED(control.As(&host->oleObject_))) host->Activate(parent, place, ambience);
  return host;
}

void ActiveXHost::Activate(HWND parent, const TwipsRect& place, const ContainerAmbience& ambience) {
  // The extent straight from twips: through pixels it would drift with the DPI's rounding.
  SIZEL extent = {ConvertLength(place.width, kTwipsPerInch, kHimetricPerInch),
                  ConvertLength(place.height, kTwipsPerInch, kHimetricPerInch)};
  RECT position = ToPixels(place, ambience.dpi);
  ComPtr<HostSite> site = MakeComObject<HostSite>(parent, position, ambience);
  if (!site) return;
  site_ = site;

  // Some controls need their site before they load their settings, the rest after.
  DWORD status = 0;
  oleObject_->GetMiscStatus(DVASPECT_CONTENT, &status);
  const bool siteFirst = (status & OLEMISC_SETCLIENTSITEFIRST) != 0;
  if (siteFirst) oleObject_->SetClientSite(site_.Get());

  bool loaded = false;
  ComPtr<IPersistPropertyBag> persistBag;
  if (SUCCEEDED(oleObject_.As(&persistBag))) {
    ComPtr<SavedSettingsBag> bag = MakeComObject<SavedSettingsBag>(extent);
    loaded = bag && SUCCEEDED(persistBag->Load(bag.Get(), nullptr));
  }
  if (!loaded) {
    ComPtr<IPersistStreamInit> persistStream;
    if (SUCCEEDED(oleObject_.As(&persistStream))) persistStream->InitNew();
  }

  if (!siteFirst) oleObject_->SetClientSite(site_.Get());
  oleObject_->SetExtent(DVASPECT_CONTENT, &extent);
  oleObject_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.Get(), 0, parent, &position);
}

ActiveXHost::~ActiveXHost() {
  if (!oleObject_) return;
  ComPtr<IOleInPlaceObject> inPlace;
  if (SUCCEEDED(oleObject_.As(&inPlace))) inPlace->InPlaceDeactivate();
  oleObject_->Close(OLECLOSE_NOSAVE);
  if (site_) static_cast<HostSite*>(site_.Get())->Detach();
  oleObject_->SetClientSite(nullptr);
}

}  // namespace velmaris

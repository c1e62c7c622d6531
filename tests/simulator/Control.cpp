// The simulated acquisition control: answers the seven dispatch operations as the scenario says,
// and lets a host load, place and activate it like a real ActiveX control.
#include "Control.h"

#include <ocidl.h>
#include <oleauto.h>
#include <olectl.h>
#include <oleidl.h>
#include <wrl/client.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <string>

#include "Scenario.h"
#include "WinePath.h"
#include "common/win32/Utf16.h"

using Microsoft::WRL::ComPtr;
using velmaris::Narrow;
using velmaris::Widen;
using velmaris::test::PathFromEnvironment;

namespace qelsim {

const CLSID kClsid = {0x16a5e01e, 0x273d, 0x477b, {0x9c, 0xf7, 0xba, 0xca, 0x07, 0x23, 0x55, 0x91}};
LONG g_liveObjects = 0;

void LogLine(const char* line) {
  const std::wstring path = PathFromEnvironment(L"QELSIM_LOG");
  if (path.empty()) return;
  // Opened per line, so every line is on disk at once and several processes may share a log.
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::string text(line);
  text += "\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

namespace {

enum : DISPID {
  kLinkOpen = static_cast<DISPID>(0x8001000D),
  kLinkParameter = 6,
  kPortNumber = 12,
  kDeviceInfo = 13,
  kPrescaler = 20,
  kSavePrescalers = 21,
  kResetAccessories = 65,
};

const char* OperationName(DISPID id) {
  switch (id) {
    case kLinkOpen:
      return "LinkOpen";
    case kLinkParameter:
      return "LinkParameter";
    case kPortNumber:
      return "PortNumber";
    case kDeviceInfo:
      return "DeviceInfo";
    case kPrescaler:
      return "Prescaler";
    case kSavePrescalers:
      return "SavePrescalers";
    case kResetAccessories:
      return "ResetAccessories";
    default:
      return nullptr;
  }
}

std::string TypeName(VARTYPE vt) {
  static const struct {
    VARTYPE type;
    const char* name;
  } kNames[] = {{VT_EMPTY, "VT_EMPTY"},     {VT_NULL, "VT_NULL"},
                {VT_I2, "VT_I2"},           {VT_I4, "VT_I4"},
                {VT_R4, "VT_R4"},           {VT_R8, "VT_R8"},
                {VT_CY, "VT_CY"},           {VT_DATE, "VT_DATE"},
                {VT_BSTR, "VT_BSTR"},       {VT_DISPATCH, "VT_DISPATCH"},
                {VT_ERROR, "VT_ERROR"},     {VT_BOOL, "VT_BOOL"},
                {VT_VARIANT, "VT_VARIANT"}, {VT_UNKNOWN, "VT_UNKNOWN"},
                {VT_DECIMAL, "VT_DECIMAL"}, {VT_I1, "VT_I1"},
                {VT_UI1, "VT_UI1"},         {VT_UI2, "VT_UI2"},
                {VT_UI4, "VT_UI4"},         {VT_I8, "VT_I8"},
                {VT_UI8, "VT_UI8"},         {VT_INT, "VT_INT"},
                {VT_UINT, "VT_UINT"}};
  std::string name;
  if (vt & VT_BYREF) name += "VT_BYREF|";
  if (vt & VT_ARRAY) name += "VT_ARRAY|";
  for (const auto& entry : kNames)
    if (entry.type == (vt & VT_TYPEMASK)) return name + entry.name;
  return name + "VT_" + std::to_string(vt & VT_TYPEMASK);
}

std::string FlagsName(WORD flags) {
  std::string name;
  const auto add = [&](WORD flag, const char* text) {
    if (!(flags & flag)) return;
    if (!name.empty()) name += "|";
    name += text;
  };
  add(DISPATCH_METHOD, "METHOD");
  add(DISPATCH_PROPERTYGET, "PROPERTYGET");
  add(DISPATCH_PROPERTYPUT, "PROPERTYPUT");
  add(DISPATCH_PROPERTYPUTREF, "PROPERTYPUTREF");
  return name.empty() ? "0" : name;
}

std::string HresultName(HRESULT hr) {
  switch (hr) {
    case DISP_E_MEMBERNOTFOUND:
      return "DISP_E_MEMBERNOTFOUND";
    case DISP_E_EXCEPTION:
      return "DISP_E_EXCEPTION";
    case DISP_E_TYPEMISMATCH:
      return "DISP_E_TYPEMISMATCH";
    case DISP_E_BADPARAMCOUNT:
      return "DISP_E_BADPARAMCOUNT";
    case DISP_E_PARAMNOTFOUND:
      return "DISP_E_PARAMNOTFOUND";
    default: {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
      return code;
    }
  }
}

// "VT_I2 21", "VT_BSTR \"3.10\"", "VT_ARRAY|VT_VARIANT 0..3,0..1"
std::string Describe(const VARIANT& value) {
  const VARTYPE vt = value.vt;
  if (vt & VT_ARRAY) {
    SAFEARRAY* array = (vt & VT_BYREF) ? (value.pparray ? *value.pparray : nullptr) : value.parray;
    std::string text = TypeName(vt);
    if (array == nullptr) return text + " null";
    for (UINT dim = 1; dim <= SafeArrayGetDim(array); ++dim) {
      LONG lower = 0, upper = 0;
      SafeArrayGetLBound(array, dim, &lower);
      SafeArrayGetUBound(array, dim, &upper);
      text += (dim == 1 ? " " : ",") + std::to_string(lower) + ".." + std::to_string(upper);
    }
    return text;
  }
  const bool byRef = (vt & VT_BYREF) != 0;
  if (byRef && value.byref == nullptr) return TypeName(vt) + " null";
  std::string shown;
  switch (vt & VT_TYPEMASK) {
    case VT_BOOL:
      shown = (byRef ? *value.pboolVal : value.boolVal) ? "True" : "False";
      break;
    case VT_I1:
      shown = std::to_string(byRef ? *value.pcVal : value.cVal);
      break;
    case VT_UI1:
      shown = std::to_string(byRef ? *value.pbVal : value.bVal);
      break;
    case VT_I2:
      shown = std::to_string(byRef ? *value.piVal : value.iVal);
      break;
    case VT_UI2:
      shown = std::to_string(byRef ? *value.puiVal : value.uiVal);
      break;
    case VT_I4:
      shown = std::to_string(byRef ? *value.plVal : value.lVal);
      break;
    case VT_UI4:
      shown = std::to_string(byRef ? *value.pulVal : value.ulVal);
      break;
    case VT_INT:
      shown = std::to_string(byRef ? *value.pintVal : value.intVal);
      break;
    case VT_UINT:
      shown = std::to_string(byRef ? *value.puintVal : value.uintVal);
      break;
    case VT_I8:
      shown = std::to_string(byRef ? *value.pllVal : value.llVal);
      break;
    case VT_UI8:
      shown = std::to_string(byRef ? *value.pullVal : value.ullVal);
      break;
    case VT_R4:
      shown = std::to_string(byRef ? *value.pfltVal : value.fltVal);
      break;
    case VT_R8:
      shown = std::to_string(byRef ? *value.pdblVal : value.dblVal);
      break;
    case VT_BSTR: {
      BSTR text = byRef ? *value.pbstrVal : value.bstrVal;
      shown = text ? "\"" + Narrow(text, SysStringLen(text)) + "\"" : "null";
      break;
    }
    case VT_EMPTY:
    case VT_NULL:
      return TypeName(vt);
    default:
      shown = "?";
      break;
  }
  return TypeName(vt) + " " + shown;
}

std::string Argument(const VARIANT& value) {
  std::string text = Describe(value);
  const size_t blank = text.find(' ');
  if (blank == std::string::npos) return "vt=" + text;
  return "vt=" + text.substr(0, blank) + " value=" + text.substr(blank + 1);
}

// Texts of the last failure handed out with a deferred fill-in.
std::wstring g_deferredSource;
std::wstring g_deferredDescription;

HRESULT STDMETHODCALLTYPE FillDeferred(EXCEPINFO* info) {
  info->bstrSource = SysAllocString(g_deferredSource.c_str());
  info->bstrDescription = SysAllocString(g_deferredDescription.c_str());
  return S_OK;
}

class Control final : public IDispatch,
                      public IOleObject,
                      public IOleInPlaceObject,
                      public IPersistPropertyBag,
                      public IPersistStreamInit {
 public:
  Control() {
    InterlockedIncrement(&g_liveObjects);
    std::vector<std::string> errors;
    scenario_ = LoadScenario(errors);
    port_ = static_cast<SHORT>(scenario_.defaultPort);
    LogLine("Create");
    for (const std::string& error : errors) LogLine(("scenario error: " + error).c_str());
    if (scenario_.postQuit) {
      PostQuitMessage(0);
      LogLine("PostQuitMessage");
    }
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *object = static_cast<IDispatch*>(this);
    } else if (scenario_.dispatchOnly) {
      return E_NOINTERFACE;
    } else if (iid == IID_IOleObject) {
      *object = static_cast<IOleObject*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject) {
      *object = static_cast<IOleInPlaceObject*>(this);
    } else if (iid == IID_IPersistPropertyBag && scenario_.propertyBag != "no") {
      *object = static_cast<IPersistPropertyBag*>(this);
    } else if (iid == IID_IPersistStreamInit) {
      *object = static_cast<IPersistStreamInit*>(this);
    } else if (iid == IID_IPersist) {
      *object = static_cast<IPersistStreamInit*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    // The tool must call by identifier; asking for names is logged so tests can catch it.
    for (UINT i = 0; i < count; ++i) {
      LogLine(("GetIDsOfNames " + Narrow(names[i] ? names[i] : L"")).c_str());
      ids[i] = DISPID_UNKNOWN;
    }
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override {
    try {
      return Dispatch(id, flags, parameters, result, exception, argumentError);
    } catch (...) {
      return E_UNEXPECTED;  // nothing may leave through a COM call
    }
  }

  // IOleObject
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override {
    if (site == nullptr && site_) {
      // A closed control's site must no longer hand out the window it was closed in.
      ComPtr<IOleWindow> window;
      HWND handle = nullptr;
      if (SUCCEEDED(site_.As(&window))) window->GetWindow(&handle);
      LogLine(handle != nullptr ? "SetClientSite null -> the site still hands out its window"
                                : "SetClientSite null");
    } else {
      LogLine(site ? "SetClientSite" : "SetClientSite null");
    }
    site_ = site;
    if (site != nullptr) ReadAmbientProperties();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override {
    if (site == nullptr) return E_POINTER;
    *site = site_.Get();
    if (*site) (*site)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Close(DWORD) override {
    LogLine("Close");
    Deactivate();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject** data) override {
    if (data) *data = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND,
                                   LPCRECT) override {
    LogLine(("DoVerb " + std::to_string(verb)).c_str());
    if (site != nullptr && !site_) site_ = site;
    if (verb == OLEIVERB_INPLACEACTIVATE || verb == OLEIVERB_SHOW || verb == OLEIVERB_UIACTIVATE)
      return ActivateInPlace();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override {
    if (verbs) *verbs = nullptr;
    return OLEOBJ_E_NOVERBS;
  }
  HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override { return GetClassID(clsid); }
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR* type) override {
    if (type) *type = nullptr;
    return OLE_S_USEREG;
  }
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override {
    if (size == nullptr) return E_POINTER;
    LogLine(("SetExtent " + std::to_string(size->cx) + "x" + std::to_string(size->cy) +
             (aspect == DVASPECT_CONTENT ? "" : " aspect=" + std::to_string(aspect)))
                .c_str());
    extent_ = *size;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL* size) override {
    if (size == nullptr) return E_POINTER;
    *size = extent_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD* connection) override {
    if (connection) *connection = 0;
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return OLE_E_NOCONNECTION; }
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advises) override {
    if (advises) *advises = nullptr;
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override {
    if (status == nullptr) return E_POINTER;
    *status = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
              OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleWindow / IOleInPlaceObject
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = window_;
    return window_ ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override {
    LogLine("InPlaceDeactivate");
    if (scenario_.pumping.count("InPlaceDeactivate")) PumpMessages("InPlaceDeactivate");
    Deactivate();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE UIDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT) override {
    if (window_ && position)
      MoveWindow(window_, position->left, position->top, position->right - position->left,
                 position->bottom - position->top, TRUE);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return E_NOTIMPL; }

  // IPersist, IPersistPropertyBag, IPersistStreamInit
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
    if (clsid == nullptr) return E_POINTER;
    *clsid = kClsid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InitNew() override {
    LogLine("InitNew");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog*) override {
    if (bag == nullptr) return E_POINTER;
    std::string line = "Load propertybag";
    for (const wchar_t* name : {L"_ExtentX", L"_ExtentY", L"_StockProps"}) {
      VARIANT value;
      VariantInit(&value);
      const HRESULT hr = bag->Read(name, &value, nullptr);
      line += " " + Narrow(name) + "=" + (SUCCEEDED(hr) ? Describe(value) : "missing");
      VariantClear(&value);
    }
    if (scenario_.propertyBag == "fail") line += " -> E_FAIL";
    LogLine(line.c_str());
    return scenario_.propertyBag == "fail" ? E_FAIL : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Save(IPropertyBag*, BOOL, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Load(LPSTREAM) override {
    LogLine("Load stream");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Save(LPSTREAM, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override {
    if (size == nullptr) return E_POINTER;
    size->QuadPart = 0;
    return S_OK;
  }

 private:
  ~Control() {
    Deactivate();
    InterlockedDecrement(&g_liveObjects);
  }

  HRESULT ActivateInPlace() {
    if (window_) return S_OK;
    ComPtr<IOleInPlaceSite> site;
    if (!site_ || FAILED(site_.As(&site))) {
      LogLine("InPlaceActivate -> no in-place site");
      return E_NOINTERFACE;
    }
    if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
    site->OnInPlaceActivate();
    HWND parent = nullptr;
    site->GetWindow(&parent);
    ComPtr<IOleInPlaceFrame> frame;
    ComPtr<IOleInPlaceUIWindow> ui;
    RECT position = {}, clip = {};
    OLEINPLACEFRAMEINFO info = {};
    info.cb = sizeof info;
    site->GetWindowContext(&frame, &ui, &position, &clip, &info);
    // A tab stop, so a host that walks its children for Tab would give it the focus.
    window_ = CreateWindowExW(0, L"STATIC", L"QelCtrlMain", WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                              position.left, position.top, position.right - position.left,
                              position.bottom - position.top, parent, nullptr, nullptr, nullptr);
    inPlaceSite_ = site;
    LogLine(("InPlaceActivate at " + std::to_string(position.left) + "," +
             std::to_string(position.top) + " " + std::to_string(position.right - position.left) +
             "x" + std::to_string(position.bottom - position.top) + (window_ ? "" : " (no window)"))
                .c_str());
    return window_ ? S_OK : E_FAIL;
  }

  void Deactivate() {
    // Real controls destroy their window here: it must still exist.
    if (window_ && !IsWindow(window_)) LogLine("Deactivate -> its window was already destroyed");
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
    if (inPlaceSite_) inPlaceSite_->OnInPlaceDeactivate();
    inPlaceSite_.Reset();
  }

  // Reads the ambient properties as a control does when it gets its site. Strict on purpose: a
  // container that does not say it is in user mode gets a control in design mode, which works
  // for nobody.
  void ReadAmbientProperties() {
    ComPtr<IDispatch> ambients;
    site_.As(&ambients);
    static const struct {
      const char* name;
      DISPID id;
    } kAmbients[] = {{"UserMode", DISPID_AMBIENT_USERMODE},
                     {"UIDead", DISPID_AMBIENT_UIDEAD},
                     {"ShowGrabHandles", DISPID_AMBIENT_SHOWGRABHANDLES},
                     {"ShowHatching", DISPID_AMBIENT_SHOWHATCHING},
                     {"MessageReflect", DISPID_AMBIENT_MESSAGEREFLECT},
                     {"DisplayAsDefault", DISPID_AMBIENT_DISPLAYASDEFAULT},
                     {"LocaleID", DISPID_AMBIENT_LOCALEID},
                     {"DisplayName", DISPID_AMBIENT_DISPLAYNAME},
                     {"Font", DISPID_AMBIENT_FONT},
                     {"ForeColor", DISPID_AMBIENT_FORECOLOR},
                     {"BackColor", DISPID_AMBIENT_BACKCOLOR},
                     {"Unknown", 0x1234}};
    std::string line = "Ambient";
    userMode_ = false;
    for (const auto& ambient : kAmbients) {
      line += std::string(" ") + ambient.name + "=";
      if (!ambients) {
        line += "no IDispatch";
        break;
      }
      VARIANT value;
      VariantInit(&value);
      DISPPARAMS none = {};
      const HRESULT hr = ambients->Invoke(ambient.id, IID_NULL, LOCALE_USER_DEFAULT,
                                          DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
      line += FAILED(hr) ? HresultName(hr) : DescribeAmbient(ambient.id, value);
      if (ambient.id == DISPID_AMBIENT_USERMODE)
        userMode_ = SUCCEEDED(hr) && value.vt == VT_BOOL && value.boolVal != VARIANT_FALSE;
      VariantClear(&value);
    }
    LogLine(line.c_str());
  }

  static std::string DescribeAmbient(DISPID id, const VARIANT& value) {
    char text[64];
    if ((id == DISPID_AMBIENT_FORECOLOR || id == DISPID_AMBIENT_BACKCOLOR) && value.vt == VT_I4) {
      std::snprintf(text, sizeof text, "VT_I4 0x%08lX", static_cast<unsigned long>(value.lVal));
      return text;
    }
    ComPtr<IFont> font;
    if (id != DISPID_AMBIENT_FONT || value.vt != VT_DISPATCH || value.pdispVal == nullptr ||
        FAILED(value.pdispVal->QueryInterface(IID_IFont,
                                              reinterpret_cast<void**>(font.GetAddressOf()))))
      return Describe(value);
    BSTR name = nullptr;
    CY size = {};
    font->get_Name(&name);
    font->get_Size(&size);
    std::snprintf(text, sizeof text, " %.2f", static_cast<double>(size.int64) / 10000.0);
    const std::string shown = "VT_DISPATCH \"" + Narrow(name, SysStringLen(name)) + "\"" + text;
    SysFreeString(name);
    return shown;
  }

  // Lets the caller's messages through for a while, as a control waiting on its device with a
  // message loop of its own does; the window it works in must survive that.
  void PumpMessages(const std::string& call) {
    LogLine(("pumping messages during " + call).c_str());
    const DWORD start = GetTickCount();
    MSG message;
    bool quit = false;
    while (!quit && GetTickCount() - start < scenario_.pumpMs) {
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
          PostQuitMessage(static_cast<int>(message.wParam));  // for the caller's loop
          quit = true;
          break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    if (window_ && !IsWindow(window_)) {
      LogLine(("pumped " + call + " -> its window was destroyed during the call").c_str());
    }
  }

  HRESULT Fail(const std::string& line, const char* detail, EXCEPINFO* exception,
               const std::string& description) {
    LogLine((line + " -> DISP_E_EXCEPTION" + detail).c_str());
    if (exception != nullptr) {
      ZeroMemory(exception, sizeof *exception);
      exception->scode = E_FAIL;
      const std::wstring source = Widen(scenario_.failSource);
      const std::wstring text = Widen(
          scenario_.failCounting ? description + " #" + std::to_string(++failures_) : description);
      if (scenario_.failDeferred) {
        g_deferredSource = source;
        g_deferredDescription = text;
        exception->pfnDeferredFillIn = FillDeferred;
      } else {
        exception->bstrSource = SysAllocStringLen(source.data(), static_cast<UINT>(source.size()));
        exception->bstrDescription = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      }
    }
    return DISP_E_EXCEPTION;
  }

  HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                   EXCEPINFO* exception, UINT* argumentError) {
    const char* name = OperationName(id);
    char detail[64];
    std::snprintf(
        detail, sizeof detail,
        (id >= 0 && id < 0x10000) ? " [dispid=%ld flags=%s]" : " [dispid=0x%08lX flags=%s]",
        static_cast<long>(id), FlagsName(flags).c_str());

    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    const bool get = !put && (flags & DISPATCH_PROPERTYGET) != 0;
    const bool method = !put && !get && (flags & DISPATCH_METHOD) != 0;
    std::string line = put ? "put " : get ? "get " : method ? "call " : "invoke ";
    line += name ? name : "unknown";

    // Arguments as they came, the first one first (Invoke hands them over last first).
    const UINT count = parameters ? parameters->cArgs : 0;
    const UINT named = parameters ? parameters->cNamedArgs : 0;
    const bool namedPut = named == 1 && parameters->rgdispidNamedArgs != nullptr &&
                          parameters->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
    if (count > 0 && parameters->rgvarg == nullptr) return DISP_E_BADPARAMCOUNT;
    for (UINT i = count; i-- > 0;) {
      const bool isIndex = id == kPrescaler && i == count - 1 && count >= 1 && (get || count == 2);
      line += isIndex ? " index " : " ";
      line += Argument(parameters->rgvarg[i]);
    }
    const std::string logged = line;
    line += detail;
    (void)argumentError;

    const auto refuse = [&](HRESULT hr) {
      LogLine((logged + " -> " + HresultName(hr) + detail).c_str());
      return hr;
    };
    if (name == nullptr) return refuse(DISP_E_MEMBERNOTFOUND);
    if (scenario_.missing.count(name)) return refuse(DISP_E_MEMBERNOTFOUND);
    if (!userMode_)
      return Fail(logged, detail, exception, "The control does not work in design mode.");
    if (scenario_.pumping.count(name)) PumpMessages(logged);
    if (scenario_.failing.count(name))
      return Fail(logged, detail, exception, scenario_.failDescription);
    if (scenario_.failingBare.count(name)) return refuse(scenario_.bareHresult);

    // What each operation accepts, as strictly as the real one checks it.
    const auto isPut = [&](UINT arguments) { return put && namedPut && count == arguments; };
    const auto isGet = [&](UINT arguments) {
      return get && named == 0 && count == arguments && result != nullptr;
    };
    const auto type = [&](UINT position) { return parameters->rgvarg[position].vt; };

    switch (id) {
      case kLinkOpen:
        if (isPut(1)) {
          if (type(0) != VT_BOOL) return refuse(DISP_E_TYPEMISMATCH);
          OpenOrClose(parameters->rgvarg[0].boolVal != VARIANT_FALSE);
          LogLine(line.c_str());
          return S_OK;
        }
        if (isGet(0)) {
          VariantInit(result);
          result->vt = VT_BOOL;
          result->boolVal = open_ ? VARIANT_TRUE : VARIANT_FALSE;
          LogLine((logged + " -> " + Describe(*result) + detail).c_str());
          return S_OK;
        }
        break;
      case kLinkParameter:
        if (isPut(1)) {
          if (type(0) != VT_I4) return refuse(DISP_E_TYPEMISMATCH);
          LogLine(line.c_str());
          return S_OK;
        }
        break;
      case kPortNumber:
        if (isPut(1)) {
          if (type(0) != (VT_BYREF | VT_I2) || parameters->rgvarg[0].piVal == nullptr)
            return refuse(DISP_E_TYPEMISMATCH);
          SHORT* caller = parameters->rgvarg[0].piVal;
          port_ = *caller;
          portWritten_ = true;
          if (scenario_.portWriteBack) {
            // The component settled on another port and tells the caller which.
            *caller = scenario_.portWriteBackValue;
            port_ = *caller;
            line = logged + " wrote back " + std::to_string(*caller) + detail;
          }
          LogLine(line.c_str());
          return S_OK;
        }
        break;
      case kDeviceInfo:
        if (isGet(0)) {
          const HRESULT hr = DeviceInfo(result);
          if (FAILED(hr)) return refuse(hr);
          LogLine((logged + " -> " + Describe(*result) + detail).c_str());
          return S_OK;
        }
        break;
      case kPrescaler:
        if (isGet(1)) {
          if (type(0) != VT_I4) return refuse(DISP_E_TYPEMISMATCH);
          const LONG channel = parameters->rgvarg[0].lVal;
          if (channel != 0 && channel != 1)
            return Fail(logged, detail, exception, "Invalid prescaler channel.");
          const HRESULT hr = MakeVariant(scenario_.prescaler[channel], result);
          if (FAILED(hr)) return refuse(hr);
          LogLine((logged + " -> " + Describe(*result) + detail).c_str());
          return S_OK;
        }
        if (isPut(2)) {
          if (type(0) != VT_UI1 || type(1) != VT_I4) return refuse(DISP_E_TYPEMISMATCH);
          const LONG channel = parameters->rgvarg[1].lVal;
          if (channel != 0 && channel != 1)
            return Fail(logged, detail, exception, "Invalid prescaler channel.");
          scenario_.prescaler[channel] = {VT_UI1, std::to_string(parameters->rgvarg[0].bVal),
                                          false};
          LogLine(line.c_str());
          return S_OK;
        }
        break;
      case kSavePrescalers:
      case kResetAccessories:
        if (method && count == 0) {
          if (result != nullptr) VariantInit(result);
          LogLine(line.c_str());
          return S_OK;
        }
        break;
    }
    // Known operation, wrong kind of call or wrong number of arguments.
    return refuse(count == 0 || named > 1 ? DISP_E_MEMBERNOTFOUND : DISP_E_BADPARAMCOUNT);
  }

  void OpenOrClose(bool open) {
    if (!open) {
      open_ = false;
      return;
    }
    if (!portWritten_ && scenario_.startupOpen != Scenario::StartupOpen::Auto) {
      open_ = scenario_.startupOpen == Scenario::StartupOpen::Yes;
    } else {
      open_ = scenario_.allPortsOpen || scenario_.openPorts.count(port_) > 0;
    }
    infoReads_ = 0;
  }

  HRESULT DeviceInfo(VARIANT* result) {
    VariantInit(result);
    if (!open_ || scenario_.unitPort < 0 || port_ != scenario_.unitPort) return S_OK;
    if (infoReads_++ < scenario_.answerAfter) return S_OK;

    std::vector<SAFEARRAYBOUND> bounds;
    for (const auto& bound : scenario_.infoBounds)
      bounds.push_back(
          {static_cast<ULONG>(std::max<LONG>(bound.second - bound.first + 1, 0)), bound.first});
    if (bounds.empty()) bounds = {{4, 0}, {2, 0}};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, static_cast<UINT>(bounds.size()), bounds.data());
    if (array == nullptr) return E_OUTOFMEMORY;
    // SELF elements refer back to the whole array through this VARIANT, which only borrows it.
    whole_.vt = VT_ARRAY | VT_VARIANT;
    whole_.parray = array;
    for (const auto& element : scenario_.infoElements) {
      if (element.first.size() != bounds.size()) continue;
      VARIANT value;
      if (element.second.self) {
        VariantInit(&value);
        value.vt = VT_BYREF | VT_VARIANT;
        value.pvarVal = &whole_;
      } else {
        MakeVariant(element.second, &value);
      }
      std::vector<LONG> indices = element.first;
      SafeArrayPutElement(array, indices.data(), &value);
      VariantClear(&value);
    }
    result->vt = VT_ARRAY | VT_VARIANT;
    result->parray = array;
    return S_OK;
  }

  LONG references_ = 1;
  Scenario scenario_;
  bool open_ = false;
  SHORT port_ = 0;
  bool portWritten_ = false;
  int infoReads_ = 0;
  int failures_ = 0;
  VARIANT whole_ = {};
  SIZEL extent_ = {900, 900};
  ComPtr<IOleClientSite> site_;
  ComPtr<IOleInPlaceSite> inPlaceSite_;
  HWND window_ = nullptr;
  bool userMode_ = true;  // until a site says otherwise; hosting through IDispatch has no site
};

}  // namespace

HRESULT CreateControl(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  // The new object's first reference goes to the ComPtr; QueryInterface adds the one handed out.
  ComPtr<IDispatch> control;
  control.Attach(new (std::nothrow) Control());
  if (!control) return E_OUTOFMEMORY;
  return control->QueryInterface(iid, object);
}

}  // namespace qelsim

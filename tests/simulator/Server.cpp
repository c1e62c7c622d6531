// The in-process server around the simulated control: class factory, registration under the
// ProgID of the real component, unloading.
#include <objbase.h>
#include <shlwapi.h>
#include <windows.h>

#include <new>
#include <string>

#include "Control.h"

namespace qelsim {
namespace {

HINSTANCE g_module = nullptr;
LONG g_locks = 0;

const wchar_t kProgId[] = L"QELCTRLLibCtl.QelCtrlMain";
const wchar_t kDescription[] = L"QelCtrlMain Class (simulated)";

class ClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  // One static factory: it lives as long as the DLL does.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object != nullptr) *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    try {
      return CreateControl(iid, object);
    } catch (...) {
      return E_UNEXPECTED;
    }
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      InterlockedIncrement(&g_locks);
    } else {
      InterlockedDecrement(&g_locks);
    }
    return S_OK;
  }
};

ClassFactory g_factory;

std::wstring ClsidText() {
  wchar_t text[64] = {};
  StringFromGUID2(kClsid, text, 64);
  return text;
}

bool SetKey(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  const LONG status =
      RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

}  // namespace
}  // namespace qelsim

using namespace qelsim;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid != kClsid) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, object);
}

extern "C" HRESULT __stdcall DllCanUnloadNow() {
  return (g_liveObjects == 0 && g_locks == 0) ? S_OK : S_FALSE;
}

extern "C" HRESULT __stdcall DllRegisterServer() {
  wchar_t path[MAX_PATH] = {};
  if (GetModuleFileNameW(g_module, path, MAX_PATH) == 0) return E_FAIL;
  const std::wstring clsid = ClsidText();
  const std::wstring classKey = L"CLSID\\" + clsid;
  const std::wstring progId = kProgId;
  const bool ok =
      SetKey(progId, nullptr, kDescription) && SetKey(progId + L"\\CLSID", nullptr, clsid) &&
      SetKey(classKey, nullptr, kDescription) && SetKey(classKey + L"\\ProgID", nullptr, progId) &&
      SetKey(classKey + L"\\Control", nullptr, L"") &&
      SetKey(classKey + L"\\InprocServer32", nullptr, path) &&
      SetKey(classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
  return ok ? S_OK : E_ACCESSDENIED;
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
  const std::wstring classKey = L"CLSID\\" + ClsidText();
  SHDeleteKeyW(HKEY_CLASSES_ROOT, classKey.c_str());
  SHDeleteKeyW(HKEY_CLASSES_ROOT, kProgId);
  return S_OK;
}

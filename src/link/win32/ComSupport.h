#pragma once

#include <oaidl.h>
#include <ole2.h>
#include <windows.h>

#include <string>

namespace velmaris {

// The acquisition component the window hosts, by its ProgID, which is also the source its
// failures show to the user.
inline constexpr const char* kControlProgId = "QELCTRLLibCtl.QelCtrlMain";

// OLE for this thread, for as long as it lives; the ActiveX host needs OLE, not only COM.
class OleSession {
 public:
  OleSession() : initialised_(SUCCEEDED(OleInitialize(nullptr))) {}
  ~OleSession() {
    if (initialised_) OleUninitialize();
  }
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;

 private:
  bool initialised_;
};

// A VARIANT that clears itself.
class UniqueVariant {
 public:
  UniqueVariant() { VariantInit(&value_); }
  ~UniqueVariant() { VariantClear(&value_); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;

  VARIANT* get() { return &value_; }
  const VARIANT& operator*() const { return value_; }

 private:
  VARIANT value_;
};

// The EXCEPINFO of one Invoke; its strings are freed with it.
class UniqueExcepInfo {
 public:
  UniqueExcepInfo() { ZeroMemory(&info_, sizeof info_); }
  ~UniqueExcepInfo() {
    SysFreeString(info_.bstrSource);
    SysFreeString(info_.bstrDescription);
    SysFreeString(info_.bstrHelpFile);
  }
  UniqueExcepInfo(const UniqueExcepInfo&) = delete;
  UniqueExcepInfo& operator=(const UniqueExcepInfo&) = delete;

  EXCEPINFO* get() { return &info_; }

 private:
  EXCEPINFO info_;
};

// UTF-8 text of a BSTR; a null BSTR is the empty text, as Automation defines it.
std::string BstrToUtf8(BSTR text);

// The system's message for an HRESULT followed by its code, e.g. "Class not registered.
// (0x80040154)"; just the code when the system has no message for it.
std::string DescribeHresult(HRESULT hr);

// Raises the Failure of a failed COM call that carries no exception information.
[[noreturn]] void ThrowHresult(HRESULT hr, const std::string& source);

// Raises the Failure of a failed IDispatch::Invoke. With DISP_E_EXCEPTION the component's own
// source and description are used; otherwise `source` and the system's message.
[[noreturn]] void ThrowInvokeFailure(HRESULT hr, EXCEPINFO& info, const std::string& source);

}  // namespace velmaris

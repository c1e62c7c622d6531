#pragma once

#include <windows.h>
// windows.h first: the others rely on its types.
#include <ole2.h>
#include <oleauto.h>
#include <setupapi.h>

#include <memory>
#include <type_traits>

namespace velmaris {

// What Windows hands out, owned for a scope: each is given back when its owner goes, on every
// path out, failures included.

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
template <class Handle>
using UniqueGdiObject = std::unique_ptr<std::remove_pointer_t<Handle>, GdiObjectDeleter>;
using UniqueFont = UniqueGdiObject<HFONT>;

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
// A kernel object's handle (a thread's, a file's); never INVALID_HANDLE_VALUE.
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// A critical section entered for a scope.
class Lock {
 public:
  explicit Lock(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
  ~Lock() { LeaveCriticalSection(&section_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  CRITICAL_SECTION& section_;
};

struct GlobalFreer {
  void operator()(HGLOBAL memory) const { GlobalFree(memory); }
};
using UniqueGlobal = std::unique_ptr<void, GlobalFreer>;

struct KeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

struct DeviceListDestroyer {
  void operator()(HDEVINFO list) const { SetupDiDestroyDeviceInfoList(list); }
};
using UniqueDeviceList = std::unique_ptr<std::remove_pointer_t<HDEVINFO>, DeviceListDestroyer>;

// A window's device context (the screen's, for no window), with a font selected into it when one
// is given; the font it replaced is selected again, and the context released, when it goes.
// get() is null when Windows gave no context.
class WindowDc {
 public:
  explicit WindowDc(HWND window, HGDIOBJ font = nullptr) : window_(window), dc_(GetDC(window)) {
    if (dc_ != nullptr && font != nullptr) replaced_ = SelectObject(dc_, font);
  }
  ~WindowDc() {
    if (dc_ == nullptr) return;
    if (replaced_ != nullptr) SelectObject(dc_, replaced_);
    ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
  HGDIOBJ replaced_ = nullptr;
};

// A window's drawing held while this lives, as WM_SETREDRAW holds it, and the whole window, frame
// and scroll bars included, drawn afresh at its next paint. The message goes straight to its
// default handling, which is all Windows' edit box does with it: Wine's edit box ignores it, yet
// draws its scroll bar four times in each text set, a redraw of the screen each time. A window
// hidden to begin with is left alone, since the end of a hold shows the window.
class RedrawHeld {
 public:
  explicit RedrawHeld(HWND window)
      : window_((GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0 ? window : nullptr) {
    if (window_ != nullptr) DefWindowProcW(window_, WM_SETREDRAW, FALSE, 0);
  }
  ~RedrawHeld() {
    if (window_ == nullptr) return;
    DefWindowProcW(window_, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
  }
  RedrawHeld(const RedrawHeld&) = delete;
  RedrawHeld& operator=(const RedrawHeld&) = delete;

 private:
  HWND window_;
};

// Movable global memory, locked while this lives. get() is null when it could not be locked.
class LockedGlobal {
 public:
  explicit LockedGlobal(HGLOBAL memory)
      : memory_(memory), data_(memory != nullptr ? GlobalLock(memory) : nullptr) {}
  ~LockedGlobal() {
    if (data_ != nullptr) GlobalUnlock(memory_);
  }
  LockedGlobal(const LockedGlobal&) = delete;
  LockedGlobal& operator=(const LockedGlobal&) = delete;
  void* get() const { return data_; }

 private:
  HGLOBAL memory_;
  void* data_;
};

// The clipboard, open for this thread while this lives. Another program may hold it open for a
// moment, so opening is tried up to `attempts` times, `retryDelayMs` apart.
class ClipboardSession {
 public:
  ClipboardSession(HWND owner, int attempts, DWORD retryDelayMs) {
    for (int attempt = 0; attempt < attempts && !open_; ++attempt) {
      if (attempt > 0) Sleep(retryDelayMs);
      open_ = OpenClipboard(owner) != FALSE;
    }
  }
  ~ClipboardSession() {
    if (open_) CloseClipboard();
  }
  ClipboardSession(const ClipboardSession&) = delete;
  ClipboardSession& operator=(const ClipboardSession&) = delete;
  bool isOpen() const { return open_; }

 private:
  bool open_ = false;
};

// OLE for this thread, for as long as this lives; an ActiveX host needs OLE, not only COM.
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

// A VARIANT that clears itself, and so frees what it holds.
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

// The EXCEPINFO of one IDispatch::Invoke; its strings are freed with it.
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

// A SAFEARRAY's data, locked in place while this lives. data() is null when it could not be.
class LockedSafeArray {
 public:
  explicit LockedSafeArray(SAFEARRAY* array) : array_(array) {
    if (FAILED(SafeArrayAccessData(array_, &data_))) data_ = nullptr;
  }
  ~LockedSafeArray() {
    if (data_ != nullptr) SafeArrayUnaccessData(array_);
  }
  LockedSafeArray(const LockedSafeArray&) = delete;
  LockedSafeArray& operator=(const LockedSafeArray&) = delete;
  const unsigned char* data() const { return static_cast<const unsigned char*>(data_); }

 private:
  SAFEARRAY* array_;
  void* data_ = nullptr;
};

}  // namespace velmaris

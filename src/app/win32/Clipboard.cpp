#include "app/win32/Clipboard.h"

#include <cstring>
#include <memory>

#include "common/Failure.h"

namespace velmaris {

namespace {

constexpr int kOpenAttempts = 10;
constexpr DWORD kOpenRetryDelayMs = 30;

struct GlobalFreer {
  void operator()(void* memory) const { GlobalFree(memory); }
};
using UniqueGlobal = std::unique_ptr<void, GlobalFreer>;

class OpenClipboardSession {
 public:
  explicit OpenClipboardSession(HWND owner) {
    for (int attempt = 0; attempt < kOpenAttempts && !open_; ++attempt) {
      if (attempt > 0) Sleep(kOpenRetryDelayMs);
      open_ = OpenClipboard(owner) != FALSE;
    }
  }
  ~OpenClipboardSession() {
    if (open_) CloseClipboard();
  }
  OpenClipboardSession(const OpenClipboardSession&) = delete;
  OpenClipboardSession& operator=(const OpenClipboardSession&) = delete;
  bool isOpen() const { return open_; }

 private:
  bool open_ = false;
};

UniqueGlobal CopyToGlobal(const std::wstring& text) {
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
  if (!memory) FailInTool("No hay memoria suficiente para copiar el informe");
  void* target = GlobalLock(memory.get());
  if (target == nullptr) FailInTool("No hay memoria suficiente para copiar el informe");
  std::memcpy(target, text.c_str(), bytes);
  GlobalUnlock(memory.get());
  return memory;
}

}  // namespace

void PutTextOnClipboard(HWND owner, const std::wstring& text) {
  // Prepared before the clipboard is emptied, so a failure here leaves its contents alone.
  UniqueGlobal memory = CopyToGlobal(text);
  OpenClipboardSession clipboard(owner);
  if (!clipboard.isOpen()) {
    FailInTool("El portapapeles está siendo usado por otro programa. Intente copiar de nuevo.");
  }
  if (!EmptyClipboard()) FailInTool("No se pudo vaciar el portapapeles");
  if (SetClipboardData(CF_UNICODETEXT, memory.get()) == nullptr) {
    FailInTool("No se pudo poner el informe en el portapapeles");
  }
  memory.release();  // the clipboard owns it now
}

}  // namespace velmaris

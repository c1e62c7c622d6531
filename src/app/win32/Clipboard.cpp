#include "app/win32/Clipboard.h"

#include <cstring>

#include "common/Failure.h"
#include "common/win32/Scoped.h"

namespace velmaris {

namespace {

constexpr int kOpenAttempts = 10;
constexpr DWORD kOpenRetryDelayMs = 30;

UniqueGlobal CopyToGlobal(const std::wstring& text) {
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
  const LockedGlobal target(memory.get());
  if (target.get() == nullptr) FailInTool("No hay memoria suficiente para copiar el informe");
  std::memcpy(target.get(), text.c_str(), bytes);
  return memory;
}

}  // namespace

void PutTextOnClipboard(HWND owner, const std::wstring& text) {
  // Prepared before the clipboard is emptied, so a failure here leaves its contents alone.
  UniqueGlobal memory = CopyToGlobal(text);
  const ClipboardSession clipboard(owner, kOpenAttempts, kOpenRetryDelayMs);
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

#include "ProgramWindow.h"

#include "WindowSearch.h"
#include "common/ProgramIdentity.h"
#include "common/win32/Utf16.h"

namespace velmaris::test {
namespace {

HWND EditBoxOf(HWND window, bool multiLine) {
  return FindChildWindow(window, [multiLine](HWND child) {
    return HasClass(child, L"EDIT") &&
           ((GetWindowLongW(child, GWL_STYLE) & ES_MULTILINE) != 0) == multiLine;
  });
}

}  // namespace

std::wstring WindowCaption() { return Widen(kWindowCaption); }

HWND FindProgramWindow(DWORD processId) {
  // The boxes that report a failed event carry the same caption.
  return FindTopLevelWindow(processId, nullptr, WindowCaption().c_str(),
                            [](HWND window) { return !HasClass(window, kMessageBoxClass); });
}

HWND StatusBoxOf(HWND window) { return EditBoxOf(window, false); }

HWND ReportPaneOf(HWND window) { return EditBoxOf(window, true); }

bool HasVerticalScrollBar(HWND window) {
  return (GetWindowLongW(window, GWL_STYLE) & WS_VSCROLL) != 0;
}

std::optional<LOGFONTW> FontOf(HWND control) {
  LOGFONTW font = {};
  const auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  if (GetObjectW(handle, sizeof font, &font) == 0) return std::nullopt;
  return font;
}

}  // namespace velmaris::test

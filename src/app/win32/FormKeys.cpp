#include "app/win32/FormKeys.h"

#include <iterator>

#include "app/win32/FormDescription.h"

namespace velmaris {

namespace {

// The place of one of the form's own controls in kControls, or -1 for any other window (the
// acquisition control's among them, which so never takes the focus by the keyboard).
int TabIndexOf(HWND form, HWND control) {
  if (control == nullptr) return -1;
  for (size_t i = 0; i < std::size(kControls); ++i) {
    if (GetDlgItem(form, kControls[i].id) == control) return static_cast<int>(i);
  }
  return -1;
}

bool IsButtonOf(HWND form, HWND control) {
  const int index = TabIndexOf(form, control);
  return index >= 0 && lstrcmpW(kControls[index].windowClass, L"BUTTON") == 0;
}

}  // namespace

bool FormKeys::CanTakeFocus(HWND control) {
  const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  return (style & WS_VISIBLE) != 0 && (style & WS_DISABLED) == 0;
}

bool FormKeys::OnKey(HWND control, UINT message, WPARAM key, bool repeat) const {
  if (message != WM_KEYDOWN && message != WM_KEYUP && message != WM_CHAR) return false;
  switch (key) {
    case VK_ESCAPE:
      return true;
    case VK_TAB:
      // The character that the key down leaves behind would write a tab into the report.
      if (message != WM_KEYDOWN) return message == WM_CHAR;
      if (HWND next = NextInTabOrder(control, GetKeyState(VK_SHIFT) < 0)) SetFocus(next);
      return true;
    case VK_RETURN:
      // On a button Enter clicks it, as Space does, on the press alone: a held key must not
      // repeat a write to the unit, and the release of an Enter that answered a message box is
      // no click. In the report pane Enter starts a new line.
      if (message != WM_KEYDOWN || !IsButtonOf(form_, control)) return false;
      if (!repeat) SendMessageW(control, BM_CLICK, 0, 0);
      return true;
  }
  return false;
}

void FormKeys::OnActivate(bool active) {
  if (!active) {
    if (TabIndexOf(form_, GetFocus()) >= 0) focused_ = GetFocus();
    return;
  }
  // The first time, and when that control can no longer take it, the focus goes to the first
  // control of the tab order.
  HWND control = focused_;
  if (TabIndexOf(form_, control) < 0 || !CanTakeFocus(control)) {
    control = NextInTabOrder(nullptr, false);
  }
  if (control != nullptr) SetFocus(control);
}

// The next control in kControls' order that can take the focus, wrapping around; from a window
// outside that order, the first (or, backwards, the last) one.
HWND FormKeys::NextInTabOrder(HWND from, bool backwards) const {
  const int count = static_cast<int>(std::size(kControls));
  int index = TabIndexOf(form_, from);
  if (index < 0) index = backwards ? 0 : count - 1;
  for (int step = 0; step < count; ++step) {
    index = (index + (backwards ? count - 1 : 1)) % count;
    HWND control = GetDlgItem(form_, kControls[index].id);
    if (CanTakeFocus(control)) return control;
  }
  return nullptr;
}

}  // namespace velmaris

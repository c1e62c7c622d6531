#pragma once

#include <windows.h>

namespace velmaris {

// The form's keys and focus, as a form takes them on its own controls: Tab and Shift+Tab walk
// the tab order of kControls, skipping controls that are hidden or disabled; Enter on a button
// clicks it, once per press; Esc means nothing, since there is no cancel button; and the focus goes
// back where it was when the window is active again.
//
// The window is a form, not a dialog, so IsDialogMessage is not used: it would select a text
// box's whole text when Tab enters it, leave Tab to the multi-line report pane, send Enter to a
// default button the window does not have, and put the pane in the dialog mode in which Esc
// closes the window. The keys are taken in the controls' own procedures, so they hold in every
// message loop that dispatches them: a component's wait loop and a message box's included.
class FormKeys {
 public:
  explicit FormKeys(HWND form) : form_(form) {}

  // A key message on one of the form's controls; true when it is the form's and was handled.
  // `repeat`: the key was already down (the keyboard repeating a held key).
  bool OnKey(HWND control, UINT message, WPARAM key, bool repeat) const;
  // The window became active, or was left for another.
  void OnActivate(bool active);

  // Whether a control is shown and enabled, as one that can take the focus or a click.
  static bool CanTakeFocus(HWND control);

 private:
  HWND NextInTabOrder(HWND from, bool backwards) const;

  HWND form_;
  HWND focused_ = nullptr;  // the control that had the focus when the window was left
};

}  // namespace velmaris

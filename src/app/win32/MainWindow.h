#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "app/FormView.h"
#include "common/win32/Scoped.h"
#include "common/win32/ScreenDpi.h"

namespace velmaris {
class frmQel;
}

namespace velmaris {

// The Win32 window frmQel: its controls, Timer1 and the clipboard, offered to the event handlers
// through FormView. It turns the window's messages into the attached frmQel's events, which decides
// when each runs, and never lets a failure cross a window procedure. It behaves as a form, not a
// dialog: its own controls take Tab, Enter and Esc as a form's do, in whatever message loop
// dispatches the keys, and it keeps the focus on its controls.
class MainWindow : public FormView {
  // Only Create can make one: the key is private.
  struct Key {
    explicit Key() = default;
  };

 public:
  MainWindow(Key, HINSTANCE instance, ScreenDpi dpi);
  // Creates the window with all its controls, hidden, sized for the display's DPI. Throws Failure
  // when it cannot.
  static std::unique_ptr<MainWindow> Create(HINSTANCE instance, ScreenDpi dpi);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  HWND handle() const { return hwnd_; }

  // Routes the window's events to the form from now on.
  void Attach(frmQel& form) { form_ = &form; }
  // `step` runs when the window unloads, while the window and its controls still exist: the
  // hosted control is deactivated, closed and released there, as a form unloads its controls.
  void OnUnload(std::function<void()> step) { unloadStep_ = std::move(step); }
  // Runs the form's load event.
  void Load();
  // Runs the message loop until the window is gone.
  int RunMessageLoop();

  // FormView
  std::string ReportText() override;
  void SetReportText(const std::string& text) override;
  std::string StatusText() override;
  void SetStatusText(const std::string& text) override;
  void SetStatusColour(uint32_t colour) override;
  void ShowButton(MaintenanceButton button) override;
  bool CanBeClicked(FormEvent click) override;
  void EnableTimer(bool enabled) override;
  void PutOnClipboard(const std::string& text) override;
  void ShowInformation(const std::string& text, const std::string& title) override;
  // Stops the timer, runs the unload step and destroys the window, in that order.
  void Unload() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR, DWORD_PTR window);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void OnTimer(UINT_PTR timer);
  void OnCommand(WPARAM wParam, LPARAM lParam);
  // The status box's text in its scan colour, on the button face; nothing for other controls.
  HBRUSH OnCtlColor(HDC dc, HWND control);
  void OnActivate(WPARAM state);
  void OnDestroy();
  void Raise(FormEvent event);
  // Tab, Enter and Esc as a form takes them, on one of its controls; false for every other key.
  bool HandleFormKey(HWND control, UINT message, WPARAM key);
  HWND NextInTabOrder(HWND from, bool backwards) const;
  void RestoreFocus();
  HWND Control(int id) const { return GetDlgItem(hwnd_, id); }

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  ScreenDpi dpi_;
  UniqueFont statusFont_;
  COLORREF statusColour_;
  frmQel* form_ = nullptr;
  std::function<void()> unloadStep_;
  HWND focusedControl_ = nullptr;  // the control that had the focus when the window was left
};

}  // namespace velmaris

#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "app/FormView.h"
#include "app/win32/FormKeys.h"
#include "common/win32/Scoped.h"
#include "common/win32/ScreenDpi.h"
#include "platform/win32/PortCheckWorkers.h"

namespace velmaris {
class frmQel;
}

namespace velmaris {

// The Win32 window frmQel: its controls, Timer1 and the clipboard, offered to the event handlers
// through FormView. It turns the window's messages into the attached frmQel's events, which decides
// when each runs, and never lets a failure cross a window procedure. It behaves as a form, not a
// dialog: its own controls take Tab, Enter and Esc as a form's do (FormKeys), and it keeps the
// focus on its controls.
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
  // The check of the serial ports after a scan without a unit, told through this window.
  PortCheck& portCheck() { return *portCheck_; }

  // `step` runs when the window unloads, while the window and its controls still exist: the
  // hosted control is deactivated, closed and released there, as a form unloads its controls.
  void OnUnload(std::function<void()> step) { unloadStep_ = std::move(step); }
  // Runs the form's load event, then the event that follows it.
  void Load();
  // Runs the message loop until a quit message comes: the window's own, once it is gone, or one
  // from elsewhere.
  void RunMessageLoop();

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
  friend class FormAttachment;
  void Attach(frmQel& form) { form_ = &form; }
  void Detach();

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR, DWORD_PTR window);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void OnTimer(UINT_PTR timer);
  void OnPortCheckMessage(WPARAM wParam, LPARAM lParam);
  void OnCommand(int id, HWND control, UINT code);
  // The status box's text in its scan colour, on the button face; nothing for other controls.
  HBRUSH OnCtlColor(HDC dc, HWND control);
  void OnDestroy();
  void OnNcDestroy();
  // A handler that failed: its failure is shown as an event's, once no message box can disturb
  // the message it failed in.
  void OnFailure(UINT message, std::exception_ptr failure);
  void ShowPendingFailure();
  void Raise(FormEvent event);
  HWND Control(int id) const { return GetDlgItem(hwnd_, id); }

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  ScreenDpi dpi_;
  UniqueFont statusFont_;
  COLORREF statusColour_;
  frmQel* form_ = nullptr;
  std::function<void()> unloadStep_;
  FormKeys keys_{nullptr};
  std::exception_ptr pendingFailure_;
  std::unique_ptr<PortCheckWorkers> portCheck_;
};

// Hands the window's messages to the form while it lives. However it ends (the message loop over,
// by the window's own unload or by a quit message from elsewhere, or a start that failed), the
// window unloads, if it has not, in a form's order before the form goes: the form gets no more
// messages and runs no more events, Timer1 stops, the hosted control is deactivated and closed,
// and the window goes.
class FormAttachment {
 public:
  FormAttachment(MainWindow& window, frmQel& form) : window_(window) { window.Attach(form); }
  ~FormAttachment() { window_.Detach(); }
  FormAttachment(const FormAttachment&) = delete;
  FormAttachment& operator=(const FormAttachment&) = delete;

 private:
  MainWindow& window_;
};

}  // namespace velmaris

#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/FormView.h"

namespace velmaris {
class frmQel;
}

namespace velmaris {

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;

// The Win32 window frmQel: its controls, Timer1 and the clipboard, offered to the event handlers
// through FormView. It forwards each event to the attached frmQel and never lets a failure cross
// the window procedure.
class MainWindow : public FormView {
  // Only Create can make one: the key is private.
  struct Key {
    explicit Key() = default;
  };

 public:
  MainWindow(Key, HINSTANCE instance);
  // Creates the window with all its controls, hidden. Throws Failure when it cannot.
  static std::unique_ptr<MainWindow> Create(HINSTANCE instance);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  HWND handle() const { return hwnd_; }
  int dpiX() const { return dpiX_; }
  int dpiY() const { return dpiY_; }
  // Pixel rectangle of the acquisition control below the client area.
  RECT AcquisitionControlPlace() const;

  // Routes the window's events to the form from now on.
  void Attach(frmQel& form) { form_ = &form; }
  // Runs the message loop with dialog navigation until the window is gone.
  int RunMessageLoop();

  // FormView
  std::string ReportText() override;
  void SetReportText(const std::string& text) override;
  std::string StatusText() override;
  void SetStatusText(const std::string& text) override;
  void SetStatusColour(uint32_t colour) override;
  void ShowButton(MaintenanceButton button) override;
  void EnableTimer(bool enabled) override;
  void PutOnClipboard(const std::string& text) override;
  void ShowInformation(const std::string& text, const std::string& title) override;
  void Unload() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void OnCommand(int id);
  HWND Control(int id) const { return GetDlgItem(hwnd_, id); }
  int ToPixelsX(int twips) const { return MulDiv(twips, dpiX_, 1440); }
  int ToPixelsY(int twips) const { return MulDiv(twips, dpiY_, 1440); }

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  int dpiX_ = 96;
  int dpiY_ = 96;
  UniqueFont statusFont_;
  COLORREF statusColour_;
  frmQel* form_ = nullptr;
};

}  // namespace velmaris

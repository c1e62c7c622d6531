#include "app/win32/MainWindow.h"

#include <commctrl.h>

#include <exception>
#include <iterator>

#include "app/frmQel.h"
#include "app/win32/Clipboard.h"
#include "app/win32/FormControls.h"
#include "app/win32/FormDescription.h"
#include "app/win32/ModalMessage.h"
#include "app/win32/ScrollBarFit.h"
#include "common/Failure.h"
#include "common/ProgramIdentity.h"
#include "common/win32/Utf16.h"
#include "common/win32/WindowText.h"

namespace velmaris {

namespace {

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;

std::wstring LastErrorText(const wchar_t* what) {
  return std::wstring(what) + L" (" + std::to_wstring(GetLastError()) + L")";
}

bool CanTakeFocus(HWND control) {
  const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  return (style & WS_VISIBLE) != 0 && (style & WS_DISABLED) == 0;
}

// The place of one of the window's own controls in kControls, or -1 for any other window (the
// acquisition control's among them, which so never takes the focus by the keyboard).
int TabIndexOf(HWND window, HWND control) {
  if (control == nullptr) return -1;
  for (size_t i = 0; i < std::size(kControls); ++i) {
    if (GetDlgItem(window, kControls[i].id) == control) return static_cast<int>(i);
  }
  return -1;
}

bool IsButtonOf(HWND window, HWND control) {
  const int index = TabIndexOf(window, control);
  return index >= 0 && lstrcmpW(kControls[index].windowClass, L"BUTTON") == 0;
}

}  // namespace

MainWindow::MainWindow(Key, HINSTANCE instance, ScreenDpi dpi)
    : instance_(instance), dpi_(dpi), statusColour_(GetSysColor(COLOR_WINDOWTEXT)) {}

MainWindow::~MainWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

std::unique_ptr<MainWindow> MainWindow::Create(HINSTANCE instance, ScreenDpi dpi) {
  auto window = std::make_unique<MainWindow>(Key{}, instance, dpi);

  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &MainWindow::WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconId));
  windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconId),
                                                      IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                      GetSystemMetrics(SM_CYSMICON), 0));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    FailInTool(Narrow(LastErrorText(L"No se pudo registrar la clase de la ventana")));
  }

  RECT frame = ToPixels({0, 0, kClientWidthTwips, kClientHeightTwips}, dpi);
  AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
  HWND hwnd = CreateWindowExW(kFormExStyle, kWindowClass, Widen(kWindowCaption).c_str(), kFormStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                              frame.bottom - frame.top, nullptr, nullptr, instance, window.get());
  if (hwnd == nullptr) {
    FailInTool(Narrow(LastErrorText(L"No se pudo crear la ventana")));
  }
  window->CreateControls();
  return window;
}

void MainWindow::CreateControls() {
  statusFont_ = CreateStatusFont(dpi_);
  for (const ControlDescription& control : kControls) {
    HWND child = CreateFormControl(hwnd_, instance_, control, dpi_, statusFont_.get());
    if (child == nullptr) FailInTool(Narrow(LastErrorText(L"No se pudo crear un control")));
    // The form's keys live in its controls' own procedures, so they hold in every message loop
    // that dispatches them: a component's wait loop and a message box's included.
    if (!SetWindowSubclass(child, &MainWindow::ControlProc, 0, reinterpret_cast<DWORD_PTR>(this))) {
      FailInTool("No se pudo preparar el teclado de un control");
    }
  }
  // An edit box holds 32K characters unless told otherwise; the report must never be cut.
  SendMessageW(Control(kTxtInfo), EM_SETLIMITTEXT, 0, 0);
  // The pane is made with its scroll bar, which an empty report does not need.
  FitVerticalScrollBar(Control(kTxtInfo));
}

void MainWindow::Load() { Raise(FormEvent::Form_Load); }

int MainWindow::RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

LRESULT CALLBACK MainWindow::ControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR window) {
  if (message == WM_NCDESTROY) RemoveWindowSubclass(control, &MainWindow::ControlProc, 0);
  if (reinterpret_cast<MainWindow*>(window)->HandleFormKey(control, message, wParam)) return 0;
  return DefSubclassProc(control, message, wParam, lParam);
}

// The window is a form, not a dialog, so IsDialogMessage is not used: it would select a text
// box's whole text when Tab enters it, leave Tab to the multi-line report pane, send Enter to a
// default button the window does not have, and put the pane in the dialog mode in which Esc
// closes the window. The form's own rules are these few. A key reaches a control only when no
// menu or move loop has it, and a message box's keys reach the box's own windows, never these.
bool MainWindow::HandleFormKey(HWND control, UINT message, WPARAM key) {
  if (message != WM_KEYDOWN && message != WM_KEYUP && message != WM_CHAR) return false;
  switch (key) {
    case VK_ESCAPE:
      return true;  // There is no cancel button: Esc means nothing, in the report pane too.
    case VK_TAB:
      // The character that the key down leaves behind would write a tab into the report.
      if (message != WM_KEYDOWN) return message == WM_CHAR;
      if (HWND next = NextInTabOrder(control, GetKeyState(VK_SHIFT) < 0)) SetFocus(next);
      return true;
    case VK_RETURN:
      // On a button Enter clicks it, as Space does; in the report pane it starts a new line.
      if (message != WM_KEYDOWN || !IsButtonOf(hwnd_, control)) return false;
      SendMessageW(control, BM_CLICK, 0, 0);
      return true;
  }
  return false;
}

// The next control in kControls' order that can take the focus, wrapping around; from a window
// outside that order, the first (or, backwards, the last) one.
HWND MainWindow::NextInTabOrder(HWND from, bool backwards) const {
  const int count = static_cast<int>(std::size(kControls));
  int index = TabIndexOf(hwnd_, from);
  if (index < 0) index = backwards ? 0 : count - 1;
  for (int step = 0; step < count; ++step) {
    index = (index + (backwards ? count - 1 : 1)) % count;
    HWND control = Control(kControls[index].id);
    if (CanTakeFocus(control)) return control;
  }
  return nullptr;
}

// Gives the focus back to the control that had it when the window was left, or, the first time
// and when that control can no longer take it, to the first control of the tab order.
void MainWindow::RestoreFocus() {
  HWND control = focusedControl_;
  if (TabIndexOf(hwnd_, control) < 0 || !CanTakeFocus(control)) {
    control = NextInTabOrder(nullptr, false);
  }
  if (control != nullptr) SetFocus(control);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* window =
        static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    window->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  }
  auto* window = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (window == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  // Nothing may unwind into user32: the i686 runtime would end the process.
  try {
    return window->Handle(message, wParam, lParam);
  } catch (...) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_COMMAND:
      OnCommand(wParam, lParam);
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
      if (HBRUSH brush =
              OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam))) {
        return reinterpret_cast<LRESULT>(brush);
      }
      break;
    case WM_ACTIVATE:
      OnActivate(wParam);
      return 0;
    case WM_CLOSE:
      Raise(FormEvent::CloseRequest);
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void MainWindow::OnTimer(UINT_PTR timer) {
  if (timer == kTimer1) Raise(FormEvent::Timer1_Timer);
}

void MainWindow::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (lParam == 0) return;
  if (HIWORD(wParam) == BN_CLICKED) {
    for (const ButtonClick& button : kButtonClicks) {
      if (button.id == LOWORD(wParam)) Raise(button.click);
    }
  } else if (HIWORD(wParam) == EN_CHANGE && LOWORD(wParam) == kTxtInfo) {
    // What the user types into the report can make it taller or shorter than the pane.
    FitVerticalScrollBar(Control(kTxtInfo));
  }
}

HBRUSH MainWindow::OnCtlColor(HDC dc, HWND control) {
  if (control != Control(kTxtEstado)) return nullptr;
  SetTextColor(dc, statusColour_);
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return GetSysColorBrush(COLOR_BTNFACE);
}

// The focus goes back where it was when the window is active again.
void MainWindow::OnActivate(WPARAM state) {
  if (LOWORD(state) != WA_INACTIVE) {
    RestoreFocus();
  } else if (TabIndexOf(hwnd_, GetFocus()) >= 0) {
    focusedControl_ = GetFocus();
  }
}

// The program ends with its only window.
void MainWindow::OnDestroy() {
  KillTimer(hwnd_, kTimer1);
  PostQuitMessage(0);
}

void MainWindow::Raise(FormEvent event) {
  if (form_ != nullptr) form_->Raise(event);
}

std::string MainWindow::ReportText() { return Narrow(WindowText(Control(kTxtInfo))); }

void MainWindow::SetReportText(const std::string& text) {
  if (!SetWindowTextW(Control(kTxtInfo), Widen(text).c_str())) {
    FailInTool("No se pudo escribir el informe");
  }
  // A multi-line edit box gives no notice of a text set this way.
  FitVerticalScrollBar(Control(kTxtInfo));
}

std::string MainWindow::StatusText() { return Narrow(WindowText(Control(kTxtEstado))); }

void MainWindow::SetStatusText(const std::string& text) {
  if (!SetWindowTextW(Control(kTxtEstado), Widen(text).c_str())) {
    FailInTool("No se pudo escribir el estado");
  }
}

void MainWindow::SetStatusColour(uint32_t colour) {
  statusColour_ = colour;
  InvalidateRect(Control(kTxtEstado), nullptr, TRUE);
}

void MainWindow::ShowButton(MaintenanceButton button) {
  ShowWindow(Control(button == MaintenanceButton::Reset ? kCmdReset : kCmdDetect), SW_SHOW);
}

bool MainWindow::CanBeClicked(FormEvent click) {
  for (const ButtonClick& button : kButtonClicks) {
    if (button.click == click) return CanTakeFocus(Control(button.id));
  }
  return false;
}

void MainWindow::EnableTimer(bool enabled) {
  if (!enabled) {
    KillTimer(hwnd_, kTimer1);
  } else if (SetTimer(hwnd_, kTimer1, kTimer1IntervalMs, nullptr) == 0) {
    FailInTool("No se pudo iniciar el temporizador");
  }
}

void MainWindow::PutOnClipboard(const std::string& text) { PutTextOnClipboard(hwnd_, Widen(text)); }

void MainWindow::ShowInformation(const std::string& text, const std::string& title) {
  ShowModalMessage(hwnd_, Widen(text), Widen(title), MB_OK | MB_ICONINFORMATION);
}

void MainWindow::Unload() {
  if (hwnd_ == nullptr) return;
  KillTimer(hwnd_, kTimer1);
  std::function<void()> step;
  step.swap(unloadStep_);
  if (step) step();
  DestroyWindow(hwnd_);
}

}  // namespace velmaris

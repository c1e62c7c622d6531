#include "app/win32/MainWindow.h"

#include <commctrl.h>

#include <exception>
#include <utility>

#include "app/frmQel.h"
#include "app/win32/Clipboard.h"
#include "app/win32/FormControls.h"
#include "app/win32/FormDescription.h"
#include "app/win32/ModalMessage.h"
#include "app/win32/ScrollBarFit.h"
#include "common/Failure.h"
#include "common/ProgramIdentity.h"
#include "common/win32/LastError.h"
#include "common/win32/Utf16.h"
#include "common/win32/WindowText.h"

namespace velmaris {

namespace {

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;

// Posted messages of the window's own: show the failure a handler left behind; a worker of the
// port check has done its step.
constexpr UINT kShowFailureMessage = WM_APP;
constexpr UINT kPortCheckMessage = WM_APP + 1;
// The port check's clock, beside Timer1.
constexpr UINT_PTR kPortCheckTimer = kTimer1 + 1;
// Bit 30 of a key message's lParam: the key was already down.
constexpr LPARAM kKeyWasDown = LPARAM{1} << 30;

// Messages in which no message box may come up: a box would paint and take the focus in the
// middle of painting or of a focus change.
bool AllowsNoMessageBox(UINT message) {
  switch (message) {
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_ACTIVATE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      return true;
  }
  return false;
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
    FailInTool(WithLastError("No se pudo registrar la clase de la ventana"));
  }

  RECT frame = ToPixels({0, 0, kClientWidthTwips, kClientHeightTwips}, dpi);
  AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
  HWND hwnd = CreateWindowExW(kFormExStyle, kWindowClass, Widen(kWindowCaption).c_str(), kFormStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                              frame.bottom - frame.top, nullptr, nullptr, instance, window.get());
  if (hwnd == nullptr) {
    FailInTool(WithLastError("No se pudo crear la ventana"));
  }
  window->CreateControls();
  window->portCheck_ = std::make_unique<PortCheckWorkers>(hwnd, kPortCheckMessage, kPortCheckTimer);
  return window;
}

void MainWindow::CreateControls() {
  statusFont_ = CreateStatusFont(dpi_);
  for (const ControlDescription& control : kControls) {
    HWND child = CreateFormControl(hwnd_, instance_, control, dpi_, statusFont_.get());
    if (child == nullptr) FailInTool(WithLastError("No se pudo crear un control"));
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

void MainWindow::Load() {
  Raise(FormEvent::Form_Load);
  Raise(FormEvent::Form_Loaded);
}

void MainWindow::RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

LRESULT CALLBACK MainWindow::ControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR data) {
  auto* window = reinterpret_cast<MainWindow*>(data);
  if (message == WM_NCDESTROY) RemoveWindowSubclass(control, &MainWindow::ControlProc, 0);
  try {
    if (window->keys_.OnKey(control, message, wParam, (lParam & kKeyWasDown) != 0)) return 0;
  } catch (...) {
    window->OnFailure(message, std::current_exception());
    return 0;
  }
  return DefSubclassProc(control, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* window =
        static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    window->hwnd_ = hwnd;
    window->keys_ = FormKeys(hwnd);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  }
  auto* window = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (window == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  // Nothing may unwind into user32: the i686 runtime would end the process. A message whose
  // handler failed is answered as handled: passed on, a close request would destroy the window at
  // once, maybe in the middle of a component call.
  try {
    return window->Handle(message, wParam, lParam);
  } catch (...) {
    window->OnFailure(message, std::current_exception());
    return 0;
  }
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), reinterpret_cast<HWND>(lParam), HIWORD(wParam));
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
      if (HBRUSH brush =
              OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam))) {
        return reinterpret_cast<LRESULT>(brush);
      }
      break;
    case WM_ACTIVATE:
      keys_.OnActivate(LOWORD(wParam) != WA_INACTIVE);
      return 0;
    case WM_CLOSE:
      Raise(FormEvent::CloseRequest);
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_NCDESTROY:
      OnNcDestroy();
      return 0;
    case kShowFailureMessage:
      ShowPendingFailure();
      return 0;
    case kPortCheckMessage:
      OnPortCheckMessage(wParam, lParam);
      return 0;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void MainWindow::OnTimer(UINT_PTR timer) {
  if (timer == kTimer1) {
    Raise(FormEvent::Timer1_Timer);
  } else if (portCheck_->OnTimer(timer)) {
    Raise(FormEvent::PortCheck_Done);
  }
}

void MainWindow::OnPortCheckMessage(WPARAM wParam, LPARAM lParam) {
  if (portCheck_->OnMessage(kPortCheckMessage, wParam, lParam)) Raise(FormEvent::PortCheck_Done);
}

void MainWindow::OnCommand(int id, HWND control, UINT code) {
  if (control == nullptr) return;
  if (code == BN_CLICKED) {
    for (const ButtonClick& button : kButtonClicks) {
      if (button.id == id) Raise(button.click);
    }
  } else if (code == EN_CHANGE && id == kTxtInfo) {
    // What the user types into the report can make it taller or shorter than the pane.
    FitVerticalScrollBar(control);
  }
}

HBRUSH MainWindow::OnCtlColor(HDC dc, HWND control) {
  if (control != Control(kTxtEstado)) return nullptr;
  SetTextColor(dc, statusColour_);
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return GetSysColorBrush(COLOR_BTNFACE);
}

// The program ends with its only window.
void MainWindow::OnDestroy() {
  KillTimer(hwnd_, kTimer1);
  PostQuitMessage(0);
}

// The default clean-up still needs the window's handle, which the object lets go of here.
void MainWindow::OnNcDestroy() {
  HWND hwnd = std::exchange(hwnd_, nullptr);
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  DefWindowProcW(hwnd, WM_NCDESTROY, 0, 0);
}

void MainWindow::OnFailure(UINT message, std::exception_ptr failure) {
  if (form_ == nullptr) return;
  if (!AllowsNoMessageBox(message)) return form_->ShowWindowFailure(failure);
  // Shown once the message is over; a failure already waiting is the one told.
  if (!pendingFailure_ && PostMessageW(hwnd_, kShowFailureMessage, 0, 0)) pendingFailure_ = failure;
}

void MainWindow::ShowPendingFailure() {
  std::exception_ptr failure = std::exchange(pendingFailure_, nullptr);
  if (failure && form_ != nullptr) form_->ShowWindowFailure(failure);
}

void MainWindow::Raise(FormEvent event) {
  if (form_ != nullptr) form_->Raise(event);
}

std::string MainWindow::ReportText() { return Narrow(WindowText(Control(kTxtInfo))); }

void MainWindow::SetReportText(const std::string& text) {
  const RedrawHeld held(Control(kTxtInfo));
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
    if (button.click == click) return FormKeys::CanTakeFocus(Control(button.id));
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

void MainWindow::Detach() {
  if (frmQel* form = std::exchange(form_, nullptr)) form->Shut();
  Unload();
}

}  // namespace velmaris

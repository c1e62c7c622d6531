#include "app/win32/MainWindow.h"

#include <exception>

#include "app/WindowCaption.h"
#include "app/frmQel.h"
#include "app/win32/Clipboard.h"
#include "app/win32/FormDescription.h"
#include "common/Failure.h"
#include "platform/win32/Utf16.h"

namespace velmaris {

namespace {

const wchar_t* const kWindowClass = L"VelmarisDiag.frmQel";
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;

std::wstring LastErrorText(const wchar_t* what) {
  return std::wstring(what) + L" (" + std::to_wstring(GetLastError()) + L")";
}

std::wstring WindowText(HWND control) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(control, &text[0], static_cast<int>(text.size()))));
  return text;
}

bool IsEscapeKey(const MSG& message) {
  return (message.message == WM_KEYDOWN || message.message == WM_KEYUP ||
          message.message == WM_CHAR) &&
         message.wParam == VK_ESCAPE;
}

}  // namespace

MainWindow::MainWindow(Key, HINSTANCE instance)
    : instance_(instance), statusColour_(GetSysColor(COLOR_WINDOWTEXT)) {}

MainWindow::~MainWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

std::unique_ptr<MainWindow> MainWindow::Create(HINSTANCE instance) {
  auto window = std::make_unique<MainWindow>(Key{}, instance);

  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &MainWindow::WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXSMICON),
                                                      GetSystemMetrics(SM_CYSMICON), 0));
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    FailInTool(Narrow(LastErrorText(L"No se pudo registrar la clase de la ventana")));
  }

  HDC screen = GetDC(nullptr);
  window->dpiX_ = GetDeviceCaps(screen, LOGPIXELSX);
  window->dpiY_ = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);

  RECT frame = {0, 0, window->ToPixelsX(kClientWidthTwips), window->ToPixelsY(kClientHeightTwips)};
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
  LOGFONTW logFont = {};
  logFont.lfHeight = -MulDiv(kStatusFontHundredthsOfPoint, dpiY_, 72 * 100);
  logFont.lfWeight = FW_BOLD;
  logFont.lfCharSet = ANSI_CHARSET;
  lstrcpynW(logFont.lfFaceName, kStatusFontFace, LF_FACESIZE);
  statusFont_.reset(CreateFontIndirectW(&logFont));
  const auto dialogFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));

  for (const ControlDescription& control : kControls) {
    HWND child = CreateWindowExW(
        control.id == kTxtEstado || control.id == kTxtInfo ? WS_EX_CLIENTEDGE : 0,
        control.windowClass, control.caption, control.style, ToPixelsX(control.left),
        ToPixelsY(control.top), ToPixelsX(control.width), ToPixelsY(control.height), hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance_, nullptr);
    if (child == nullptr) FailInTool(Narrow(LastErrorText(L"No se pudo crear un control")));
    SendMessageW(
        child, WM_SETFONT,
        reinterpret_cast<WPARAM>(control.id == kTxtEstado ? statusFont_.get() : dialogFont), FALSE);
  }
  // An edit box holds 32K characters unless told otherwise; the report must never be cut.
  SendMessageW(Control(kTxtInfo), EM_SETLIMITTEXT, 0, 0);
}

RECT MainWindow::AcquisitionControlPlace() const {
  const int left = ToPixelsX(kControlLeftTwips);
  const int top = ToPixelsY(kControlTopTwips);
  return RECT{left, top, left + ToPixelsX(kControlSizeTwips), top + ToPixelsY(kControlSizeTwips)};
}

int MainWindow::RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Under dialog navigation a multi-line edit box closes its parent on Esc. This window has no
    // cancel button, so Esc in the report pane means nothing and must not lose the report.
    if (message.hwnd == Control(kTxtInfo) && IsEscapeKey(message)) continue;
    if (hwnd_ != nullptr && IsDialogMessageW(hwnd_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
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
      if (wParam == kTimer1 && form_ != nullptr) form_->RunEvent(&frmQel::Timer1_Timer);
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && lParam != 0) OnCommand(LOWORD(wParam));
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
      if (reinterpret_cast<HWND>(lParam) == Control(kTxtEstado)) {
        const auto dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, statusColour_);
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_DESTROY:
      KillTimer(hwnd_, kTimer1);
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void MainWindow::OnCommand(int id) {
  if (form_ == nullptr) return;
  switch (id) {
    case kCmdReset:
      form_->RunEvent(&frmQel::cmdReset_Click);
      break;
    case kCmdDetect:
      form_->RunEvent(&frmQel::cmdDetect_Click);
      break;
    case kCmdCopy:
      form_->RunEvent(&frmQel::cmdCopy_Click);
      break;
    case kCmdExit:
      form_->RunEvent(&frmQel::cmdExit_Click);
      break;
  }
}

std::string MainWindow::ReportText() { return Narrow(WindowText(Control(kTxtInfo))); }

void MainWindow::SetReportText(const std::string& text) {
  if (!SetWindowTextW(Control(kTxtInfo), Widen(text).c_str())) {
    FailInTool("No se pudo escribir el informe");
  }
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

void MainWindow::EnableTimer(bool enabled) {
  if (!enabled) {
    KillTimer(hwnd_, kTimer1);
  } else if (SetTimer(hwnd_, kTimer1, kTimer1IntervalMs, nullptr) == 0) {
    FailInTool("No se pudo iniciar el temporizador");
  }
}

void MainWindow::PutOnClipboard(const std::string& text) { PutTextOnClipboard(hwnd_, Widen(text)); }

void MainWindow::ShowInformation(const std::string& text, const std::string& title) {
  MessageBoxW(hwnd_, Widen(text).c_str(), Widen(title).c_str(), MB_OK | MB_ICONINFORMATION);
}

void MainWindow::Unload() { DestroyWindow(hwnd_); }

}  // namespace velmaris

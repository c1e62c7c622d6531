// The yardsticks of the benchmark, built like VelmarisDiag.exe (static, Unicode): the least a
// Win32 program with a window does; built with BENCH_WITH_COMPONENT, the same window that also
// starts OLE and creates and activates the acquisition component in it, as the program must
// before its window shows; and with BENCH_WITH_FORM as well, and the program's manifest, the one
// that also initialises the common controls that manifest asks for and creates the form's
// controls with their fonts, as the program does. Each shows its window and waits to be closed.
#include <windows.h>
// windows.h first: the others rely on its types.
#ifdef BENCH_WITH_COMPONENT
#include <commctrl.h>

#include <memory>

#include "app/win32/FormControls.h"
#include "app/win32/FormDescription.h"
#include "common/win32/Scoped.h"
#include "common/win32/ScreenDpi.h"
#include "link/win32/ActiveXHost.h"
#endif

namespace {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
#ifdef BENCH_WITH_COMPONENT
  velmaris::OleSession ole;
  const velmaris::ScreenDpi dpi = velmaris::ReadScreenDpi();
#endif
#ifdef BENCH_WITH_FORM
  INITCOMMONCONTROLSEX commonControls = {sizeof commonControls, velmaris::kCommonControlClasses};
  InitCommonControlsEx(&commonControls);
#endif
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = &WindowProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"BareWindow";
  RegisterClassW(&windowClass);
  HWND hwnd = CreateWindowExW(0, L"BareWindow", L"BareWindow", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 480, 460, nullptr, nullptr, instance, nullptr);
#ifdef BENCH_WITH_FORM
  // Every control of the form's table, in its place and with its font.
  const velmaris::UniqueFont statusFont = velmaris::CreateStatusFont(dpi);
  for (const velmaris::ControlDescription& control : velmaris::kControls) {
    velmaris::CreateFormControl(hwnd, instance, control, dpi, statusFont.get());
  }
#endif
#ifdef BENCH_WITH_COMPONENT
  // The control where the program places it. Its site answers the ambient properties as the
  // program's does, so the component works.
  const velmaris::ContainerAmbience ambience{velmaris::kAcquisitionControlName,
                                             velmaris::FormFont(), velmaris::kFormForeColor,
                                             velmaris::kFormBackColor, dpi};
  const std::unique_ptr<velmaris::ActiveXHost> component =
      velmaris::ActiveXHost::Create(hwnd, velmaris::kAcquisitionControlPlace, ambience);
#endif
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

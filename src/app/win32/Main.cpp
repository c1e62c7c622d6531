// Program start: the window frmQel is the start-up object. It is created with its controls,
// the acquisition control among them, runs its load event, and is then shown until it closes.
#include <windows.h>
// windows.h first: the others rely on its types.
#include <commctrl.h>

#include <cstdlib>
#include <exception>
#include <memory>

#include "app/frmQel.h"
#include "app/win32/FormControls.h"
#include "app/win32/FormDescription.h"
#include "app/win32/MainWindow.h"
#include "app/win32/ModalMessage.h"
#include "common/Failure.h"
#include "common/win32/Scoped.h"
#include "common/win32/ScreenDpi.h"
#include "common/win32/Utf16.h"
#include "link/UnavailableControl.h"
#include "link/win32/ActiveXHost.h"
#include "link/win32/DispatchControl.h"
#include "link/win32/WindowsComponentLookup.h"
#include "platform/win32/OSVersionQuery.h"
#include "platform/win32/PortCheckWorkers.h"
#include "platform/win32/WindowsDevicesReading.h"

namespace {

using velmaris::AcquisitionControl;
using velmaris::Failure;
using velmaris::OleSession;

// QelCtrlMain1: the hosted component, or, when it cannot be created, a stand-in whose calls fail
// with the reason, so the load event reports it like any other component failure.
struct HostedControl {
  std::unique_ptr<velmaris::ActiveXHost> host;
  std::unique_ptr<AcquisitionControl> control;
};

HostedControl HostAcquisitionControl(const velmaris::MainWindow& window, velmaris::ScreenDpi dpi) {
  try {
    const velmaris::ContainerAmbience ambience{velmaris::kAcquisitionControlName,
                                               velmaris::FormFont(), velmaris::kFormForeColor,
                                               velmaris::kFormBackColor, dpi};
    auto host = velmaris::ActiveXHost::Create(window.handle(), velmaris::kAcquisitionControlPlace,
                                              ambience);
    auto control = std::make_unique<velmaris::DispatchControl>(host->dispatch());
    return {std::move(host), std::move(control)};
  } catch (const velmaris::ComponentFault& fault) {
    return {nullptr, std::make_unique<velmaris::UnavailableControl>(fault)};
  } catch (const Failure& failure) {
    return {nullptr, std::make_unique<velmaris::UnavailableControl>(
                         velmaris::ComponentFault(failure.source(), failure.description(),
                                                  velmaris::ToolFailure(failure.description())))};
  }
}

// A failure that keeps the window from being made or run: nothing is left to show it in, so it
// gets a box of its own.
void ShowFatal(const std::string& text) {
  velmaris::ShowModalMessage(nullptr, velmaris::Widen(text),
                             velmaris::Widen(velmaris::kProgramName), MB_OK | MB_ICONERROR);
}

// The program from its window's creation to its end; its exit code.
int RunProgram(HINSTANCE instance, int show) {
  OleSession ole;
  INITCOMMONCONTROLSEX commonControls = {sizeof commonControls, velmaris::kCommonControlClasses};
  InitCommonControlsEx(&commonControls);
  try {
    const velmaris::ScreenDpi dpi = velmaris::ReadScreenDpi();
    auto window = velmaris::MainWindow::Create(instance, dpi);
    HostedControl QelCtrlMain1 = HostAcquisitionControl(*window, dpi);
    velmaris::WindowsComponentLookup component;
    velmaris::frmQel form(*window, *QelCtrlMain1.control, &velmaris::WindowsVersionLevel,
                          &velmaris::ReadWindowsDevices, window->portCheck(), component);
    // The form no longer reaches the control once it unloads; the host goes first, so the
    // control is deactivated and closed before its last reference is released.
    window->OnUnload([&QelCtrlMain1] {
      QelCtrlMain1.host.reset();
      QelCtrlMain1.control.reset();
    });
    const velmaris::FormAttachment attachment(*window, form);
    window->Load();
    ShowWindow(window->handle(), show);
    UpdateWindow(window->handle());
    // Whoever posted the quit that ends the loop, the program ends as it does by its own close.
    window->RunMessageLoop();
    return 0;
  } catch (const Failure& failure) {
    ShowFatal(failure.source() + ": " + failure.description());
  } catch (const std::exception& failure) {
    ShowFatal(std::string(velmaris::kProgramName) + ": " + failure.what());
  }
  return 1;
}

}  // namespace

// An exception that escapes everything ends the program through std::terminate. libstdc++'s
// default handler would print the exception's type to standard error, which this window program
// does not have, and brings its name demangler and printf along: some 40 KB of the release file.
// This one ends the program the same way without them.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  const int code = RunProgram(instance, show);
  // A worker of the port check may still be inside the device setup API or an open. Ending the
  // process the usual way stops it wherever it stands and then runs every DLL's exit
  // notification, and on Windows XP one of those can wait for ever on a lock the stopped worker
  // held. Everything the program owns is let go by now, so the process ends outright instead.
  if (velmaris::WorkersStillRunning())
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
  return code;
}

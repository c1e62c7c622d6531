// Times what a scan without a unit adds at its end: reading what Windows sees, checking the ports
// the scan tried (the real check, its worker opening them while this thread pumps its window's
// messages, as the program's does), the verdict, and the section's lines.
//   windows_devices_bench <runs>
// Prints "windows-devices ms=<median> min=<min> max=<max> read_ms=<median> check_ms=<median>
// verdict_ms=<median> lines_ms=<median> devices=<n> ports=<n> checked=<n> verdict=<n> lines=<n>",
// the devices being all present ones of the device tree, each phase's figure its own median, and
// the last counts those of the verdict's and the section's lines. Then the same section appended
// to a report pane as the program's event does it, line by line, each append reading the whole
// text back and setting it whole again: "appends n=<lines> read_ms=<median> set_ms=<median>
// fit_ms=<median> fit_once_ms=<median>", fit being the scroll bar's fit after every append, and
// fit_once the one fit at the end that would do instead.
#include <windows.h>
// setupapi.h needs windows.h first.
#include <setupapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/FormWords.h"
#include "app/ReportText.h"
#include "app/win32/FormControls.h"
#include "app/win32/FormDescription.h"
#include "app/win32/ScrollBarFit.h"
#include "common/win32/Scoped.h"
#include "common/win32/ScreenDpi.h"
#include "common/win32/Utf16.h"
#include "common/win32/WindowText.h"
#include "diagnosis/KnownBadDrivers.h"
#include "diagnosis/NotDetectedAdvice.h"
#include "diagnosis/PortsToCheck.h"
#include "diagnosis/Verdict.h"
#include "diagnosis/WindowsDevicesSection.h"
#include "platform/OSVersion.h"
#include "platform/win32/OSVersionQuery.h"
#include "platform/win32/PortCheckWorkers.h"
#include "platform/win32/WindowsDevicesReading.h"

namespace {

// The scan of a usual run tried COM1 to COM21.
constexpr int16_t kFirstPortNotTried = 22;
constexpr UINT kCheckMessage = WM_APP;
constexpr UINT_PTR kCheckTimer = 1;

double Now() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

int PresentDevices() {
  const velmaris::UniqueDeviceList list(
      SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
  if (list.get() == INVALID_HANDLE_VALUE) return -1;
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof device;
  int count = 0;
  while (SetupDiEnumDeviceInfo(list.get(), static_cast<DWORD>(count), &device)) ++count;
  return count;
}

// Runs the check through its window's messages until it is complete.
std::vector<velmaris::PortCheckResult> Check(HWND window, const std::vector<int16_t>& ports) {
  velmaris::PortCheckWorkers check(window, kCheckMessage, kCheckTimer);
  // The reading is timed on its own: the check's worker reads nothing here.
  check.Start([] { return velmaris::WindowsDevices{}; },
              [&ports](const velmaris::WindowsDevices&) { return ports; });
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    const bool complete = message.message == WM_TIMER
                              ? check.OnTimer(message.wParam)
                              : check.OnMessage(message.message, message.wParam, message.lParam);
    if (complete) break;
  }
  return check.Results();
}

double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// The form's report pane, alone in a shown window of the form's size.
struct ReportPane {
  ReportPane() {
    const velmaris::ScreenDpi dpi = velmaris::ReadScreenDpi();
    form = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600,
                           nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    for (const velmaris::ControlDescription& control : velmaris::kControls) {
      if (control.id != velmaris::kTxtInfo) continue;
      pane = velmaris::CreateFormControl(form, GetModuleHandleW(nullptr), control, dpi, nullptr);
    }
    SendMessageW(pane, EM_SETLIMITTEXT, 0, 0);
  }
  ~ReportPane() { DestroyWindow(form); }
  HWND form = nullptr;
  HWND pane = nullptr;
};

struct Appends {
  double readMs = 0;
  double setMs = 0;
  double fitMs = 0;
  double fitOnceMs = 0;
};

// The report as the program has it when the section follows: the load's head, then the advice
// of a scan without a unit on this Windows.
std::string ReportBeforeSection() {
  std::string report = velmaris::kReportTitle;
  std::vector<std::string> lines = {velmaris::kReportRule, velmaris::VersionLine(),
                                    velmaris::kReportRule};
  for (const auto& advice : {velmaris::NotDetectedCauses(),
                             velmaris::WindowsVersionLevel() > velmaris::kCurrentSoftwareLevel
                                 ? velmaris::OldUsbUnitsNote()
                                 : velmaris::DriverInstallNote()}) {
    lines.insert(lines.end(), advice.begin(), advice.end());
  }
  for (const std::string& line : lines) report = velmaris::WithLineAppended(report, line);
  return report;
}

// Appends the lines to that report, as the section's event does.
Appends Append(HWND pane, const std::vector<std::string>& lines) {
  const std::string head = ReportBeforeSection();
  SetWindowTextW(pane, velmaris::Widen(head).c_str());
  velmaris::FitVerticalScrollBar(pane);
  Appends appends;
  for (const std::string& line : lines) {
    const double start = Now();
    const velmaris::RedrawHeld held(pane);
    const std::string text = velmaris::Narrow(velmaris::WindowText(pane));
    const double read = Now();
    SetWindowTextW(pane, velmaris::Widen(velmaris::WithLineAppended(text, line)).c_str());
    const double set = Now();
    velmaris::FitVerticalScrollBar(pane);
    const double fit = Now();
    appends.readMs += read - start;
    appends.setMs += set - read;
    appends.fitMs += fit - set;
  }
  // The one fit at the end, had none come after each: the bar hidden as before the section.
  ShowScrollBar(pane, SB_VERT, FALSE);
  const double start = Now();
  velmaris::FitVerticalScrollBar(pane);
  appends.fitOnceMs = Now() - start;
  return appends;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int runs = std::max(1, argc > 1 ? _wtoi(argv[1]) : 10);
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  std::vector<double> whole, read, checked, verdict, lines;
  size_t ports = 0;
  size_t portsChecked = 0;
  size_t verdictLines = 0;
  size_t lineCount = 0;
  for (int run = 0; run < runs; ++run) {
    const double start = Now();
    const velmaris::WindowsDevices devices = velmaris::ReadWindowsDevices();
    const double readEnd = Now();
    const std::vector<int16_t> toCheck = velmaris::PortsToCheck(devices, kFirstPortNotTried);
    const velmaris::PortChecks checks{Check(window, toCheck)};
    const double checkEnd = Now();
    verdictLines =
        velmaris::Verdict(devices, kFirstPortNotTried, checks, velmaris::KnownBadDrivers()).size();
    const double verdictEnd = Now();
    lineCount = velmaris::WindowsDevicesSection(devices, kFirstPortNotTried, checks).size();
    const double end = Now();
    // The section decides its verdict itself: the verdict's own figure is part of the lines'.
    whole.push_back(readEnd - start + checkEnd - readEnd + end - verdictEnd);
    read.push_back(readEnd - start);
    checked.push_back(checkEnd - readEnd);
    verdict.push_back(verdictEnd - checkEnd);
    lines.push_back(end - verdictEnd);
    ports = devices.ports.size();
    portsChecked = toCheck.size();
  }
  std::vector<double> appendRead, appendSet, appendFit, appendFitOnce;
  {
    const ReportPane report;
    const velmaris::WindowsDevices devices = velmaris::ReadWindowsDevices();
    const std::vector<std::string> section = velmaris::WindowsDevicesSection(
        devices, kFirstPortNotTried,
        {Check(window, velmaris::PortsToCheck(devices, kFirstPortNotTried))});
    for (int run = 0; run < runs; ++run) {
      const Appends appends = Append(report.pane, section);
      appendRead.push_back(appends.readMs);
      appendSet.push_back(appends.setMs);
      appendFit.push_back(appends.fitMs);
      appendFitOnce.push_back(appends.fitOnceMs);
    }
  }
  DestroyWindow(window);
  std::sort(whole.begin(), whole.end());
  std::printf(
      "windows-devices ms=%.1f min=%.1f max=%.1f read_ms=%.1f check_ms=%.1f verdict_ms=%.1f "
      "lines_ms=%.1f devices=%d ports=%zu checked=%zu verdict=%zu lines=%zu\n",
      Median(whole), whole.front(), whole.back(), Median(read), Median(checked), Median(verdict),
      Median(lines), PresentDevices(), ports, portsChecked, verdictLines, lineCount);
  std::printf("appends n=%zu read_ms=%.1f set_ms=%.1f fit_ms=%.1f fit_once_ms=%.1f\n", lineCount,
              Median(appendRead), Median(appendSet), Median(appendFit), Median(appendFitOnce));
  return 0;
}

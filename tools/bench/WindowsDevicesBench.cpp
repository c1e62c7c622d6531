// Times what the no-unit tick adds: reading what Windows sees and deciding the report's lines.
//   windows_devices_bench <runs>
// Prints "windows-devices ms=<median> min=<min> max=<max> devices=<n> ports=<n> lines=<n>", the
// devices being all present ones of the device tree.
#include <windows.h>
// setupapi.h needs windows.h first.
#include <setupapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "diagnosis/WindowsDevicesSection.h"
#include "platform/win32/WindowsDevicesReading.h"

namespace {

double Now() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

int PresentDevices() {
  HDEVINFO list = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
  if (list == INVALID_HANDLE_VALUE) return -1;
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof device;
  int count = 0;
  while (SetupDiEnumDeviceInfo(list, static_cast<DWORD>(count), &device)) ++count;
  SetupDiDestroyDeviceInfoList(list);
  return count;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int runs = std::max(1, argc > 1 ? _wtoi(argv[1]) : 10);
  std::vector<double> times;
  size_t ports = 0;
  size_t lines = 0;
  for (int run = 0; run < runs; ++run) {
    const double start = Now();
    const velmaris::WindowsDevices devices = velmaris::ReadWindowsDevices();
    lines = velmaris::WindowsDevicesSection(devices, 22, {}).size();
    times.push_back(Now() - start);
    ports = devices.ports.size();
  }
  std::sort(times.begin(), times.end());
  std::printf("windows-devices ms=%.1f min=%.1f max=%.1f devices=%d ports=%zu lines=%zu\n",
              times[times.size() / 2], times.front(), times.back(), PresentDevices(), ports, lines);
  return 0;
}

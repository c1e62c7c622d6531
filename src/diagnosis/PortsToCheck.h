#pragma once

#include <cstdint>
#include <vector>

#include "diagnosis/ListedPorts.h"
#include "platform/PortCheck.h"
#include "platform/WindowsDevices.h"

namespace velmaris {

// What the port check gave: the results of the ports it was started with, or none at all when it
// could not be made.
struct PortChecks {
  std::vector<PortCheckResult> results{};
  bool made = true;
  // Why it could not be made: the Windows error, 0 when none is known.
  uint32_t whyNotMade = 0;
};

// A port the check opens: a COM port the scan tried, unless it is a Bluetooth link, whose open
// waits on the radio link.
bool ToBeChecked(const ListedPort& port);

// The COM numbers of the ports to check, each once, lowest first.
std::vector<int16_t> PortsToCheck(const WindowsDevices& devices, int16_t firstPortNotTried);

// The check's result for COMn, or nullptr when the check did not reach it.
const PortCheckResult* ResultOf(const PortChecks& checks, long number);

}  // namespace velmaris

#pragma once

#include <cstdint>
#include <vector>

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

// The COM numbers of the ports to check, each once, lowest first: the COM ports the scan tried,
// except Bluetooth links, whose open waits on the radio link.
std::vector<int16_t> PortsToCheck(const WindowsDevices& devices, int16_t firstPortNotTried);

}  // namespace velmaris

#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diagnosis/PortsToCheck.h"
#include "platform/WindowsDevices.h"

namespace velmaris {

// The report section that follows the not-detected advice: the verdict first, then the serial
// ports Windows has, with their devices, drivers and what the port check found of each, which of
// them the scan did not try and how to renumber one, the COM numbers that devices not connected
// hold, and the devices that could be the unit or its adapter but have a problem. The scan tried
// every port below firstPortNotTried. Each list shows a bounded number of entries and says how
// many more there are; a reading that failed is named with its reason. Never fails: a reading
// that failed as a whole, or a failure of the wording, becomes the section's one entry.
std::vector<std::string> WindowsDevicesSection(const WindowsDevices& devices,
                                               int16_t firstPortNotTried, const PortChecks& checks);

}  // namespace velmaris

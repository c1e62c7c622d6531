#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/WindowsDevices.h"

namespace velmaris {

// The report section that follows the not-detected advice: the serial ports Windows has, with
// their devices and drivers, which of them the scan did not try and how to renumber one, the COM
// numbers that devices not connected hold, and the devices that could be the unit or its adapter
// but have a problem. The scan tried every port below firstPortNotTried; a port named other than
// COMn cannot be tried at all. Each list shows a bounded number of entries and says how many more
// there are; a reading that failed is named with its reason.
std::vector<std::string> WindowsDevicesSection(const WindowsDevices& devices,
                                               int16_t firstPortNotTried);

// Reads what Windows sees and words it. Never fails: a failure of the reading, or of the
// wording, becomes the section's one entry.
std::vector<std::string> WindowsDevicesSection(const WindowsDevicesReader& readWindowsDevices,
                                               int16_t firstPortNotTried);

}  // namespace velmaris

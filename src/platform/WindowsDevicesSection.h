#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/WindowsDevices.h"

namespace velmaris {

// The report section that follows the not-detected advice: the serial ports Windows has, which of
// them the scan did not try and how to renumber one, and the devices that could be the unit or its
// adapter but have a problem. The scan tried every port below firstPortNotTried; a port named
// other than COMn cannot be tried at all. Each list shows a bounded number of entries and says
// how many more there are.
std::vector<std::string> WindowsDevicesSection(const WindowsDevices& devices,
                                               int16_t firstPortNotTried);

}  // namespace velmaris

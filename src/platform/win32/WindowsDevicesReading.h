#pragma once

#include "platform/WindowsDevices.h"

namespace velmaris {

// Reads this PC's serial ports (the registry's device map and the Ports class of the device setup
// API) and its present devices that report a problem. Only reads, with functions Windows XP has;
// a reading that fails is listed with its error, and the others still run.
WindowsDevices ReadWindowsDevices();

}  // namespace velmaris

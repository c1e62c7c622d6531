#pragma once

#include <string>

#include "diagnosis/WhatWasSeen.h"

namespace velmaris {

// What the check found of a port it was to open, as the last line below the port in the list.
std::string CheckLine(const PortFound& found);

// Why a port the check was to open was not opened: its time was up, or the check could not be
// made, with the Windows error that kept it from starting where one is known.
std::string NotCheckedWhy(const PortFound& found);

// The end of a Bluetooth port's note when the scan tried it: the check leaves it alone.
std::string BluetoothNotCheckedLine();

}  // namespace velmaris

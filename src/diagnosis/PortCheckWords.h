#pragma once

#include <string>

#include "platform/PortCheck.h"

namespace velmaris {

// What the check found of a port it was to open, as the last line below the port in the list:
// `result` is nullptr when the check did not reach the port, `checkMade` false when it could not
// be made at all.
std::string CheckLine(const PortCheckResult* result, bool checkMade);

// Why a port the check was to open was not opened.
std::string NotCheckedWhy(bool checkMade);

// The end of a Bluetooth port's note when the scan tried it: the check leaves it alone.
std::string BluetoothNotCheckedLine();

}  // namespace velmaris

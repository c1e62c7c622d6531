#pragma once

#include <string>
#include <vector>

namespace velmaris {

// The report lines written when the scan has found no unit.

// The ports scanned and the usual causes; always written.
std::vector<std::string> NotDetectedCauses();
// For Windows levels above 7, where old USB units do not work at all.
std::vector<std::string> OldUsbUnitsNote();
// For Windows levels 7 and below, where old USB units need a driver.
std::vector<std::string> DriverInstallNote();

}  // namespace velmaris

#pragma once

#include <string>
#include <vector>

#include "platform/WindowsDevices.h"

namespace velmaris {

// A release of a serial adapter's driver known to break the port, by its provider and version
// as the driver key records them.
struct KnownBadDriver {
  std::string provider;
  std::string version;
};

// The releases this program warns of.
const std::vector<KnownBadDriver>& KnownBadDrivers();

// Whether the driver is one of the releases: the provider compared without case, the versions
// as four numbers ("3.8.2023.02" is "3.8.2023.2"). A version that is no such numbers is none.
bool IsKnownBad(const DriverFacts& driver, const std::vector<KnownBadDriver>& releases);

}  // namespace velmaris

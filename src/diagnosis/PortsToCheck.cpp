#include "diagnosis/PortsToCheck.h"

#include <algorithm>

namespace velmaris {

bool ToBeChecked(const ListedPort& port) { return port.tried && !port.bluetooth; }

std::vector<int16_t> PortsToCheck(const WindowsDevices& devices, int16_t firstPortNotTried) {
  std::vector<int16_t> ports;
  for (const ListedPort& port : ListedPorts(devices.ports, firstPortNotTried)) {
    if (!ToBeChecked(port)) continue;
    // A port tried lies below firstPortNotTried, so its number fits. Names that differ only in
    // leading zeros ("COM03") are one port, and come next to each other.
    const auto number = static_cast<int16_t>(port.number);
    if (ports.empty() || ports.back() != number) ports.push_back(number);
  }
  return ports;
}

const PortCheckResult* ResultOf(const PortChecks& checks, long number) {
  const auto result = std::find_if(checks.results.begin(), checks.results.end(),
                                   [&](const PortCheckResult& one) { return one.port == number; });
  return result == checks.results.end() ? nullptr : &*result;
}

}  // namespace velmaris

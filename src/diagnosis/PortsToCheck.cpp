#include "diagnosis/PortsToCheck.h"

#include "diagnosis/WhatWasSeen.h"

namespace velmaris {

std::vector<int16_t> PortsToCheck(const WindowsDevices& devices, int16_t firstPortNotTried) {
  std::vector<int16_t> ports;
  for (const SeenPort& port : SeenPorts(devices, firstPortNotTried)) {
    if (!port.ToBeChecked()) continue;
    // A port tried lies below firstPortNotTried, so its number fits. Names that differ only in
    // leading zeros ("COM03") are one port, and come next to each other.
    const auto number = static_cast<int16_t>(port.number);
    if (ports.empty() || ports.back() != number) ports.push_back(number);
  }
  return ports;
}

}  // namespace velmaris

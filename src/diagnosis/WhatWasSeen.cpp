#include "diagnosis/WhatWasSeen.h"

#include <algorithm>
#include <iterator>

#include "diagnosis/ListedPorts.h"
#include "link/PortScan.h"

namespace velmaris {

namespace {

Origin OriginOfPort(const SerialPort& port, const WindowsDevices& devices) {
  if (port.device == PortDevice::None) {
    if (Failed(devices.unread, DeviceFact::PortDevices)) return {{}, DeviceFact::PortDevices};
    return {DeviceOrigin::BuiltIn};
  }
  if (Failed(port.unread, DeviceFact::DeviceInstance)) return {{}, DeviceFact::DeviceInstance};
  return {OriginOf(port.instanceId)};
}

Origin OriginOfDevice(const ProblemDevice& device) {
  if (Failed(device.unread, DeviceFact::DeviceInstance)) return {{}, DeviceFact::DeviceInstance};
  return {OriginOf(device.instanceId)};
}

Told MayBeTheUnit(const ProblemDevice& device, const Origin& origin) {
  if (origin.unread) return {false, origin.unread};
  if (origin.value == DeviceOrigin::Bluetooth) return {false};
  if (device.deviceClass == DeviceClass::NoClass) return {origin.value == DeviceOrigin::Usb};
  return {device.deviceClass != DeviceClass::Other};
}

std::optional<PortFound> FoundOf(const SeenPort& port, const PortChecks& checks) {
  if (!port.ToBeChecked()) return std::nullopt;
  const auto result =
      std::find_if(checks.results.begin(), checks.results.end(),
                   [&](const PortCheckResult& one) { return one.port == port.number; });
  if (result != checks.results.end() && result->state != PortState::NotChecked) {
    return PortFound{PortFound::Outcome::Opened, result->state, result->error};
  }
  if (checks.made) return PortFound{PortFound::Outcome::NotReached};
  return PortFound{PortFound::Outcome::NotMade, PortState::NotChecked, checks.whyNotMade};
}

bool WithinTheScan(const HeldPort& port) {
  const long number = ComNumber(port.name);
  return (number >= 1 && number <= kLastPort) || port.name.empty();
}

}  // namespace

std::vector<SeenPort> SeenPorts(const WindowsDevices& devices, int16_t firstPortNotTried) {
  std::vector<SeenPort> ports;
  for (ListedPort& listed : ListedPorts(devices.ports)) {
    const bool tried = listed.number > 0 && listed.number < firstPortNotTried;
    const Origin origin = OriginOfPort(listed.facts, devices);
    ports.push_back({std::move(listed.facts), std::move(listed.key), listed.number, tried, origin});
  }
  return ports;
}

WhatWasSeen Seen(const WindowsDevices& devices, int16_t firstPortNotTried,
                 const PortChecks& checks) {
  WhatWasSeen seen;
  seen.unread = devices.unread;
  seen.ports = SeenPorts(devices, firstPortNotTried);
  for (SeenPort& port : seen.ports) port.found = FoundOf(port, checks);
  for (const ProblemDevice& device : devices.problemDevices) {
    if (device.deviceClass == DeviceClass::Other) continue;
    const Origin origin = OriginOfDevice(device);
    seen.devices.push_back({device, origin, MayBeTheUnit(device, origin)});
  }
  std::copy_if(devices.heldPorts.begin(), devices.heldPorts.end(),
               std::back_inserter(seen.heldPorts), WithinTheScan);
  return seen;
}

}  // namespace velmaris

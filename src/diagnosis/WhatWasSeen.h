#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "diagnosis/DeviceOrigin.h"
#include "diagnosis/PortsToCheck.h"
#include "platform/PortCheck.h"
#include "platform/WindowsDevices.h"

namespace velmaris {

// What was seen after a scan without a unit, built once from what Windows reported and what the
// port check found: the verdict and the section's lists both read it, and neither merges or
// classifies again.

// Something told of a port or device: either told, or not, for the reading that failed.
struct Told {
  bool holds = false;
  std::optional<DeviceFact> unread{};  // the list or the value whose reading failed

  bool Yes() const { return !unread && holds; }
};

// Where a port's or device's device comes from, unless the reading that tells failed. A port
// that only the device map names is the PC's own, once the devices could be read.
struct Origin {
  DeviceOrigin value = DeviceOrigin::Other;
  std::optional<DeviceFact> unread{};

  Told Is(DeviceOrigin origin) const { return {value == origin, unread}; }
};

// What the check found of a port it was to open.
struct PortFound {
  enum class Outcome {
    Opened,      // the open gave `state`
    NotReached,  // the check's time was up before it
    NotMade,     // the check could not be made at all
  };
  Outcome outcome;
  PortState state = PortState::NotChecked;
  uint32_t error = 0;  // the open's Windows error; for a check not made, why, 0 when unknown
};

struct SeenPort {
  SerialPort facts;
  std::string key;  // the name in capitals
  long number;      // n for COMn, 0 for any other name
  bool tried;       // the scan tried it
  Origin origin;
  std::optional<PortFound> found{};  // for a port the check was to open

  // A port whose name could not be read may have been tried, and was not checked.
  bool NameRead() const { return !facts.name.empty(); }
  bool Bluetooth() const { return origin.Is(DeviceOrigin::Bluetooth).Yes(); }
  // The list says of a port with a name that the scan did not try it.
  bool NotScanned() const { return NameRead() && !tried; }
  // The check opens the COM ports the scan tried, but no Bluetooth link.
  bool ToBeChecked() const { return tried && !Bluetooth(); }
};

// A device with a problem, of the classes that could hold the unit or its adapter.
struct SeenDevice {
  ProblemDevice facts;
  Origin origin;
  // Could be the unit or its adapter: not a Bluetooth link, and one without class only when USB
  // enumerated it.
  Told mayBeTheUnit;
};

struct WhatWasSeen {
  std::vector<SeenPort> ports;      // in the lists' order
  std::vector<SeenDevice> devices;  // in Windows' order
  std::vector<HeldPort>
      heldPorts;  // the COM numbers within the scan that devices not connected hold
  std::vector<UnreadFact> unread;  // readings of whole lists that failed

  // The reading failed as a whole.
  bool NothingRead() const { return Failed(unread, DeviceFact::All); }
  bool Read(DeviceFact list) const { return !Failed(unread, list); }
};

// The ports Windows reported, merged and classified; the scan tried every COM port below
// firstPortNotTried. Without the check's results: what the check is to open.
std::vector<SeenPort> SeenPorts(const WindowsDevices& devices, int16_t firstPortNotTried);

WhatWasSeen Seen(const WindowsDevices& devices, int16_t firstPortNotTried,
                 const PortChecks& checks);

}  // namespace velmaris

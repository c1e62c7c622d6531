#pragma once

#include <string>

namespace velmaris {

// Who enumerated a device, as the start of its instance id tells.
enum class DeviceOrigin {
  Usb,        // USB, or the FTDI bus driver: an adapter, or the unit itself ("USB\", "FTDIBUS\")
  BuiltIn,    // the PC's own serial port ("ACPI\PNP0500\", "ACPI\PNP0501\", "*PNP050")
  Bluetooth,  // a link of Windows' own Bluetooth stack ("BTHENUM\")
  Other,
};

// Windows' instance ids are compared without case.
DeviceOrigin OriginOf(const std::string& instanceId);

}  // namespace velmaris

#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmaris {

// What Windows itself knows of this PC's serial ports and troubled devices, as plain facts: the
// shell reads them, the report words them. Texts are UTF-8, as Windows stores them.

// The readings made; All stands for the whole reading, the rest for one list or one value.
enum class DeviceFact {
  All,
  PortMap,         // the registry's device map of serial ports
  PortDevices,     // the Ports and Modem class devices, in the pass over the present devices
  DeviceList,      // the one pass over the present devices
  DeviceStatus,    // a present device's status and problem
  AbsentPorts,     // the Ports class devices that are not connected
  PortName,        // a device's port name
  FriendlyName,    // a device's friendly name
  DeviceInstance,  // a device's instance id
  DriverKey,       // a device's driver key
  DriverProvider,  // ProviderName in the driver key
  DriverVersion,   // DriverVersion in the driver key
  DriverDate,      // DriverDate in the driver key
};

// A reading that failed, and why: a Win32 error code, a configuration manager result (CR_*), or
// a failure of the program itself with its description.
struct UnreadFact {
  enum class Cause { WindowsError, ConfigManager, Program };
  DeviceFact fact;
  Cause cause;
  uint32_t code;
  std::string description;
};

// Whether the reading of `fact` is among those that failed.
bool Failed(const std::vector<UnreadFact>& unread, DeviceFact fact);

// A device's driver as Windows records it in the device's driver key. A device without that key
// has no driver installed; a value that is not there is empty.
struct DriverFacts {
  bool installed = false;
  std::string provider;
  std::string version;
  std::string date;  // "M-D-YYYY", as Windows stores it
};

// Which kind of device stands behind a port name. None: the port is only in the device map.
enum class PortDevice { None, Port, Modem };

// A serial port by the name programs open it with ("COM23"), with the friendly name the Device
// Manager shows ("USB Serial Port (COM23)"), empty when Windows has none. Ports come from the
// registry's device map and from the devices of the Ports and Modem classes, so one port may be
// listed more than once. A port whose name could not be read has an empty name and says why
// among its unread facts. The device's instance id tells who enumerated it ("USB\VID_0403&...",
// "ACPI\PNP0501\1", "BTHENUM\..."); it is empty for a port that only the device map names.
struct SerialPort {
  std::string name;
  std::string friendlyName{};
  PortDevice device = PortDevice::None;
  std::string instanceId{};
  DriverFacts driver{};
  std::vector<UnreadFact> unread{};
};

// A COM number kept by a Ports class device that is not connected now.
struct HeldPort {
  std::string name;
  std::string deviceName;
  std::vector<UnreadFact> unread{};
};

// The device setup classes of the devices the report looks at.
enum class DeviceClass { Ports, Modem, Usb, NoClass, Other };

// A present device whose node reports a problem, with Windows' problem number (CM_PROB_*) and its
// instance id.
struct ProblemDevice {
  std::string name;
  DeviceClass deviceClass;
  uint32_t problem;
  std::string instanceId{};
  std::vector<UnreadFact> unread{};
};

struct WindowsDevices {
  std::vector<SerialPort> ports{};
  std::vector<ProblemDevice> problemDevices{};
  std::vector<UnreadFact> unread{};  // readings of whole lists that failed
  std::vector<HeldPort> heldPorts{};
};

// Reads what Windows sees; any call may fail.
using WindowsDevicesReader = std::function<WindowsDevices()>;

// A reading that failed as a whole, for a reason of the program's own: its one unread fact, of
// DeviceFact::All.
WindowsDevices ReadingFailed(std::string why);

// Reads what Windows sees without failing: a failure of the reading becomes its one unread fact,
// of DeviceFact::All, with the failure's description.
WindowsDevices WhatWindowsSees(const WindowsDevicesReader& read);

}  // namespace velmaris

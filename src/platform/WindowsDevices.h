#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmaris {

// What Windows itself knows of this PC's serial ports and troubled devices, as plain lists: the
// shell gathers them, the report words them. Texts are UTF-8.

// A serial port by the name programs open it with ("COM23"), with the friendly name the Device
// Manager shows ("USB Serial Port (COM23)"), empty when Windows has none. Ports come from the
// registry's device map and from the device setup API, so a port may be listed twice.
struct SerialPort {
  std::string name;
  std::string friendlyName;
};

// The device setup classes of the devices the report looks at; Other covers the rest.
enum class DeviceClass { Ports, Usb, NoClass, Other };

// A present device whose node reports a problem, with Windows' problem number (CM_PROB_*).
struct ProblemDevice {
  std::string name;
  DeviceClass deviceClass;
  uint32_t problem;
};

// The readings the gathering makes; All stands for the whole gathering.
enum class DeviceFact { PortMap, PortDevices, DeviceList, DeviceStatus, All };

// A reading that failed, and why: a Win32 error code, a configuration manager result (CR_*), or
// a failure of the program itself with its description.
struct UnreadFact {
  enum class Cause { WindowsError, ConfigManager, Program };
  DeviceFact fact;
  Cause cause;
  uint32_t code;
  std::string description;
};

struct WindowsDevices {
  std::vector<SerialPort> ports;
  std::vector<ProblemDevice> problemDevices;
  std::vector<UnreadFact> unread;
};

using WindowsDevicesQuery = std::function<WindowsDevices()>;

// Runs the query; a failure of it becomes an unread fact, so asking never fails.
WindowsDevices AskWindowsDevices(const WindowsDevicesQuery& query);

}  // namespace velmaris

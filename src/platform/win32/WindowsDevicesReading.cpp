#include "platform/win32/WindowsDevicesReading.h"

#include <windows.h>
// windows.h first: the others rely on its types.
#include <cfgmgr32.h>
#include <cguid.h>
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/win32/Scoped.h"
#include "common/win32/Utf16.h"

namespace velmaris {

namespace {

// The setup class of USB devices of Windows 8 and later, GUID_DEVCLASS_USBDEVICE, which
// mingw-w64's devguid.h lacks.
const GUID kUsbDeviceClass = {
    0x88BAE032, 0x5A81, 0x49F0, {0xBC, 0x3D, 0xA4, 0xFF, 0x13, 0x82, 0x16, 0xD6}};

const wchar_t* const kPortMapKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

UnreadFact WindowsError(DeviceFact fact, DWORD error) {
  return {fact, UnreadFact::Cause::WindowsError, error, {}};
}

bool IsAbsence(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_KEY_DOES_NOT_EXIST ||
         error == ERROR_INVALID_DATA;
}

// Registry text as stored: it may lack its terminating null, or end in several.
std::string StoredText(const std::vector<wchar_t>& buffer, DWORD bytes) {
  const size_t available = std::min<size_t>(bytes / sizeof(wchar_t), buffer.size());
  size_t length = 0;
  while (length < available && buffer[length] != L'\0') ++length;
  return Narrow(buffer.data(), length);
}

// A text value of an open key into `text`, left empty when the key has no such value; a value
// there that cannot be read as text is a failed reading of `fact`.
void ReadTextValue(HKEY key, const wchar_t* name, DeviceFact fact, std::string& text,
                   std::vector<UnreadFact>& unread) {
  DWORD type = 0;
  DWORD bytes = 0;
  LONG result = RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes);
  if (result == ERROR_FILE_NOT_FOUND) return;
  if (result == ERROR_SUCCESS && type != REG_SZ && type != REG_EXPAND_SZ)
    result = ERROR_INVALID_DATA;
  if (result == ERROR_SUCCESS) {
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1);
    bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    result =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    if (result == ERROR_SUCCESS) text = StoredText(buffer, bytes);
  }
  if (result != ERROR_SUCCESS) unread.push_back(WindowsError(fact, static_cast<DWORD>(result)));
}

// The port names of the device map: one value per port, the name in its data ("COM1").
void ReadPortMap(WindowsDevices& devices) {
  HKEY opened = nullptr;
  const LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPortMapKey, 0, KEY_QUERY_VALUE, &opened);
  if (result == ERROR_FILE_NOT_FOUND) return;  // no serial port driver has started: no ports
  if (result != ERROR_SUCCESS) {
    return devices.unread.push_back(WindowsError(DeviceFact::PortMap, result));
  }
  const UniqueKey key(opened);
  DWORD longestName = 0;
  DWORD largestData = 0;
  const LONG info = RegQueryInfoKeyW(opened, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, &longestName, &largestData, nullptr, nullptr);
  if (info != ERROR_SUCCESS)
    return devices.unread.push_back(WindowsError(DeviceFact::PortMap, info));
  std::vector<wchar_t> name(longestName + 1);
  std::vector<wchar_t> data(largestData / sizeof(wchar_t) + 1);
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    const LONG read = RegEnumValueW(opened, index, name.data(), &nameLength, nullptr, &type,
                                    reinterpret_cast<BYTE*>(data.data()), &bytes);
    if (read == ERROR_NO_MORE_ITEMS) return;
    // A value that grew since the key was measured (a port just plugged in) ends the reading.
    if (read != ERROR_SUCCESS) {
      return devices.unread.push_back(WindowsError(DeviceFact::PortMap, read));
    }
    if (type != REG_SZ) continue;
    SerialPort port;
    port.name = StoredText(data, bytes);
    devices.ports.push_back(std::move(port));
  }
}

// One device of a device list, with what is read of it.
struct Device {
  HDEVINFO list;
  SP_DEVINFO_DATA& data;
  std::vector<UnreadFact>& unread;

  // A text property into `text`; empty when the device has none, or has one with no text.
  void ReadProperty(DWORD property, DeviceFact fact, std::string& text) {
    DWORD type = 0;
    DWORD bytes = 0;
    // A property stored with no bytes at all fits the empty buffer: Windows says so by
    // succeeding, Wine by asking for a buffer of no size.
    if (SetupDiGetDeviceRegistryPropertyW(list, &data, property, &type, nullptr, 0, &bytes)) return;
    DWORD error = GetLastError();
    if (error == ERROR_INSUFFICIENT_BUFFER && bytes == 0) return;
    if (error == ERROR_INSUFFICIENT_BUFFER) {
      std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1);
      bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
      if (!SetupDiGetDeviceRegistryPropertyW(list, &data, property, &type,
                                             reinterpret_cast<BYTE*>(buffer.data()), bytes,
                                             nullptr)) {
        error = GetLastError();
      } else if (type == REG_SZ) {
        return void(text = StoredText(buffer, bytes));
      } else {
        // There, but not a text: a failed reading, not an absence.
        return unread.push_back(WindowsError(fact, ERROR_INVALID_DATA));
      }
    }
    if (!IsAbsence(error)) unread.push_back(WindowsError(fact, error));
  }

  // One of the device's keys, or nothing when it has none (an absence, not a failed reading).
  UniqueKey OpenKey(DWORD which, DeviceFact fact) {
    HKEY key = SetupDiOpenDevRegKey(list, &data, DICS_FLAG_GLOBAL, 0, which, KEY_QUERY_VALUE);
    if (key != INVALID_HANDLE_VALUE) return UniqueKey(key);
    const DWORD error = GetLastError();
    if (!IsAbsence(error)) unread.push_back(WindowsError(fact, error));
    return nullptr;
  }

  // The device's instance id ("USB\VID_0403&PID_6001\A50285BI"); empty when it cannot be read.
  std::string InstanceId() {
    std::vector<wchar_t> id(MAX_DEVICE_ID_LEN + 1);
    if (!SetupDiGetDeviceInstanceIdW(list, &data, id.data(), static_cast<DWORD>(id.size()),
                                     nullptr)) {
      unread.push_back(WindowsError(DeviceFact::DeviceInstance, GetLastError()));
      return {};
    }
    return Narrow(id.data(), wcslen(id.data()));
  }

  // The port name of the device's hardware key ("COM23"); empty when it names no port.
  std::string PortName() {
    std::string name;
    if (const UniqueKey key = OpenKey(DIREG_DEV, DeviceFact::PortName)) {
      ReadTextValue(key.get(), L"PortName", DeviceFact::PortName, name, unread);
    }
    return name;
  }
};

// The driver a driver key records.
DriverFacts ReadDriver(HKEY key, std::vector<UnreadFact>& unread) {
  DriverFacts driver;
  driver.installed = true;
  ReadTextValue(key, L"ProviderName", DeviceFact::DriverProvider, driver.provider, unread);
  ReadTextValue(key, L"DriverVersion", DeviceFact::DriverVersion, driver.version, unread);
  ReadTextValue(key, L"DriverDate", DeviceFact::DriverDate, driver.date, unread);
  return driver;
}

bool Is(const GUID& setupClass, std::initializer_list<const GUID*> classes) {
  return std::any_of(classes.begin(), classes.end(),
                     [&](const GUID* one) { return IsEqualGUID(setupClass, *one) != FALSE; });
}

// Ports (COM and LPT), Modems, USB controllers, hubs and devices, and Other devices, where
// Windows puts a device it has no driver for.
DeviceClass ClassOf(const GUID& setupClass) {
  if (Is(setupClass, {&GUID_DEVCLASS_PORTS})) return DeviceClass::Ports;
  if (Is(setupClass, {&GUID_DEVCLASS_MODEM})) return DeviceClass::Modem;
  if (Is(setupClass, {&GUID_DEVCLASS_USB, &kUsbDeviceClass})) return DeviceClass::Usb;
  if (Is(setupClass, {&GUID_NULL, &GUID_DEVCLASS_UNKNOWN})) return DeviceClass::NoClass;
  return DeviceClass::Other;
}

// A device of the Ports or Modem class that names a serial port, with its device and driver. A
// modem without a port name of its own names the port it is attached to in its driver key.
void ReadPort(HDEVINFO list, SP_DEVINFO_DATA& data, DeviceClass deviceClass,
              WindowsDevices& devices) {
  SerialPort port;
  Device device{list, data, port.unread};
  const bool modem = deviceClass == DeviceClass::Modem;
  port.name = device.PortName();
  const UniqueKey driverKey = device.OpenKey(DIREG_DRV, DeviceFact::DriverKey);
  if (port.name.empty() && modem && driverKey) {
    ReadTextValue(driverKey.get(), L"AttachedTo", DeviceFact::PortName, port.name, port.unread);
  }
  const bool namesNoPort =
      port.name.empty() &&
      std::none_of(port.unread.begin(), port.unread.end(),
                   [](const UnreadFact& fact) { return fact.fact == DeviceFact::PortName; });
  if (namesNoPort) return;
  port.device = modem ? PortDevice::Modem : PortDevice::Port;
  device.ReadProperty(SPDRP_FRIENDLYNAME, DeviceFact::FriendlyName, port.friendlyName);
  port.instanceId = device.InstanceId();
  if (driverKey) port.driver = ReadDriver(driverKey.get(), port.unread);
  devices.ports.push_back(std::move(port));
}

// A present device whose node reports a problem.
void ReadProblem(HDEVINFO list, SP_DEVINFO_DATA& data, DeviceClass deviceClass, ULONG problem,
                 WindowsDevices& devices) {
  ProblemDevice troubled{{}, deviceClass, problem, {}, {}};
  Device device{list, data, troubled.unread};
  troubled.instanceId = device.InstanceId();
  device.ReadProperty(SPDRP_FRIENDLYNAME, DeviceFact::FriendlyName, troubled.name);
  if (troubled.name.empty()) {
    device.ReadProperty(SPDRP_DEVICEDESC, DeviceFact::FriendlyName, troubled.name);
  }
  devices.problemDevices.push_back(std::move(troubled));
}

// A Ports class device that Windows remembers but that is not connected keeps its COM number.
void ReadHeldPort(HDEVINFO list, SP_DEVINFO_DATA& data, WindowsDevices& devices) {
  HeldPort held;
  Device device{list, data, held.unread};
  held.name = device.PortName();
  if (held.name.empty() && held.unread.empty()) return;  // no serial port
  device.ReadProperty(SPDRP_FRIENDLYNAME, DeviceFact::FriendlyName, held.deviceName);
  if (held.deviceName.empty()) {
    device.ReadProperty(SPDRP_DEVICEDESC, DeviceFact::FriendlyName, held.deviceName);
  }
  devices.heldPorts.push_back(std::move(held));
}

// One pass over every device Windows knows, connected or not, gives the ports of the Ports and
// Modem classes, the devices with a problem, and the COM numbers that devices not connected hold:
// on a PC with hundreds of devices the listing is what costs, so it is made once, and only the
// classes the report names are looked at closer. A device is connected when the configuration
// manager has a device instance for it. Returns the error that ended the pass,
// ERROR_NO_MORE_ITEMS once every device was read.
DWORD ReadEachDevice(WindowsDevices& devices) {
  HDEVINFO opened = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
  if (opened == INVALID_HANDLE_VALUE) return GetLastError();
  const UniqueDeviceList list(opened);
  SP_DEVINFO_DATA data = {};
  data.cbSize = sizeof data;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(opened, index, &data); ++index) {
    const DeviceClass deviceClass = ClassOf(data.ClassGuid);
    if (deviceClass == DeviceClass::Other) continue;
    ULONG status = 0;
    ULONG problem = 0;
    const CONFIGRET result = CM_Get_DevNode_Status(&status, &problem, data.DevInst, 0);
    if (result == CR_NO_SUCH_DEVINST) {
      if (deviceClass == DeviceClass::Ports) ReadHeldPort(opened, data, devices);
      continue;
    }
    if (deviceClass == DeviceClass::Ports || deviceClass == DeviceClass::Modem) {
      ReadPort(opened, data, deviceClass, devices);
    }
    if (result != CR_SUCCESS) {
      // Connected or not, it cannot be told: neither list may claim it.
      devices.unread.push_back(
          {DeviceFact::DeviceStatus, UnreadFact::Cause::ConfigManager, result, {}});
      if (deviceClass == DeviceClass::Ports) {
        devices.unread.push_back(
            {DeviceFact::AbsentPorts, UnreadFact::Cause::ConfigManager, result, {}});
      }
      continue;
    }
    if ((status & DN_HAS_PROBLEM) != 0) ReadProblem(opened, data, deviceClass, problem, devices);
  }
  return GetLastError();
}

void ReadDevices(WindowsDevices& devices) {
  const DWORD error = ReadEachDevice(devices);
  if (error == ERROR_NO_MORE_ITEMS) return;
  for (DeviceFact list :
       {DeviceFact::PortDevices, DeviceFact::DeviceList, DeviceFact::AbsentPorts}) {
    devices.unread.push_back(WindowsError(list, error));
  }
}

}  // namespace

WindowsDevices ReadWindowsDevices() {
  WindowsDevices devices;
  ReadPortMap(devices);
  ReadDevices(devices);
  return devices;
}

}  // namespace velmaris

#include "platform/win32/WindowsDevicesReading.h"

#include <windows.h>
// windows.h first: the others rely on its types.
#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/win32/Utf16.h"

namespace velmaris {

namespace {

// Device setup classes: Ports (COM and LPT), USB controllers and hubs, USB devices of Windows 8
// and later, and Other devices, where Windows puts a device it has no driver for.
const GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kUsbClass = {
    0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kUsbDeviceClass = {
    0x88BAE032, 0x5A81, 0x49F0, {0xBC, 0x3D, 0xA4, 0xFF, 0x13, 0x82, 0x16, 0xD6}};
const GUID kUnknownClass = {
    0x4D36E97E, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kNoClass = {};

// A device node status flag (cfg.h, which the compiler's headers lack).
constexpr ULONG kHasProblem = 0x00000400;  // DN_HAS_PROBLEM

const wchar_t* const kPortMapKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

struct KeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

struct DeviceListDestroyer {
  void operator()(HDEVINFO list) const { SetupDiDestroyDeviceInfoList(list); }
};
using UniqueDeviceList = std::unique_ptr<std::remove_pointer_t<HDEVINFO>, DeviceListDestroyer>;

void Unread(WindowsDevices& devices, DeviceFact fact, DWORD error) {
  devices.unread.push_back({fact, UnreadFact::Cause::WindowsError, error, {}});
}

// Registry text as stored: it may lack its terminating null, or end in several.
std::string StoredText(const std::vector<wchar_t>& buffer, DWORD bytes) {
  const size_t available = std::min<size_t>(bytes / sizeof(wchar_t), buffer.size());
  size_t length = 0;
  while (length < available && buffer[length] != L'\0') ++length;
  return Narrow(buffer.data(), length);
}

// A REG_SZ value of an open key; empty when there is none.
std::string TextValue(HKEY key, const wchar_t* name) {
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return {};
  }
  std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1);
  bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes) !=
      ERROR_SUCCESS) {
    return {};
  }
  return StoredText(buffer, bytes);
}

// The port names of the device map: one value per port, the name in its data ("COM1").
void ReadPortMap(WindowsDevices& devices) {
  HKEY opened = nullptr;
  const LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPortMapKey, 0, KEY_QUERY_VALUE, &opened);
  if (result == ERROR_FILE_NOT_FOUND) return;  // no serial port driver has started: no ports
  if (result != ERROR_SUCCESS) return Unread(devices, DeviceFact::PortMap, result);
  const UniqueKey key(opened);
  DWORD longestName = 0;
  DWORD largestData = 0;
  const LONG info = RegQueryInfoKeyW(opened, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, &longestName, &largestData, nullptr, nullptr);
  if (info != ERROR_SUCCESS) return Unread(devices, DeviceFact::PortMap, info);
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
    if (read != ERROR_SUCCESS) return Unread(devices, DeviceFact::PortMap, read);
    if (type == REG_SZ) devices.ports.push_back({StoredText(data, bytes), {}});
  }
}

// A text property of a device; empty when the device has none.
std::string TextProperty(HDEVINFO list, SP_DEVINFO_DATA& device, DWORD property) {
  DWORD type = 0;
  DWORD bytes = 0;
  SetupDiGetDeviceRegistryPropertyW(list, &device, property, &type, nullptr, 0, &bytes);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return {};
  std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1);
  bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (!SetupDiGetDeviceRegistryPropertyW(list, &device, property, &type,
                                         reinterpret_cast<BYTE*>(buffer.data()), bytes, nullptr) ||
      type != REG_SZ) {
    return {};
  }
  return StoredText(buffer, bytes);
}

// The port name a Ports class device has in its hardware key ("COM23", "LPT1").
std::string PortName(HDEVINFO list, SP_DEVINFO_DATA& device) {
  HKEY opened =
      SetupDiOpenDevRegKey(list, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
  if (opened == INVALID_HANDLE_VALUE) return {};
  const UniqueKey key(opened);
  return TextValue(opened, L"PortName");
}

DeviceClass ClassOf(const GUID& setupClass) {
  if (IsEqualGUID(setupClass, kPortsClass)) return DeviceClass::Ports;
  if (IsEqualGUID(setupClass, kUsbClass) || IsEqualGUID(setupClass, kUsbDeviceClass))
    return DeviceClass::Usb;
  if (IsEqualGUID(setupClass, kNoClass) || IsEqualGUID(setupClass, kUnknownClass))
    return DeviceClass::NoClass;
  return DeviceClass::Other;
}

// A device of the Ports class names its port.
void ReadPort(HDEVINFO list, SP_DEVINFO_DATA& device, WindowsDevices& devices) {
  std::string name = PortName(list, device);
  if (name.empty()) return;
  devices.ports.push_back({std::move(name), TextProperty(list, device, SPDRP_FRIENDLYNAME)});
}

void ReadProblem(HDEVINFO list, SP_DEVINFO_DATA& device, WindowsDevices& devices) {
  ULONG status = 0;
  ULONG problem = 0;
  const CONFIGRET result = CM_Get_DevNode_Status(&status, &problem, device.DevInst, 0);
  if (result != CR_SUCCESS) {
    devices.unread.push_back(
        {DeviceFact::DeviceStatus, UnreadFact::Cause::ConfigManager, result, {}});
    return;
  }
  if ((status & kHasProblem) == 0) return;
  std::string name = TextProperty(list, device, SPDRP_FRIENDLYNAME);
  if (name.empty()) name = TextProperty(list, device, SPDRP_DEVICEDESC);
  devices.problemDevices.push_back({std::move(name), ClassOf(device.ClassGuid), problem});
}

// One pass over the present devices gives both the ports of the Ports class and the devices
// with a problem: on a PC with hundreds of devices the pass is what costs. Returns the error that
// ended it, ERROR_NO_MORE_ITEMS once every device was read.
DWORD ReadEachPresentDevice(WindowsDevices& devices) {
  HDEVINFO opened =
      SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
  if (opened == INVALID_HANDLE_VALUE) return GetLastError();
  const UniqueDeviceList list(opened);
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(opened, index, &device); ++index) {
    if (IsEqualGUID(device.ClassGuid, kPortsClass)) ReadPort(opened, device, devices);
    ReadProblem(opened, device, devices);
  }
  return GetLastError();
}

void ReadPresentDevices(WindowsDevices& devices) {
  const DWORD error = ReadEachPresentDevice(devices);
  if (error == ERROR_NO_MORE_ITEMS) return;
  Unread(devices, DeviceFact::PortDevices, error);
  Unread(devices, DeviceFact::DeviceList, error);
}

}  // namespace

WindowsDevices ReadWindowsDevices() {
  WindowsDevices devices;
  ReadPortMap(devices);
  ReadPresentDevices(devices);
  return devices;
}

}  // namespace velmaris

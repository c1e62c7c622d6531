#pragma once

#include <string>
#include <utility>

#include "platform/WindowsDevices.h"

namespace velmaris::fakes {

// Instance ids as Windows gives them.
inline constexpr const char* kFtdiId = "FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000";
inline constexpr const char* kUsbId = "USB\\VID_1A86&PID_7523\\5&1A2B3C4D&0&2";
inline constexpr const char* kBuiltInId = "ACPI\\PNP0501\\1";
inline constexpr const char* kBluetoothId =
    "BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000\\7&2A1C&0&000000000000_00000000";

inline const DriverFacts kFtdi = {true, "FTDI", "2.12.28.0", "8-30-2017"};

inline UnreadFact WindowsError(DeviceFact fact, uint32_t code) {
  return {fact, UnreadFact::Cause::WindowsError, code, {}};
}

// A port only the registry's device map names.
inline SerialPort Mapped(std::string name) {
  SerialPort port;
  port.name = std::move(name);
  return port;
}

// A port with a device behind it.
inline SerialPort Device(std::string name, std::string friendlyName, DriverFacts driver = kFtdi,
                         PortDevice device = PortDevice::Port, std::string instanceId = kFtdiId) {
  return {std::move(name),       std::move(friendlyName), device,
          std::move(instanceId), std::move(driver),       {}};
}

// The port of a USB adapter, of the PC's own serial port, or of a Bluetooth link.
inline SerialPort Adapter(std::string name, std::string friendlyName) {
  return Device(std::move(name), std::move(friendlyName), kFtdi, PortDevice::Port, kUsbId);
}
inline SerialPort BuiltIn(std::string name) {
  return Device(name, "Puerto de comunicaciones (" + name + ")",
                {true, "(Tipos de puerto estándar)", "10.0.19041.1", "6-21-2006"}, PortDevice::Port,
                kBuiltInId);
}
inline SerialPort Bluetooth(std::string name) {
  return Device(name, "Vínculo serie a través de Bluetooth (" + name + ")",
                {true, "Microsoft", "10.0.19041.1", "6-21-2006"}, PortDevice::Port, kBluetoothId);
}

}  // namespace velmaris::fakes

#include "diagnosis/WindowsDevicesSection.h"

#include <algorithm>
#include <optional>
#include <string>

#include "common/ReportRule.h"
#include "diagnosis/AdviceWords.h"
#include "diagnosis/KnownBadDrivers.h"
#include "diagnosis/PortCheckWords.h"
#include "diagnosis/SectionList.h"
#include "diagnosis/Verdict.h"
#include "diagnosis/WhatWasSeen.h"
#include "diagnosis/WindowsWords.h"
#include "link/PortScan.h"

namespace velmaris {

namespace {

const char* const kTitle = "LO QUE WINDOWS VE EN ESTE EQUIPO";

void Append(Lines& lines, const Lines& more) {
  lines.insert(lines.end(), more.begin(), more.end());
}

// ---- The serial ports.

// The driver's date year first, as Windows stores it where it has another form.
std::string DateShown(const std::string& stored) {
  if (stored.empty()) return "desconocida";
  const std::optional<std::string> date = IsoDriverDate(stored);
  return date ? *date : Shown(stored);
}

std::string DriverLine(const DriverFacts& driver) {
  return "  Driver: " +
         (driver.provider.empty() ? "proveedor desconocido" : Shown(driver.provider)) +
         ", versión " + (driver.version.empty() ? "desconocida" : Shown(driver.version)) +
         ", fecha " + DateShown(driver.date) + ".";
}

// What stands behind a port: its device, the device's driver, a Bluetooth link.
void AddDeviceLines(Lines& lines, const SeenPort& seen, bool devicesRead) {
  const SerialPort& port = seen.facts;
  if (port.device == PortDevice::None) {
    // Without the device list, a port without a device might just not have been looked up.
    if (devicesRead) lines.push_back("  Solo está en el mapa de puertos: no tiene dispositivo.");
    return;
  }
  if (port.device == PortDevice::Modem) lines.push_back("  Windows lo instaló como módem.");
  if (port.driver.installed) {
    lines.push_back(DriverLine(port.driver));
  } else if (!Failed(port.unread, DeviceFact::DriverKey)) {
    lines.push_back("  No tiene driver instalado.");
  }
  if (seen.Bluetooth()) {
    lines.push_back("  Es un puerto Bluetooth: al abrirlo se espera el enlace de radio,");
    lines.push_back("  lo que puede hacer lento el escaneo.");
    if (seen.tried) lines.push_back(BluetoothNotCheckedLine());
  }
}

void AddPort(Lines& lines, const SeenPort& seen, bool devicesRead) {
  const SerialPort& port = seen.facts;
  const std::string name = PortName(port.name);
  if (!port.friendlyName.empty()) {
    lines.push_back("* " + name + ": " + Shown(port.friendlyName));
  } else if (Failed(port.unread, DeviceFact::FriendlyName)) {
    lines.push_back("* " + name);
  } else {
    lines.push_back("* " + name + ": sin nombre descriptivo");
  }
  AddDeviceLines(lines, seen, devicesRead);
  if (seen.NotScanned()) lines.push_back("  " + name + " no se escaneó.");
  AddUnreadValues(lines, port.unread);
  if (seen.found) lines.push_back(CheckLine(*seen.found));
}

Lines PortLines(const WhatWasSeen& seen) {
  const std::vector<SeenPort>& ports = seen.ports;
  const bool devicesRead = seen.Read(DeviceFact::PortDevices);
  return ListLines({"Puertos serie (COM) que tiene Windows:", ports.size(),
                    [&](Lines& lines, size_t i) { AddPort(lines, ports[i], devicesRead); },
                    [&](size_t firstNotListed) {
                      const auto untried = std::count_if(
                          ports.begin() + static_cast<std::ptrdiff_t>(firstNotListed), ports.end(),
                          [](const SeenPort& port) { return port.NotScanned(); });
                      std::string line = "* Y " +
                                         Count(ports.size() - firstNotListed, "puerto", "puertos") +
                                         " más";
                      if (untried > 0) line += ", " + std::to_string(untried) + " sin escanear";
                      return line + ".";
                    },
                    UnreadListLines(seen.unread, {DeviceFact::PortMap, DeviceFact::PortDevices})});
}

// ---- COM numbers held by devices that are not connected.

Lines HeldLines(const WhatWasSeen& seen) {
  const std::vector<HeldPort>& held = seen.heldPorts;
  return ListLines({"Números del COM1 al COM" + std::to_string(kLastPort) +
                        " que guardan dispositivos no conectados:",
                    held.size(),
                    [&](Lines& lines, size_t i) {
                      lines.push_back("* " + PortName(held[i].name) + ": " +
                                      DeviceName(held[i].deviceName) + ", no conectado.");
                      AddUnreadValues(lines, held[i].unread);
                    },
                    [&](size_t firstNotListed) {
                      return "* Y " + Count(held.size() - firstNotListed, "número", "números") +
                             " más.";
                    },
                    UnreadListLines(seen.unread, {DeviceFact::AbsentPorts})});
}

Lines RenumberingLines(bool numbersHeld) {
  Lines lines = {
      "* Para que se escanee, dale un número del COM1 al COM" + std::to_string(kLastPort) + ":",
      "  Administrador de dispositivos > Puertos (COM y LPT) >",
      "  el puerto > Propiedades > Configuración de puerto >",
      "  Opciones avanzadas > Número de puerto COM."};
  if (numbersHeld) {
    lines.push_back("  Sirve también un número que guarda un dispositivo no conectado.");
  }
  lines.push_back(std::string("  ") + kRunAgain);
  return lines;
}

// ---- Devices with a problem.

Lines DeviceLines(const WhatWasSeen& seen) {
  const std::vector<SeenDevice>& devices = seen.devices;
  return ListLines(
      {"Dispositivos con problemas (puertos, módems, USB o sin clase):", devices.size(),
       [&](Lines& lines, size_t i) {
         const ProblemDevice& device = devices[i].facts;
         lines.push_back("* " + DeviceName(device.name));
         lines.push_back("  " + ProblemText(device.problem) + ".");
         AddUnreadValues(lines, device.unread);
       },
       [&](size_t firstNotListed) {
         return "* Y " + Count(devices.size() - firstNotListed, "dispositivo", "dispositivos") +
                " más.";
       },
       UnreadListLines(seen.unread, {DeviceFact::DeviceList, DeviceFact::DeviceStatus})});
}

Lines Section(const WhatWasSeen& seen) {
  Lines lines = Heading(kTitle);
  if (seen.NothingRead()) {
    Append(lines, UnreadListLines(seen.unread, {DeviceFact::All}));
    return lines;
  }
  Append(lines, Verdict(seen, KnownBadDrivers()));
  Append(lines, PortLines(seen));
  Append(lines, HeldLines(seen));
  if (std::any_of(seen.ports.begin(), seen.ports.end(),
                  [](const SeenPort& port) { return port.NotScanned(); })) {
    Append(lines, RenumberingLines(!seen.heldPorts.empty()));
  }
  Append(lines, DeviceLines(seen));
  return lines;
}

}  // namespace

std::vector<std::string> WindowsDevicesSection(const WindowsDevices& devices,
                                               int16_t firstPortNotTried,
                                               const PortChecks& checks) {
  return OrNothingRead(
      [&] { return Section(Seen(devices, firstPortNotTried, checks)); },
      [&](const WindowsDevices& nothing) { return Section(Seen(nothing, firstPortNotTried, {})); });
}

}  // namespace velmaris

#include "diagnosis/WindowsDevicesSection.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <initializer_list>
#include <string>
#include <utility>

#include "common/ReportRule.h"
#include "diagnosis/KnownBadDrivers.h"
#include "diagnosis/ListedPorts.h"
#include "diagnosis/PortCheckWords.h"
#include "diagnosis/Verdict.h"
#include "diagnosis/WindowsWords.h"
#include "link/PortScan.h"
#include "value/Conversions.h"

namespace velmaris {

namespace {

constexpr size_t kListedAtMost = 12;

const char* const kTitle = "LO QUE WINDOWS VE EN ESTE EQUIPO";
const char* const kNoName = "sin nombre descriptivo";

bool SameReading(const UnreadFact& a, const UnreadFact& b) {
  return a.fact == b.fact && a.cause == b.cause && a.code == b.code &&
         a.description == b.description;
}

// Two lines per distinct failed reading of the given lists, saying how often it failed.
std::vector<std::string> UnreadListLines(const std::vector<UnreadFact>& unread,
                                         std::initializer_list<DeviceFact> facts) {
  std::vector<std::pair<const UnreadFact*, size_t>> distinct;
  for (const UnreadFact& fact : unread) {
    if (std::find(facts.begin(), facts.end(), fact.fact) == facts.end()) continue;
    auto same = std::find_if(distinct.begin(), distinct.end(),
                             [&](const auto& known) { return SameReading(*known.first, fact); });
    if (same == distinct.end()) {
      distinct.push_back({&fact, 1});
    } else {
      ++same->second;
    }
  }
  std::vector<std::string> lines;
  for (const auto& [fact, times] : distinct) {
    lines.push_back("* " + WhatWasNotRead(fact->fact, times) + ":");
    lines.push_back(Sentence("  " + Why(*fact)));
  }
  return lines;
}

// One line per failed reading of one port's or device's values.
void AddUnreadValues(std::vector<std::string>& lines, const std::vector<UnreadFact>& unread) {
  for (const UnreadFact& fact : unread) {
    lines.push_back(
        Sentence("  No se pudo leer " + std::string(WhatOfIt(fact.fact)) + ": " + Why(fact)));
  }
}

void Append(std::vector<std::string>& lines, const std::vector<std::string>& more) {
  lines.insert(lines.end(), more.begin(), more.end());
}

// ---- The serial ports.

// "M-D-YYYY", as Windows stores a driver's date, as YYYY-MM-DD; any other form as it is.
std::string DriverDate(const std::string& stored) {
  unsigned month = 0, day = 0, year = 0;
  size_t at = 0;
  const auto number = [&](unsigned& value, size_t digitsAtMost) {
    size_t digits = 0;
    while (at < stored.size() && std::isdigit(static_cast<unsigned char>(stored[at])) &&
           digits < digitsAtMost) {
      value = value * 10 + static_cast<unsigned>(stored[at++] - '0');
      ++digits;
    }
    return digits > 0;
  };
  const auto dash = [&] { return at < stored.size() && stored[at++] == '-'; };
  if (!number(month, 2) || !dash() || !number(day, 2) || !dash() || !number(year, 4) ||
      at != stored.size() || month < 1 || month > 12 || day < 1 || day > 31 || year < 1000) {
    return Shown(stored);
  }
  return std::to_string(year) + "-" + ZeroPaddedDecimal(month, 2) + "-" + ZeroPaddedDecimal(day, 2);
}

std::string DriverLine(const DriverFacts& driver) {
  return "  Driver: " +
         (driver.provider.empty() ? "proveedor desconocido" : Shown(driver.provider)) +
         ", versión " + (driver.version.empty() ? "desconocida" : Shown(driver.version)) +
         ", fecha " + (driver.date.empty() ? "desconocida" : DriverDate(driver.date)) + ".";
}

// What stands behind a port: its device, the device's driver, a Bluetooth link.
void AddDeviceLines(std::vector<std::string>& lines, const ListedPort& listed, bool devicesRead) {
  const SerialPort& port = listed.facts;
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
  if (listed.bluetooth) {
    lines.push_back("  Es un puerto Bluetooth: al abrirlo se espera el enlace de radio,");
    lines.push_back("  lo que puede hacer lento el escaneo.");
    if (listed.tried) lines.push_back(BluetoothNotCheckedLine());
  }
}

std::vector<std::string> PortLines(const std::vector<ListedPort>& ports,
                                   const WindowsDevices& devices, const PortChecks& checks) {
  const std::vector<std::string> unread =
      UnreadListLines(devices.unread, {DeviceFact::PortMap, DeviceFact::PortDevices});
  const bool devicesRead = !Failed(devices.unread, DeviceFact::PortDevices);
  std::vector<std::string> lines = {"Puertos serie (COM) que tiene Windows:"};
  const size_t listed = std::min(ports.size(), kListedAtMost);
  for (size_t i = 0; i < listed; ++i) {
    const SerialPort& port = ports[i].facts;
    const std::string name = port.name.empty() ? "(nombre sin leer)" : Shown(port.name);
    if (!port.friendlyName.empty()) {
      lines.push_back("* " + name + ": " + Shown(port.friendlyName));
    } else if (Failed(port.unread, DeviceFact::FriendlyName)) {
      lines.push_back("* " + name);
    } else {
      lines.push_back("* " + name + ": " + kNoName);
    }
    AddDeviceLines(lines, ports[i], devicesRead);
    if (ports[i].notScanned()) lines.push_back("  " + name + " no se escaneó.");
    AddUnreadValues(lines, port.unread);
    if (ToBeChecked(ports[i])) {
      lines.push_back(CheckLine(ResultOf(checks, ports[i].number), checks.made));
    }
  }
  if (ports.size() > listed) {
    const auto untried =
        std::count_if(ports.begin() + static_cast<std::ptrdiff_t>(listed), ports.end(),
                      [](const ListedPort& port) { return port.notScanned(); });
    std::string line = "* Y " + Count(ports.size() - listed, "puerto", "puertos") + " más";
    if (untried > 0) line += ", " + std::to_string(untried) + " sin escanear";
    lines.push_back(line + ".");
  }
  if (ports.empty() && unread.empty()) lines.push_back("* Ninguno.");
  Append(lines, unread);
  return lines;
}

// ---- COM numbers held by devices that are not connected.

std::vector<const HeldPort*> HeldWithinTheScan(const WindowsDevices& devices) {
  std::vector<const HeldPort*> held;
  for (const HeldPort& port : devices.heldPorts) {
    const long number = ComNumber(port.name);
    if ((number >= 1 && number <= kLastPort) || port.name.empty()) held.push_back(&port);
  }
  return held;
}

std::vector<std::string> HeldLines(const std::vector<const HeldPort*>& held,
                                   const WindowsDevices& devices) {
  const std::vector<std::string> unread =
      UnreadListLines(devices.unread, {DeviceFact::AbsentPorts});
  std::vector<std::string> lines = {"Números del COM1 al COM" + std::to_string(kLastPort) +
                                    " que guardan dispositivos no conectados:"};
  const size_t listed = std::min(held.size(), kListedAtMost);
  for (size_t i = 0; i < listed; ++i) {
    const HeldPort& port = *held[i];
    lines.push_back("* " + (port.name.empty() ? "(nombre sin leer)" : Shown(port.name)) + ": " +
                    (port.deviceName.empty() ? "(sin nombre)" : Shown(port.deviceName)) +
                    ", no conectado.");
    AddUnreadValues(lines, port.unread);
  }
  if (held.size() > listed) {
    lines.push_back("* Y " + Count(held.size() - listed, "número", "números") + " más.");
  }
  if (held.empty() && unread.empty()) lines.push_back("* Ninguno.");
  Append(lines, unread);
  return lines;
}

std::vector<std::string> RenumberingLines(bool numbersHeld) {
  std::vector<std::string> lines = {
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

std::vector<std::string> DeviceLines(const WindowsDevices& devices) {
  std::vector<const ProblemDevice*> candidates;
  for (const ProblemDevice& device : devices.problemDevices) {
    if (device.deviceClass != DeviceClass::Other) candidates.push_back(&device);
  }
  const std::vector<std::string> unread =
      UnreadListLines(devices.unread, {DeviceFact::DeviceList, DeviceFact::DeviceStatus});
  std::vector<std::string> lines = {
      "Dispositivos con problemas (puertos, módems, USB o sin clase):"};
  const size_t listed = std::min(candidates.size(), kListedAtMost);
  for (size_t i = 0; i < listed; ++i) {
    const ProblemDevice& device = *candidates[i];
    lines.push_back("* " + (device.name.empty() ? "(sin nombre)" : Shown(device.name)));
    lines.push_back("  " + ProblemText(device.problem) + ".");
    AddUnreadValues(lines, device.unread);
  }
  if (candidates.size() > listed) {
    lines.push_back("* Y " + Count(candidates.size() - listed, "dispositivo", "dispositivos") +
                    " más.");
  }
  if (candidates.empty() && unread.empty()) lines.push_back("* Ninguno.");
  Append(lines, unread);
  return lines;
}

std::vector<std::string> Heading() { return {kSectionRule, kTitle, kSectionRule}; }

std::vector<std::string> NothingRead(const std::string& why) {
  std::vector<std::string> lines = Heading();
  Append(lines, UnreadListLines({{DeviceFact::All, UnreadFact::Cause::Program, 0, why}},
                                {DeviceFact::All}));
  return lines;
}

std::vector<std::string> Section(const WindowsDevices& devices, int16_t firstPortNotTried,
                                 const PortChecks& checks) {
  std::vector<std::string> lines = Heading();
  const std::vector<std::string> nothingRead = UnreadListLines(devices.unread, {DeviceFact::All});
  if (!nothingRead.empty()) {
    Append(lines, nothingRead);
    return lines;
  }
  const std::vector<ListedPort> ports = ListedPorts(devices.ports, firstPortNotTried);
  const std::vector<const HeldPort*> held = HeldWithinTheScan(devices);
  Append(lines, Verdict(devices, firstPortNotTried, checks, KnownBadDrivers()));
  Append(lines, PortLines(ports, devices, checks));
  Append(lines, HeldLines(held, devices));
  if (std::any_of(ports.begin(), ports.end(),
                  [](const ListedPort& port) { return port.notScanned(); })) {
    Append(lines, RenumberingLines(!held.empty()));
  }
  Append(lines, DeviceLines(devices));
  return lines;
}

}  // namespace

std::vector<std::string> WindowsDevicesSection(const WindowsDevices& devices,
                                               int16_t firstPortNotTried,
                                               const PortChecks& checks) {
  try {
    return Section(devices, firstPortNotTried, checks);
  } catch (const std::exception& error) {
    // The program's Failure is a std::exception whose what() is its description.
    return NothingRead(error.what());
  } catch (...) {
    return NothingRead("");
  }
}

}  // namespace velmaris

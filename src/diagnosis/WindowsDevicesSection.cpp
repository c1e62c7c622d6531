#include "diagnosis/WindowsDevicesSection.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <initializer_list>
#include <string>
#include <utility>

#include "common/ComponentText.h"
#include "common/ReportRule.h"
#include "link/PortScan.h"
#include "value/Conversions.h"

namespace velmaris {

namespace {

constexpr size_t kListedAtMost = 12;
// A name Windows keeps is one line of the report and stays short.
constexpr size_t kWindowsTextLimit = 100;
// A COM number with more digits is no port number Windows hands out.
constexpr size_t kComDigitsAtMost = 5;

const char* const kTitle = "LO QUE WINDOWS VE EN ESTE EQUIPO";
const char* const kNoName = "sin nombre descriptivo";

// A text from Windows, guarded as the component's texts are.
std::string Shown(const std::string& text) { return BoundedText(text, kWindowsTextLimit); }

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// n for a name COMn (in capitals), 0 for any other.
long ComNumber(const std::string& key) {
  if (key.rfind("COM", 0) != 0) return 0;
  const std::string digits = key.substr(3);
  if (digits.empty() || digits.size() > kComDigitsAtMost) return 0;
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return 0;
  return std::stol(digits);
}

bool Has(const std::vector<UnreadFact>& unread, DeviceFact fact) {
  return std::any_of(unread.begin(), unread.end(),
                     [&](const UnreadFact& one) { return one.fact == fact; });
}

// ---- Why a reading failed, and what it was.

struct Words {
  uint32_t code;
  const char* text;
};

// Windows' device problem numbers (CM_PROB_*) in the report's words.
const Words kProblems[] = {
    {1, "No está configurado"},
    {3, "Faltan memoria o recursos del sistema"},
    {10, "No puede iniciar"},
    {12, "No encuentra recursos libres"},
    {14, "Necesita reiniciar el equipo"},
    {18, "Hay que reinstalar su driver"},
    {19, "Su configuración en el registro está dañada"},
    {21, "Windows lo está quitando"},
    {22, "Está deshabilitado"},
    {24, "No está presente o no funciona"},
    {28, "No tiene instalado su driver"},
    {29, "El hardware lo tiene deshabilitado"},
    {31, "Su driver no pudo cargarlo"},
    {32, "Su driver está deshabilitado"},
    {37, "Su driver falló al iniciar"},
    {39, "Su driver falta o está dañado"},
    {43, "Windows lo detuvo porque informó un fallo"},
    {45, "No está conectado"},
    {47, "Está preparado para quitarlo"},
    {48, "Su driver está bloqueado"},
    {52, "Windows no pudo verificar la firma de su driver"},
};

// Win32 error codes.
const Words kWindowsErrors[] = {
    {2, "No existe"},       {5, "Acceso denegado"},       {8, "Memoria insuficiente"},
    {13, "Dato no válido"}, {14, "Memoria insuficiente"},
};

// Configuration manager results (CR_*).
const Words kConfigManagerResults[] = {
    {0x02, "Memoria insuficiente"},      {0x05, "El dispositivo ya no está"},
    {0x0D, "El dispositivo ya no está"}, {0x33, "Acceso denegado"},
    {0x34, "Función no disponible"},
};

template <size_t N>
const char* Lookup(const Words (&table)[N], uint32_t code) {
  for (const Words& words : table) {
    if (words.code == code) return words.text;
  }
  return nullptr;
}

std::string ProblemText(uint32_t problem) {
  const char* words = Lookup(kProblems, problem);
  return std::string(words ? words : "Tiene un problema") + " (código " + std::to_string(problem) +
         ")";
}

// A Win32 error in decimal, as Windows shows it; the device setup API's own errors, which carry
// the customer bit, in hexadecimal, as they are documented.
std::string WindowsErrorNumber(uint32_t code) {
  return code < 0x10000 ? std::to_string(code) : "0x" + UpperHex(code, 8);
}

std::string Why(const UnreadFact& fact) {
  switch (fact.cause) {
    case UnreadFact::Cause::WindowsError: {
      const std::string number = WindowsErrorNumber(fact.code);
      const char* words = Lookup(kWindowsErrors, fact.code);
      return words ? std::string(words) + " (error " + number + " de Windows)"
                   : "Error " + number + " de Windows";
    }
    case UnreadFact::Cause::ConfigManager: {
      const std::string number = std::to_string(fact.code);
      const char* words = Lookup(kConfigManagerResults, fact.code);
      return words ? std::string(words) + " (código CR " + number + ")" : "Código CR " + number;
    }
    case UnreadFact::Cause::Program:
      break;
  }
  const std::string description = Shown(fact.description);
  return description.empty() ? "Error del programa" : description;
}

std::string Sentence(std::string text) {
  if (text.empty() || text.back() != '.') text += '.';
  return text;
}

std::string Count(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// What a whole list's reading was, for the line that says it failed.
std::string WhatWasNotRead(DeviceFact fact, size_t times) {
  switch (fact) {
    case DeviceFact::PortMap:
      return "No se pudo leer el mapa de puertos del registro";
    case DeviceFact::PortDevices:
      return "No se pudo leer las clases Puertos (COM y LPT) y Módems";
    case DeviceFact::DeviceList:
      return "No se pudo leer la lista de dispositivos";
    case DeviceFact::DeviceStatus:
      return "No se pudo leer el estado de " + Count(times, "dispositivo", "dispositivos");
    case DeviceFact::AbsentPorts:
      return "No se pudo leer la lista de puertos no conectados";
    default:
      break;
  }
  return "No se pudo leer lo que ve Windows";
}

// What one value of a port or device was, for the line that says it failed.
const char* WhatOfIt(DeviceFact fact) {
  switch (fact) {
    case DeviceFact::PortName:
      return "su nombre de puerto";
    case DeviceFact::FriendlyName:
      return "su nombre descriptivo";
    case DeviceFact::DeviceInstance:
      return "su identificador de dispositivo";
    case DeviceFact::DriverKey:
      return "la clave de su driver";
    case DeviceFact::DriverProvider:
      return "el proveedor de su driver";
    case DeviceFact::DriverVersion:
      return "la versión de su driver";
    case DeviceFact::DriverDate:
      return "la fecha de su driver";
    default:
      break;
  }
  return "su estado";
}

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

struct Port {
  SerialPort facts;
  std::string key;  // the name in capitals, as ports are compared
  long number;      // n for COMn, 0 for any other name
  bool tried;
};

// COM ports by number, then any other names in alphabetical order.
bool ListedBefore(const Port& a, const Port& b) {
  if ((a.number == 0) != (b.number == 0)) return a.number != 0;
  if (a.number != b.number) return a.number < b.number;
  return a.key < b.key;
}

// A port listed again: a device behind a name of the device map brings its facts; of two devices
// with the same name the first is kept, and a friendly name missing is taken from the later.
void Merge(SerialPort& known, const SerialPort& again) {
  if (known.device == PortDevice::None && again.device != PortDevice::None) {
    std::string name = std::move(known.name);
    std::string friendlyName = std::move(known.friendlyName);
    known = again;
    known.name = std::move(name);
    if (known.friendlyName.empty()) known.friendlyName = std::move(friendlyName);
    return;
  }
  if (known.friendlyName.empty() && !Has(known.unread, DeviceFact::FriendlyName)) {
    known.friendlyName = again.friendlyName;
  }
}

// One entry per name (compared without case), in listing order; printer ports of the same
// device class left out. There are few ports: each entry is put in its place as it comes.
std::vector<Port> SerialPorts(const std::vector<SerialPort>& reported, int16_t firstPortNotTried) {
  std::vector<Port> ports;
  for (const SerialPort& port : reported) {
    std::string key = Upper(port.name);
    if (key.rfind("LPT", 0) == 0) continue;
    auto same = std::find_if(ports.begin(), ports.end(),
                             [&](const Port& known) { return !key.empty() && known.key == key; });
    if (same != ports.end()) {
      Merge(same->facts, port);
      continue;
    }
    const long number = ComNumber(key);
    Port entry{port, std::move(key), number, number > 0 && number < firstPortNotTried};
    const auto place = std::find_if(ports.begin(), ports.end(),
                                    [&](const Port& known) { return ListedBefore(entry, known); });
    ports.insert(place, std::move(entry));
  }
  return ports;
}

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
  const auto two = [](unsigned value) { return (value < 10 ? "0" : "") + std::to_string(value); };
  return std::to_string(year) + "-" + two(month) + "-" + two(day);
}

std::string DriverLine(const DriverFacts& driver) {
  return "  Driver: " +
         (driver.provider.empty() ? "proveedor desconocido" : Shown(driver.provider)) +
         ", versión " + (driver.version.empty() ? "desconocida" : Shown(driver.version)) +
         ", fecha " + (driver.date.empty() ? "desconocida" : DriverDate(driver.date)) + ".";
}

// What stands behind a port: its device, the device's driver, a Bluetooth link.
void AddDeviceLines(std::vector<std::string>& lines, const SerialPort& port, bool devicesRead) {
  if (port.device == PortDevice::None) {
    // Without the device list, a port without a device might just not have been looked up.
    if (devicesRead) lines.push_back("  Solo está en el mapa de puertos: no tiene dispositivo.");
    return;
  }
  if (port.device == PortDevice::Modem) lines.push_back("  Windows lo instaló como módem.");
  if (port.driver.installed) {
    lines.push_back(DriverLine(port.driver));
  } else if (!Has(port.unread, DeviceFact::DriverKey)) {
    lines.push_back("  No tiene driver instalado.");
  }
  if (port.bluetooth) {
    lines.push_back("  Es un puerto Bluetooth: al abrirlo se espera el enlace de radio,");
    lines.push_back("  lo que puede hacer lento el escaneo.");
  }
}

std::vector<std::string> PortLines(const std::vector<Port>& ports, const WindowsDevices& devices) {
  const std::vector<std::string> unread =
      UnreadListLines(devices.unread, {DeviceFact::PortMap, DeviceFact::PortDevices});
  const bool devicesRead = !Has(devices.unread, DeviceFact::PortDevices);
  std::vector<std::string> lines = {"Puertos serie (COM) que tiene Windows:"};
  const size_t listed = std::min(ports.size(), kListedAtMost);
  for (size_t i = 0; i < listed; ++i) {
    const SerialPort& port = ports[i].facts;
    const std::string name = port.name.empty() ? "(nombre sin leer)" : Shown(port.name);
    if (!port.friendlyName.empty()) {
      lines.push_back("* " + name + ": " + Shown(port.friendlyName));
    } else if (Has(port.unread, DeviceFact::FriendlyName)) {
      lines.push_back("* " + name);
    } else {
      lines.push_back("* " + name + ": " + kNoName);
    }
    AddDeviceLines(lines, port, devicesRead);
    if (!port.name.empty() && !ports[i].tried) lines.push_back("  " + name + " no se escaneó.");
    AddUnreadValues(lines, port.unread);
  }
  if (ports.size() > listed) {
    const auto untried =
        std::count_if(ports.begin() + static_cast<std::ptrdiff_t>(listed), ports.end(),
                      [](const Port& port) { return !port.facts.name.empty() && !port.tried; });
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
    const long number = ComNumber(Upper(port.name));
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
  lines.push_back("  Luego vuelve a ejecutar este diagnóstico.");
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

}  // namespace

std::vector<std::string> WindowsDevicesSection(const WindowsDevices& devices,
                                               int16_t firstPortNotTried) {
  std::vector<std::string> lines = Heading();
  const std::vector<std::string> nothingRead = UnreadListLines(devices.unread, {DeviceFact::All});
  if (!nothingRead.empty()) {
    Append(lines, nothingRead);
    return lines;
  }
  const std::vector<Port> ports = SerialPorts(devices.ports, firstPortNotTried);
  const std::vector<const HeldPort*> held = HeldWithinTheScan(devices);
  Append(lines, PortLines(ports, devices));
  Append(lines, HeldLines(held, devices));
  if (std::any_of(ports.begin(), ports.end(),
                  [](const Port& port) { return !port.facts.name.empty() && !port.tried; })) {
    Append(lines, RenumberingLines(!held.empty()));
  }
  Append(lines, DeviceLines(devices));
  return lines;
}

std::vector<std::string> WindowsDevicesSection(const WindowsDevicesReader& readWindowsDevices,
                                               int16_t firstPortNotTried) {
  try {
    return WindowsDevicesSection(readWindowsDevices(), firstPortNotTried);
  } catch (const std::exception& error) {
    // The program's Failure is a std::exception whose what() is its description.
    return NothingRead(error.what());
  } catch (...) {
    return NothingRead("");
  }
}

}  // namespace velmaris

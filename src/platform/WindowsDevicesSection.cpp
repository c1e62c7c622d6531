#include "platform/WindowsDevicesSection.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <string>
#include <utility>

namespace velmaris {

namespace {

constexpr size_t kListedAtMost = 12;
// Longer names are cut: a name is one line of the report and stays short.
constexpr size_t kNameBytesAtMost = 100;
// A COM number with more digits is no port number Windows hands out.
constexpr size_t kComDigitsAtMost = 5;

const char* const kRule = "================================";
const char* const kTitle = "LO QUE WINDOWS VE EN ESTE EQUIPO";

struct Port {
  std::string name;
  std::string key;  // the name in capitals, as ports are compared
  std::string friendlyName;
  long number;  // n for COMn, 0 for any other name
  bool tried;
};

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

// Names come from drivers and the registry: control characters would break the report's lines.
std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    out += byte < 0x20 || byte == 0x7F ? ' ' : c;
  }
  if (out.size() <= kNameBytesAtMost) return out;
  size_t cut = kNameBytesAtMost;
  while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
  return out.substr(0, cut) + "…";
}

// COM ports by number, then any other names in alphabetical order.
bool ListedBefore(const Port& a, const Port& b) {
  if ((a.number == 0) != (b.number == 0)) return a.number != 0;
  if (a.number != b.number) return a.number < b.number;
  return a.key < b.key;
}

// One entry per name (compared without case), with the first friendly name found, in listing
// order; printer ports of the same device class left out. There are few ports: each entry is put
// in its place as it comes.
std::vector<Port> SerialPorts(const std::vector<SerialPort>& reported, int16_t firstPortNotTried) {
  std::vector<Port> ports;
  for (const SerialPort& port : reported) {
    std::string key = Upper(port.name);
    if (key.empty() || key.rfind("LPT", 0) == 0) continue;
    auto same = std::find_if(ports.begin(), ports.end(),
                             [&](const Port& known) { return known.key == key; });
    if (same != ports.end()) {
      if (same->friendlyName.empty()) same->friendlyName = port.friendlyName;
      continue;
    }
    const long number = ComNumber(key);
    Port entry{port.name, std::move(key), port.friendlyName, number,
               number > 0 && number < firstPortNotTried};
    const auto place = std::find_if(ports.begin(), ports.end(),
                                    [&](const Port& known) { return ListedBefore(entry, known); });
    ports.insert(place, std::move(entry));
  }
  return ports;
}

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
    {2, "No existe"},
    {5, "Acceso denegado"},
    {8, "Memoria insuficiente"},
    {14, "Memoria insuficiente"},
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

std::string Why(const UnreadFact& fact) {
  const std::string code = std::to_string(fact.code);
  switch (fact.cause) {
    case UnreadFact::Cause::WindowsError: {
      const char* words = Lookup(kWindowsErrors, fact.code);
      return words ? std::string(words) + " (error " + code + " de Windows)"
                   : "Error " + code + " de Windows";
    }
    case UnreadFact::Cause::ConfigManager: {
      const char* words = Lookup(kConfigManagerResults, fact.code);
      return words ? std::string(words) + " (código CR " + code + ")" : "Código CR " + code;
    }
    case UnreadFact::Cause::Program:
      break;
  }
  const std::string description = Printable(fact.description);
  return description.empty() ? "Error del programa" : description;
}

std::string Count(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string WhatWasNotRead(DeviceFact fact, size_t times) {
  switch (fact) {
    case DeviceFact::PortMap:
      return "No se pudo leer el mapa de puertos del registro";
    case DeviceFact::PortDevices:
      return "No se pudo leer la clase Puertos (COM y LPT)";
    case DeviceFact::DeviceList:
      return "No se pudo leer la lista de dispositivos";
    case DeviceFact::DeviceStatus:
      return "No se pudo leer el estado de " + Count(times, "dispositivo", "dispositivos");
    case DeviceFact::All:
      break;
  }
  return "No se pudo leer lo que ve Windows";
}

bool SameReading(const UnreadFact& a, const UnreadFact& b) {
  return a.fact == b.fact && a.cause == b.cause && a.code == b.code &&
         a.description == b.description;
}

// Two lines per distinct failed reading of the given facts, saying how often it failed.
std::vector<std::string> UnreadLines(const std::vector<UnreadFact>& unread,
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
    std::string why = "  " + Why(*fact);
    if (why.back() != '.') why += '.';
    lines.push_back("* " + WhatWasNotRead(fact->fact, times) + ":");
    lines.push_back(why);
  }
  return lines;
}

void Append(std::vector<std::string>& lines, const std::vector<std::string>& more) {
  lines.insert(lines.end(), more.begin(), more.end());
}

std::vector<std::string> PortLines(const WindowsDevices& devices, int16_t firstPortNotTried) {
  const std::vector<Port> ports = SerialPorts(devices.ports, firstPortNotTried);
  const std::vector<std::string> unread =
      UnreadLines(devices.unread, {DeviceFact::PortMap, DeviceFact::PortDevices});
  std::vector<std::string> lines = {"Puertos serie (COM) que tiene Windows:"};
  const size_t listed = std::min(ports.size(), kListedAtMost);
  for (size_t i = 0; i < listed; ++i) {
    const Port& port = ports[i];
    const std::string name = Printable(port.name);
    lines.push_back(
        "* " + name + ": " +
        (port.friendlyName.empty() ? "sin nombre descriptivo" : Printable(port.friendlyName)));
    if (!port.tried) lines.push_back("  " + name + " no se escaneó.");
  }
  if (ports.size() > listed) {
    const auto untried = std::count_if(ports.begin() + static_cast<std::ptrdiff_t>(listed),
                                       ports.end(), [](const Port& port) { return !port.tried; });
    std::string line = "* Y " + Count(ports.size() - listed, "puerto", "puertos") + " más";
    if (untried > 0) line += ", " + std::to_string(untried) + " sin escanear";
    lines.push_back(line + ".");
  }
  if (ports.empty() && unread.empty()) lines.push_back("* Ninguno.");
  Append(lines, unread);
  if (std::any_of(ports.begin(), ports.end(), [](const Port& port) { return !port.tried; })) {
    Append(lines, {"* Para que se escanee, dale un número del COM1 al COM20:",
                   "  Administrador de dispositivos > Puertos (COM y LPT) >",
                   "  el puerto > Propiedades > Configuración de puerto >",
                   "  Opciones avanzadas > Número de puerto COM.",
                   "  Luego vuelve a ejecutar este diagnóstico."});
  }
  return lines;
}

std::vector<std::string> DeviceLines(const WindowsDevices& devices) {
  std::vector<const ProblemDevice*> candidates;
  for (const ProblemDevice& device : devices.problemDevices) {
    if (device.deviceClass != DeviceClass::Other) candidates.push_back(&device);
  }
  const std::vector<std::string> unread =
      UnreadLines(devices.unread, {DeviceFact::DeviceList, DeviceFact::DeviceStatus});
  std::vector<std::string> lines = {"Dispositivos con problemas (puertos, USB o sin clase):"};
  const size_t listed = std::min(candidates.size(), kListedAtMost);
  for (size_t i = 0; i < listed; ++i) {
    const ProblemDevice& device = *candidates[i];
    lines.push_back("* " + (device.name.empty() ? "(sin nombre)" : Printable(device.name)));
    lines.push_back("  " + ProblemText(device.problem) + ".");
  }
  if (candidates.size() > listed) {
    lines.push_back("* Y " + Count(candidates.size() - listed, "dispositivo", "dispositivos") +
                    " más.");
  }
  if (candidates.empty() && unread.empty()) lines.push_back("* Ninguno.");
  Append(lines, unread);
  return lines;
}

}  // namespace

std::vector<std::string> WindowsDevicesSection(const WindowsDevices& devices,
                                               int16_t firstPortNotTried) {
  std::vector<std::string> lines = {kRule, kTitle, kRule};
  const std::vector<std::string> nothingRead = UnreadLines(devices.unread, {DeviceFact::All});
  if (!nothingRead.empty()) {
    Append(lines, nothingRead);
    return lines;
  }
  Append(lines, PortLines(devices, firstPortNotTried));
  Append(lines, DeviceLines(devices));
  return lines;
}

}  // namespace velmaris

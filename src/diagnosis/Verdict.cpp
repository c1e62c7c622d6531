#include "diagnosis/Verdict.h"

#include <algorithm>
#include <functional>
#include <initializer_list>

#include "diagnosis/DeviceOrigin.h"
#include "diagnosis/ListedPorts.h"
#include "diagnosis/PortCheckWords.h"
#include "diagnosis/WindowsWords.h"

namespace velmaris {

namespace {

using Lines = std::vector<std::string>;

constexpr size_t kNamedAtMost = 3;
const char* const kCause = "Causa más probable: ";
const char* const kListsBelow = "Las listas de abajo dicen lo que ve Windows.";

// Whether something holds of a port or device: certainly, certainly not, or perhaps, because a
// reading it rests on failed.
enum class Known { No, Perhaps, Yes };

struct Judged {
  Known value;
  std::string why{};  // for Perhaps: the reading that failed, as a line of the verdict
};

Judged Certainly(bool holds) { return {holds ? Known::Yes : Known::No}; }

// What one rule found: whether it applies, and to what; or why it might.
struct Finding {
  bool applies = false;
  Lines names{};         // what it applies to, in the lists' order
  uint32_t problem = 0;  // for the devices with a problem: the code of those named
  Lines unknowns{};      // why it might apply, each once

  Known outcome() const {
    if (applies) return Known::Yes;
    return unknowns.empty() ? Known::No : Known::Perhaps;
  }

  void Unknown(const std::string& why) {
    if (!why.empty() && std::find(unknowns.begin(), unknowns.end(), why) == unknowns.end()) {
      unknowns.push_back(why);
    }
  }

  // Whether all of `facts` hold of one port or device; where none certainly fails but some are
  // not known, why is kept.
  Known Weigh(std::initializer_list<Judged> facts) {
    Known all = Known::Yes;
    for (const Judged& fact : facts) all = std::min(all, fact.value);
    if (all == Known::Perhaps) {
      for (const Judged& fact : facts) {
        if (fact.value == Known::Perhaps) Unknown(fact.why);
      }
    }
    return all;
  }
};

// What the ports' devices are, as far as the verdict cares.
enum class Kind { Adapter, BuiltIn, Other };

// A port as it is named in the lists.
std::string Label(const ListedPort& port) {
  if (!port.facts.name.empty()) return Shown(port.facts.name);
  return port.facts.friendlyName.empty() ? "(nombre sin leer)" : Shown(port.facts.friendlyName);
}

std::string NamedPort(const ListedPort& port) {
  if (port.facts.name.empty() || port.facts.friendlyName.empty()) return Label(port);
  return Label(port) + ": " + Shown(port.facts.friendlyName);
}

std::string NamedDevice(const ProblemDevice& device) {
  return device.name.empty() ? "(sin nombre)" : Shown(device.name);
}

std::string NotRead(const std::string& label, DeviceFact fact) {
  return "  " + label + ": no se pudo leer " + WhatOfIt(fact) + ".";
}

// ---- The words of each rule.

std::string NamesLine(const Lines& names) {
  std::string line = "  ";
  const size_t named = std::min(names.size(), kNamedAtMost);
  for (size_t i = 0; i < named; ++i) line += (i > 0 ? "; " : "") + names[i];
  if (names.size() > named) line += "; y " + std::to_string(names.size() - named) + " más";
  return line;
}

// The cause, the names and what to do.
Lines Said(const Finding& finding, const char* one, const char* many, const Lines& advice) {
  Lines lines = {kCause + std::string(finding.names.size() == 1 ? one : many),
                 NamesLine(finding.names)};
  lines.insert(lines.end(), advice.begin(), advice.end());
  return lines;
}

Lines InUse(const Finding& finding, bool adapter) {
  const bool one = finding.names.size() == 1;
  Lines advice = {std::string("Cierra los programas que puedan usar") + (one ? "lo" : "los") +
                      ", primero Velmaris,",
                  std::string("y vuelve a ejecutar este diagnóstico. Si sigue") + (one ? "" : "n") +
                      " en uso,"};
  if (adapter) {
    advice.push_back(std::string("desconecta ") + (one ? "el adaptador" : "los adaptadores") +
                     " diez segundos o reinicia Windows.");
    return Said(finding,
                "otro programa usa este puerto:", "otros programas usan estos puertos:", advice);
  }
  advice.push_back("reinicia Windows.");
  return Said(finding, "otro programa usa este puerto de la PC:",
              "otros programas usan puertos de la PC:", advice);
}

const Lines kReplugAdvice = {"Desconéctalo y vuelve a conectarlo. Si sigue igual,",
                             "reinstala su driver.", kRunAgain};

Lines WithProblem(const Finding& finding) {
  const std::string code = "(código " + std::to_string(finding.problem) + "):";
  const std::string one = "dispositivo con problema " + code;
  const std::string many = "dispositivos con problema " + code;
  Lines advice;
  switch (finding.problem) {
    case 28:
      advice = {"Instala su driver.", kRunAgain};
      break;
    case 22:
      advice = {"Está deshabilitado: en el Administrador de dispositivos,",
                "haz clic derecho en él > Habilitar dispositivo.", kRunAgain};
      break;
    case 43:
      advice = {"El dispositivo USB falló: prueba otro cable y otro puerto",
                "USB de la PC, sin concentrador (hub).", kRunAgain};
      break;
    case 10:
      advice = kReplugAdvice;
      break;
    default:
      advice = {"Reinstala su driver.", kRunAgain};
      break;
  }
  return Said(finding, one.c_str(), many.c_str(), advice);
}

Lines KnownBad(const Finding& finding) {
  return Said(finding,
              "este puerto tiene un driver que falla:", "estos puertos tienen un driver que falla:",
              {"Esa versión falla a menudo: vuelve al driver anterior en el",
               "Administrador de dispositivos > el puerto > Propiedades >",
               "Controlador > Revertir al controlador anterior.", kRunAgain});
}

Lines DriverFails(const Finding& finding) {
  return Said(finding, "falla el driver de este adaptador:",
              "falla el driver de estos adaptadores:", kReplugAdvice);
}

Lines NotScanned(const Finding& finding) {
  return Said(finding,
              "el escaneo no prueba este adaptador:", "el escaneo no prueba estos adaptadores:",
              {"Dale otro número siguiendo los pasos de abajo."});
}

Lines Free(const Finding& finding) {
  return Said(
      finding,
      "la unidad no responde por este adaptador:", "la unidad no responde por estos adaptadores:",
      {"El adaptador está y nadie lo usa. Revisa que la unidad esté",
       "encendida, que su cable vaya a ese adaptador y que sea el", "cable propio de la unidad."});
}

Lines NothingSeen(const Finding&) {
  return {kCause + std::string("Windows no ve la unidad ni un adaptador."),
          "Unidad USB: revisa su alimentación y su cable (de datos, no",
          "uno que solo carga), prueba otro puerto USB e instala el",
          "driver del adaptador. Unidad en el puerto serie de la PC:",
          "revisa el cable y que la unidad esté encendida."};
}

Lines NoCause(const Finding&) { return {"Ninguna causa destaca sobre las demás.", kListsBelow}; }

Lines CannotDecide(const Finding& finding) {
  Lines lines = {"No se puede decidir la causa más probable:"};
  const size_t named = std::min(finding.unknowns.size(), kNamedAtMost);
  lines.insert(lines.end(), finding.unknowns.begin(),
               finding.unknowns.begin() + static_cast<std::ptrdiff_t>(named));
  if (finding.unknowns.size() > named) {
    lines.push_back("  Y " + Count(finding.unknowns.size() - named, "motivo", "motivos") + " más.");
  }
  lines.push_back(kListsBelow);
  return lines;
}

// ---- The rules.

class Judge {
 public:
  Judge(const WindowsDevices& devices, int16_t firstPortNotTried, const PortChecks& checks,
        const std::vector<KnownBadDriver>& knownBadDrivers)
      : devices_(devices),
        ports_(ListedPorts(devices.ports, firstPortNotTried)),
        checks_(checks),
        knownBadDrivers_(knownBadDrivers) {}

  Lines Verdict() const {
    const struct {
      std::function<Finding()> find;
      std::function<Lines(const Finding&)> words;
    } rules[] = {
        {[this] { return AdapterPorts(PortState::InUse); },
         [](const Finding& found) { return InUse(found, true); }},
        {[this] { return DevicesWithAProblem(); }, WithProblem},
        {[this] { return PortsWithAKnownBadDriver(); }, KnownBad},
        {[this] { return AdapterPorts(PortState::DriverFails); }, DriverFails},
        {[this] { return AdaptersNotScanned(); }, NotScanned},
        {[this] { return AdapterPorts(PortState::Free); }, Free},
        {[this] { return BuiltInPortsInUse(); },
         [](const Finding& found) { return InUse(found, false); }},
        {[this] { return NothingToSee(); }, NothingSeen},
    };
    for (const auto& rule : rules) {
      const Finding finding = rule.find();
      if (finding.outcome() == Known::Yes) return rule.words(finding);
      if (finding.outcome() == Known::Perhaps) return CannotDecide(finding);
    }
    return NoCause({});
  }

 private:
  bool Read(DeviceFact list) const { return !Failed(devices_.unread, list); }

  // A rule that rests on whole lists might apply when one of them could not be read.
  void Needs(Finding& finding, std::initializer_list<DeviceFact> lists) const {
    for (DeviceFact list : lists) {
      const auto times = std::count_if(devices_.unread.begin(), devices_.unread.end(),
                                       [&](const UnreadFact& one) { return one.fact == list; });
      if (times > 0) {
        finding.Unknown("  " + WhatWasNotRead(list, static_cast<size_t>(times)) + ".");
      }
    }
  }

  // A port only the device map names is the PC's own, once the devices could be read.
  Judged IsKind(const ListedPort& port, Kind kind) const {
    if (port.facts.device == PortDevice::None) {
      if (!Read(DeviceFact::PortDevices)) return {Known::Perhaps};
      return Certainly(kind == Kind::BuiltIn);
    }
    if (Failed(port.facts.unread, DeviceFact::DeviceInstance)) {
      return {Known::Perhaps, NotRead(Label(port), DeviceFact::DeviceInstance)};
    }
    switch (OriginOf(port.facts.instanceId)) {
      case DeviceOrigin::Usb:
        return Certainly(kind == Kind::Adapter);
      case DeviceOrigin::BuiltIn:
        return Certainly(kind == Kind::BuiltIn);
      default:
        return Certainly(kind == Kind::Other);
    }
  }

  // Whether the check found the port so. A port whose name could not be read may have been
  // tried, and was not checked.
  Judged Checked(const ListedPort& port, PortState state) const {
    if (port.facts.name.empty()) {
      return {Known::Perhaps, NotRead(Label(port), DeviceFact::PortName)};
    }
    if (!ToBeChecked(port)) return Certainly(false);
    const PortCheckResult* result = ResultOf(checks_, port.number);
    if (result != nullptr && result->state != PortState::NotChecked) {
      return Certainly(result->state == state);
    }
    return {Known::Perhaps,
            "  " + Label(port) + " sin comprobar: " + NotCheckedWhy(checks_.made) + "."};
  }

  Judged Untried(const ListedPort& port) const {
    if (port.facts.name.empty()) {
      return {Known::Perhaps, NotRead(Label(port), DeviceFact::PortName)};
    }
    return Certainly(port.notScanned());
  }

  Judged HasAKnownBadDriver(const ListedPort& port) const {
    if (port.facts.device == PortDevice::None) return Certainly(false);
    for (DeviceFact value :
         {DeviceFact::DriverKey, DeviceFact::DriverProvider, DeviceFact::DriverVersion}) {
      if (Failed(port.facts.unread, value)) return {Known::Perhaps, NotRead(Label(port), value)};
    }
    return Certainly(IsKnownBad(port.facts.driver, knownBadDrivers_));
  }

  // A device of the classes the section names that could be the unit or its adapter: not a
  // Bluetooth link, and one without class only when USB enumerated it.
  Judged MayBeTheUnit(const ProblemDevice& device) const {
    if (Failed(device.unread, DeviceFact::DeviceInstance)) {
      return {Known::Perhaps, NotRead(NamedDevice(device), DeviceFact::DeviceInstance)};
    }
    const DeviceOrigin origin = OriginOf(device.instanceId);
    if (origin == DeviceOrigin::Bluetooth) return Certainly(false);
    if (device.deviceClass == DeviceClass::NoClass) return Certainly(origin == DeviceOrigin::Usb);
    return Certainly(device.deviceClass != DeviceClass::Other);
  }

  // The ports, Bluetooth links left out, of which all the judged facts hold.
  Finding PortsWhere(std::initializer_list<DeviceFact> lists,
                     const std::function<Known(Finding&, const ListedPort&)>& weigh,
                     const std::function<std::string(const ListedPort&)>& name = NamedPort) const {
    Finding finding;
    Needs(finding, lists);
    for (const ListedPort& port : ports_) {
      if (!port.bluetooth && weigh(finding, port) == Known::Yes) {
        finding.names.push_back(name(port));
      }
    }
    finding.applies = !finding.names.empty();
    return finding;
  }

  Finding AdapterPorts(PortState state) const {
    return PortsWhere({DeviceFact::PortDevices}, [&](Finding& finding, const ListedPort& port) {
      return finding.Weigh({IsKind(port, Kind::Adapter), Checked(port, state)});
    });
  }

  Finding BuiltInPortsInUse() const {
    return PortsWhere({DeviceFact::PortDevices, DeviceFact::PortMap}, [&](Finding& finding,
                                                                          const ListedPort& port) {
      return finding.Weigh({IsKind(port, Kind::BuiltIn), Checked(port, PortState::InUse)});
    });
  }

  Finding AdaptersNotScanned() const {
    return PortsWhere({DeviceFact::PortDevices}, [&](Finding& finding, const ListedPort& port) {
      return finding.Weigh({IsKind(port, Kind::Adapter), Untried(port)});
    });
  }

  Finding PortsWithAKnownBadDriver() const {
    return PortsWhere(
        {DeviceFact::PortDevices},
        [&](Finding& finding, const ListedPort& port) {
          return finding.Weigh({HasAKnownBadDriver(port)});
        },
        [](const ListedPort& port) {
          return NamedPort(port) + ", versión " + Shown(port.facts.driver.version);
        });
  }

  // Named by the problem of the first: advice differs from one problem to another.
  Finding DevicesWithAProblem() const {
    Finding finding;
    Needs(finding, {DeviceFact::DeviceList, DeviceFact::DeviceStatus});
    for (const ProblemDevice& device : devices_.problemDevices) {
      if (device.deviceClass == DeviceClass::Other) continue;
      if (finding.Weigh({MayBeTheUnit(device)}) != Known::Yes) continue;
      if (finding.names.empty()) finding.problem = device.problem;
      if (device.problem == finding.problem) finding.names.push_back(NamedDevice(device));
    }
    finding.applies = !finding.names.empty();
    return finding;
  }

  // No adapter, and no device with a problem in the classes the section names.
  Finding NothingToSee() const {
    Finding finding;
    Needs(finding, {DeviceFact::PortDevices, DeviceFact::DeviceList, DeviceFact::DeviceStatus});
    for (const ListedPort& port : ports_) {
      if (port.bluetooth) continue;
      if (finding.Weigh({IsKind(port, Kind::Adapter)}) == Known::Yes) return {};
    }
    for (const ProblemDevice& device : devices_.problemDevices) {
      if (device.deviceClass == DeviceClass::Other) continue;
      if (Failed(device.unread, DeviceFact::DeviceInstance)) {
        finding.Unknown(NotRead(NamedDevice(device), DeviceFact::DeviceInstance));
      } else if (OriginOf(device.instanceId) != DeviceOrigin::Bluetooth) {
        return {};
      }
    }
    finding.applies = finding.unknowns.empty();
    return finding;
  }

  const WindowsDevices& devices_;
  const std::vector<ListedPort> ports_;
  const PortChecks& checks_;
  const std::vector<KnownBadDriver>& knownBadDrivers_;
};

}  // namespace

std::vector<std::string> Verdict(const WindowsDevices& devices, int16_t firstPortNotTried,
                                 const PortChecks& checks,
                                 const std::vector<KnownBadDriver>& knownBadDrivers) {
  return Judge(devices, firstPortNotTried, checks, knownBadDrivers).Verdict();
}

}  // namespace velmaris

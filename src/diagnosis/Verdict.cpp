#include "diagnosis/Verdict.h"

#include <algorithm>
#include <functional>
#include <initializer_list>

#include "diagnosis/AdviceWords.h"
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

// Whether two facts both hold: certainly not once either certainly fails, perhaps while either
// is not known.
Known Both(Known a, Known b) {
  if (a == Known::No || b == Known::No) return Known::No;
  if (a == Known::Perhaps || b == Known::Perhaps) return Known::Perhaps;
  return Known::Yes;
}

struct Judged {
  Known value;
  std::string why{};  // for Perhaps: the reading that failed, as a line of the verdict
};

Judged Certainly(bool holds) { return {holds ? Known::Yes : Known::No}; }

std::string NotRead(const std::string& label, DeviceFact fact) {
  return "  " + label + ": no se pudo leer " + WhatOfIt(fact) + ".";
}

bool IsAList(DeviceFact fact) {
  switch (fact) {
    case DeviceFact::All:
    case DeviceFact::PortMap:
    case DeviceFact::PortDevices:
    case DeviceFact::DeviceList:
    case DeviceFact::DeviceStatus:
    case DeviceFact::AbsentPorts:
      return true;
    default:
      return false;
  }
}

// A failed list is named once by the rule that needs it (see Needs), a failed value of a port or
// device beside the port's or device's label.
Judged JudgedOf(const Told& told, const std::string& label) {
  if (!told.unread) return Certainly(told.holds);
  if (IsAList(*told.unread)) return {Known::Perhaps};
  return {Known::Perhaps, NotRead(label, *told.unread)};
}

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
    for (const Judged& fact : facts) all = Both(all, fact.value);
    if (all == Known::Perhaps) {
      for (const Judged& fact : facts) {
        if (fact.value == Known::Perhaps) Unknown(fact.why);
      }
    }
    return all;
  }
};

// A port as it is named in the verdict: by its friendly name where its name could not be read.
std::string Label(const SeenPort& port) {
  if (port.NameRead() || port.facts.friendlyName.empty()) return PortName(port.facts.name);
  return Shown(port.facts.friendlyName);
}

std::string NamedPort(const SeenPort& port) {
  if (!port.NameRead() || port.facts.friendlyName.empty()) return Label(port);
  return Label(port) + ": " + Shown(port.facts.friendlyName);
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
Lines Said(const Lines& names, const std::string& one, const std::string& many,
           const Lines& advice) {
  Lines lines = {kCause + (names.size() == 1 ? one : many), NamesLine(names)};
  lines.insert(lines.end(), advice.begin(), advice.end());
  return lines;
}

// The advice for ports in use, up to what to do when they stay in use.
Lines CloseThePrograms(const Lines& names, const std::string& last) {
  const bool one = names.size() == 1;
  return {
      std::string("Cierra los programas que puedan usar") + (one ? "lo" : "los") +
          ", primero Velmaris,",
      std::string("y vuelve a ejecutar este diagnóstico. Si sigue") + (one ? "" : "n") + " en uso,",
      last};
}

Lines AdaptersInUse(const Finding& finding) {
  const bool one = finding.names.size() == 1;
  return Said(finding.names,
              "otro programa usa este puerto:", "otros programas usan estos puertos:",
              CloseThePrograms(finding.names, std::string("desconecta ") +
                                                  (one ? "el adaptador" : "los adaptadores") +
                                                  " diez segundos o reinicia Windows."));
}

Lines BuiltInPortsInUse(const Finding& finding) {
  return Said(finding.names,
              "otro programa usa este puerto de la PC:", "otros programas usan puertos de la PC:",
              CloseThePrograms(finding.names, "reinicia Windows."));
}

const Lines kReplugAdvice = {"Desconéctalo y vuelve a conectarlo. Si sigue igual,",
                             "reinstala su driver.", kRunAgain};

Lines ProblemAdvice(uint32_t problem) {
  switch (problem) {
    case kProblemNoDriver:
      return {"Instala su driver.", kRunAgain};
    case kProblemDisabled:
      return {"Está deshabilitado: en el Administrador de dispositivos,",
              "haz clic derecho en él > Habilitar dispositivo.", kRunAgain};
    case kProblemFailed:
      return {"El dispositivo USB falló: prueba otro cable y otro puerto",
              "USB de la PC, sin concentrador (hub).", kRunAgain};
    case kProblemCannotStart:
      return kReplugAdvice;
    default:
      return {"Reinstala su driver.", kRunAgain};
  }
}

Lines WithProblem(const Finding& finding) {
  const std::string code = "(código " + std::to_string(finding.problem) + "):";
  return Said(finding.names, "dispositivo con problema " + code,
              "dispositivos con problema " + code, ProblemAdvice(finding.problem));
}

Lines KnownBad(const Finding& finding) {
  return Said(finding.names,
              "este puerto tiene un driver que falla:", "estos puertos tienen un driver que falla:",
              {"Esa versión falla a menudo: vuelve al driver anterior en el",
               "Administrador de dispositivos > el puerto > Propiedades >",
               "Controlador > Revertir al controlador anterior.", kRunAgain});
}

Lines DriverFails(const Finding& finding) {
  return Said(finding.names, "falla el driver de este adaptador:",
              "falla el driver de estos adaptadores:", kReplugAdvice);
}

Lines NotScanned(const Finding& finding) {
  return Said(finding.names,
              "el escaneo no prueba este adaptador:", "el escaneo no prueba estos adaptadores:",
              {"Dale otro número siguiendo los pasos de abajo."});
}

Lines Free(const Finding& finding) {
  return Said(
      finding.names,
      "la unidad no responde por este adaptador:", "la unidad no responde por estos adaptadores:",
      {"El adaptador está y nadie lo usa. Revisa que la unidad esté",
       "encendida, que su cable vaya a ese adaptador y que sea el", "cable propio de la unidad."});
}

Lines NothingSeen() {
  return {kCause + std::string("Windows no ve la unidad ni un adaptador."),
          "Unidad USB: revisa su alimentación y su cable (de datos, no",
          "uno que solo carga), prueba otro puerto USB e instala el",
          "driver del adaptador. Unidad en el puerto serie de la PC:",
          "revisa el cable y que la unidad esté encendida."};
}

Lines NoCause() { return {"Ninguna causa destaca sobre las demás.", kListsBelow}; }

Lines CannotDecide(const Lines& unknowns) {
  Lines lines = {"No se puede decidir la causa más probable:"};
  const size_t named = std::min(unknowns.size(), kNamedAtMost);
  lines.insert(lines.end(), unknowns.begin(),
               unknowns.begin() + static_cast<std::ptrdiff_t>(named));
  if (unknowns.size() > named) {
    lines.push_back("  Y " + Count(unknowns.size() - named, "motivo", "motivos") + " más.");
  }
  lines.push_back(kListsBelow);
  return lines;
}

// ---- The rules.

class Judge {
 public:
  Judge(const WhatWasSeen& seen, const std::vector<KnownBadDriver>& knownBadDrivers)
      : seen_(seen), knownBadDrivers_(knownBadDrivers) {}

  Lines Verdict() const {
    const struct {
      std::function<Finding()> find;
      std::function<Lines(const Finding&)> words;
    } rules[] = {
        {[this] { return AdapterPorts(PortState::InUse); }, AdaptersInUse},
        {[this] { return DevicesWithAProblem(); }, WithProblem},
        {[this] { return PortsWithAKnownBadDriver(); }, KnownBad},
        {[this] { return AdapterPorts(PortState::DriverFails); }, DriverFails},
        {[this] { return AdaptersNotScanned(); }, NotScanned},
        {[this] { return AdapterPorts(PortState::Free); }, Free},
        {[this] { return PortsOfThePcInUse(); }, BuiltInPortsInUse},
        {[this] { return NothingToSee(); }, [](const Finding&) { return NothingSeen(); }},
    };
    for (const auto& rule : rules) {
      const Finding finding = rule.find();
      if (finding.outcome() == Known::Yes) return rule.words(finding);
      if (finding.outcome() == Known::Perhaps) return CannotDecide(finding.unknowns);
    }
    return NoCause();
  }

 private:
  // A rule that rests on whole lists might apply when one of them could not be read.
  void Needs(Finding& finding, std::initializer_list<DeviceFact> lists) const {
    for (DeviceFact list : lists) {
      const auto times = std::count_if(seen_.unread.begin(), seen_.unread.end(),
                                       [&](const UnreadFact& one) { return one.fact == list; });
      if (times > 0) {
        finding.Unknown("  " + WhatWasNotRead(list, static_cast<size_t>(times)) + ".");
      }
    }
  }

  static Judged Is(const SeenPort& port, DeviceOrigin origin) {
    return JudgedOf(port.origin.Is(origin), Label(port));
  }

  // Whether the check found the port so. A port whose name could not be read may have been
  // tried, and was not checked.
  static Judged Checked(const SeenPort& port, PortState state) {
    if (!port.NameRead()) return {Known::Perhaps, NotRead(Label(port), DeviceFact::PortName)};
    if (!port.found) return Certainly(false);
    if (port.found->outcome == PortFound::Outcome::Opened) {
      return Certainly(port.found->state == state);
    }
    return {Known::Perhaps,
            "  " + Label(port) + " sin comprobar: " + NotCheckedWhy(*port.found) + "."};
  }

  static Judged Untried(const SeenPort& port) {
    if (!port.NameRead()) return {Known::Perhaps, NotRead(Label(port), DeviceFact::PortName)};
    return Certainly(port.NotScanned());
  }

  Judged HasAKnownBadDriver(const SeenPort& port) const {
    if (port.facts.device == PortDevice::None) return Certainly(false);
    for (DeviceFact value :
         {DeviceFact::DriverKey, DeviceFact::DriverProvider, DeviceFact::DriverVersion}) {
      if (Failed(port.facts.unread, value)) return {Known::Perhaps, NotRead(Label(port), value)};
    }
    return Certainly(IsKnownBad(port.facts.driver, knownBadDrivers_));
  }

  // The ports, Bluetooth links left out, of which all the judged facts hold.
  Finding PortsWhere(std::initializer_list<DeviceFact> lists,
                     const std::function<Known(Finding&, const SeenPort&)>& weigh,
                     const std::function<std::string(const SeenPort&)>& name = NamedPort) const {
    Finding finding;
    Needs(finding, lists);
    for (const SeenPort& port : seen_.ports) {
      if (!port.Bluetooth() && weigh(finding, port) == Known::Yes) {
        finding.names.push_back(name(port));
      }
    }
    finding.applies = !finding.names.empty();
    return finding;
  }

  Finding AdapterPorts(PortState state) const {
    return PortsWhere({DeviceFact::PortDevices}, [&](Finding& finding, const SeenPort& port) {
      return finding.Weigh({Is(port, DeviceOrigin::Usb), Checked(port, state)});
    });
  }

  Finding PortsOfThePcInUse() const {
    return PortsWhere({DeviceFact::PortDevices, DeviceFact::PortMap}, [&](Finding& finding,
                                                                          const SeenPort& port) {
      return finding.Weigh({Is(port, DeviceOrigin::BuiltIn), Checked(port, PortState::InUse)});
    });
  }

  Finding AdaptersNotScanned() const {
    return PortsWhere({DeviceFact::PortDevices}, [&](Finding& finding, const SeenPort& port) {
      return finding.Weigh({Is(port, DeviceOrigin::Usb), Untried(port)});
    });
  }

  Finding PortsWithAKnownBadDriver() const {
    return PortsWhere(
        {DeviceFact::PortDevices},
        [&](Finding& finding, const SeenPort& port) {
          return finding.Weigh({HasAKnownBadDriver(port)});
        },
        [](const SeenPort& port) {
          return NamedPort(port) + ", versión " + Shown(port.facts.driver.version);
        });
  }

  // Named by the problem of the first: advice differs from one problem to another.
  Finding DevicesWithAProblem() const {
    Finding finding;
    Needs(finding, {DeviceFact::DeviceList, DeviceFact::DeviceStatus});
    for (const SeenDevice& device : seen_.devices) {
      const Judged mayBe = JudgedOf(device.mayBeTheUnit, DeviceName(device.facts.name));
      if (finding.Weigh({mayBe}) != Known::Yes) continue;
      if (finding.names.empty()) finding.problem = device.facts.problem;
      if (device.facts.problem == finding.problem) {
        finding.names.push_back(DeviceName(device.facts.name));
      }
    }
    finding.applies = !finding.names.empty();
    return finding;
  }

  // No adapter, and no device with a problem in the classes the section names.
  Finding NothingToSee() const {
    Finding finding;
    Needs(finding, {DeviceFact::PortDevices, DeviceFact::DeviceList, DeviceFact::DeviceStatus});
    for (const SeenPort& port : seen_.ports) {
      if (port.Bluetooth()) continue;
      if (finding.Weigh({Is(port, DeviceOrigin::Usb)}) == Known::Yes) return {};
    }
    for (const SeenDevice& device : seen_.devices) {
      const Judged bluetooth =
          JudgedOf(device.origin.Is(DeviceOrigin::Bluetooth), DeviceName(device.facts.name));
      if (bluetooth.value == Known::Perhaps) {
        finding.Unknown(bluetooth.why);
      } else if (bluetooth.value == Known::No) {
        return {};
      }
    }
    finding.applies = finding.unknowns.empty();
    return finding;
  }

  const WhatWasSeen& seen_;
  const std::vector<KnownBadDriver>& knownBadDrivers_;
};

}  // namespace

std::vector<std::string> Verdict(const WhatWasSeen& seen,
                                 const std::vector<KnownBadDriver>& knownBadDrivers) {
  return Judge(seen, knownBadDrivers).Verdict();
}

std::vector<std::string> Verdict(const WindowsDevices& devices, int16_t firstPortNotTried,
                                 const PortChecks& checks,
                                 const std::vector<KnownBadDriver>& knownBadDrivers) {
  return Verdict(Seen(devices, firstPortNotTried, checks), knownBadDrivers);
}

}  // namespace velmaris

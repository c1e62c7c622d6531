#include "diagnosis/ComponentSection.h"

#include <exception>

#include "common/ReportRule.h"
#include "diagnosis/Verdict.h"
#include "diagnosis/WindowsWords.h"
#include "link/ComponentDependencies.h"
#include "link/PeImage.h"
#include "value/Conversions.h"

namespace velmaris {

namespace {

using Lines = std::vector<std::string>;
using Stage = ComponentFailure::Stage;

const char* const kTitle = "EL COMPONENTE DE ADQUISICIÓN";
const char* const kCause = "Causa más probable: ";
const char* const kReinstall = "Reinstala el software de Velmaris como administrador.";
const char* const kNamed = "Componente de adquisición: ";
constexpr uint32_t kMemberNotFound = 0x80020003;  // DISP_E_MEMBERNOTFOUND

// What a module is built for: "de 64 bits (x64)".
std::string MachineText(uint16_t machine) {
  switch (machine) {
    case kMachineI386:
      return "de 32 bits (x86)";
    case kMachineAmd64:
      return "de 64 bits (x64)";
    case 0xAA64:
      return "de 64 bits para ARM";
    case 0x1C0:
    case 0x1C2:
    case 0x1C4:
      return "de 32 bits para ARM";
    case 0x200:
      return "de 64 bits para Itanium";
    default:
      return "para otro procesador (máquina 0x" + UpperHex(machine, 4) + ")";
  }
}

std::string Indented(const std::string& windowsText) { return "  " + Shown(windowsText); }

std::string ReadFailureLine(const ComponentReadFailure& failure) {
  std::string why =
      failure.error != 0 ? WindowsErrorText(failure.error) : Shown(failure.description);
  if (why.empty()) why = "Error del programa";
  return Sentence("No se pudo leer " + Shown(failure.what) + ": " + why);
}

// "0x80070005 (Acceso denegado)", Windows' own message without its line end and full stop.
std::string ErrorText(const ComponentFailure& failure) {
  std::string message = failure.windowsMessage;
  while (!message.empty() &&
         (static_cast<unsigned char>(message.back()) <= ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (failure.hresult == 0 && !message.empty()) return Shown(message);
  const std::string code = HexCode(failure.hresult);
  return message.empty() ? code : code + " (" + Shown(message) + ")";
}

// ---- The causes, in the order they are tried.

// Registered only in this user's classes, which COM ignores for a process with administrator
// rights.
bool IgnoredUserClasses(const ComponentRegistration& registration) {
  return registration.userClassesOnly ||
         (registration.elevated && (registration.progIdFrom == ClassesRoot::User ||
                                    registration.serverFrom == ClassesRoot::User));
}

Lines NotRegisteredCause(const ComponentRegistration& registration, uint16_t expectedMachine) {
  const bool noClass = registration.classId.empty();
  if ((noClass && registration.otherViewHasProgId) ||
      (!noClass && registration.otherViewHasServer)) {
    const bool wide = expectedMachine == kMachineAmd64;
    return {std::string(kCause) + "el componente de adquisición está registrado",
            std::string("solo para programas de ") + (wide ? "32" : "64") +
                " bits, y este diagnóstico es de " + (wide ? "64" : "32") + " bits:",
            Indented(registration.progId),
            "Reinstala el software de Velmaris como administrador,",
            std::string("con su instalador de ") + (wide ? "64" : "32") + " bits.",
            kRunAgain};
  }
  if (IgnoredUserClasses(registration)) {
    return {std::string(kCause) + "el componente de adquisición está registrado",
            "solo para este usuario, y como administrador Windows no lo usa:",
            Indented(registration.progId),
            "Ejecuta el diagnóstico sin permisos de administrador,",
            "o reinstala el software de Velmaris como administrador.",
            kRunAgain};
  }
  if (noClass) {
    return {std::string(kCause) + "el componente de adquisición no está registrado:",
            Indented(registration.progId), kReinstall, kRunAgain};
  }
  return {std::string(kCause) + "el componente de adquisición está mal registrado:",
          "  su clase " + Shown(registration.classId) + " no indica qué archivo cargar.",
          kReinstall, kRunAgain};
}

Lines Missing(const std::string& path) {
  return {std::string(kCause) + "falta el archivo del componente de adquisición:", Indented(path),
          kReinstall, kRunAgain};
}

// Why the component's file cannot be this program's component; empty when it can.
std::string WrongKind(const PeImage& image, uint16_t expectedMachine) {
  if (image.problem == PeProblem::NotPe) return "no es una DLL de Windows";
  if (image.machine != 0 && image.machine != expectedMachine) {
    return "es " + MachineText(image.machine) + " y este diagnóstico necesita uno " +
           MachineText(expectedMachine);
  }
  if (image.problem == PeProblem::Damaged) return "está dañado o incompleto";
  if (!image.dll) return "es un programa, no una DLL";
  return "";
}

Lines FileCause(const std::string& path, const std::string& wrongKind) {
  return {std::string(kCause) + "el archivo del componente de adquisición", wrongKind + ":",
          Indented(path), "Reinstala el software de Velmaris en su versión para este equipo.",
          kRunAgain};
}

Lines MissingDllCause(const MissingDll& missing) {
  return {std::string(kCause) + "falta una DLL que el componente",
          "de adquisición necesita para cargarse:",
          Indented(missing.name) + " (la necesita " + Shown(missing.neededBy) + ")",
          "Reinstala el software de Velmaris, que instala lo que necesita.", kRunAgain};
}

Lines MissingFunctionCause(const MissingFunction& missing) {
  const std::string function = missing.function.name.empty()
                                   ? "número " + std::to_string(missing.function.ordinal)
                                   : Shown(missing.function.name);
  Lines lines = {std::string(kCause) + "una DLL que el componente de adquisición necesita",
                 "es una versión más antigua, sin su función " + function + ":",
                 Indented(missing.foundAt.path)};
  if (missing.foundAt.inSystemFolder) {
    // Windows' own copy: removing it would break Windows.
    lines.push_back("Es de Windows: actualiza Windows, o instala la versión");
    lines.push_back("del software de Velmaris para esta versión de Windows.");
  } else {
    lines.push_back("Reinstala el software de Velmaris, o quita esa copia antigua");
    lines.push_back("de la carpeta donde está.");
  }
  lines.push_back(kRunAgain);
  return lines;
}

Lines TooOld(const ComponentFailure& failure) {
  return {std::string(kCause) + "el componente de adquisición es antiguo:",
          failure.operation.empty() ? "  le falta una operación que usa este diagnóstico."
                                    : "  no tiene la operación " + Shown(failure.operation) + ".",
          "Actualiza el software de Velmaris a la versión 3.6.0 o posterior.", kRunAgain};
}

Lines OtherFailure(const ComponentFailure& failure) {
  return {std::string(kCause) + "un fallo del componente de adquisición:",
          "  " + ErrorText(failure) + ".", kReinstall, kRunAgain};
}

// Where COM, reading this process's registry view, cannot find the component's file.
bool NotRegistered(const ComponentRegistration& registration) {
  return registration.classId.empty() || registration.serverFrom == ClassesRoot::None ||
         registration.serverPath.empty() || IgnoredUserClasses(registration);
}

// The cause of a failed creation that the registration, the file and the DLLs it needs show;
// empty where they show none.
Lines CreationCause(const ComponentRegistration& registration, const ComponentFile& file,
                    ComponentFiles& files, uint16_t expectedMachine, DependencyWalk& walk) {
  // A key that could not be read may hold the class's file; COM's own answer (no class) and
  // the per-user classes that COM ignores decide all the same.
  if (NotRegistered(registration) && (registration.unread.empty() || registration.classId.empty() ||
                                      IgnoredUserClasses(registration))) {
    return NotRegisteredCause(registration, expectedMachine);
  }
  if (!registration.unread.empty() || !file.unread.empty()) return {};
  const std::string& path = registration.serverPath;
  if (!file.exists) return Missing(path);
  std::optional<std::vector<uint8_t>> bytes;
  try {
    bytes = files.Read(path, kModuleReadLimit);
  } catch (const Failure& failure) {
    walk.unread.push_back(ReadFailureOf(path, failure));
    return {};
  }
  if (!bytes) return Missing(path);
  const PeImage image = ReadPeImage(bytes->data(), bytes->size());
  bytes.reset();
  const std::string wrongKind = WrongKind(image, expectedMachine);
  if (!wrongKind.empty()) return FileCause(path, wrongKind);
  walk = WalkDependencies(path, image, files);
  if (walk.missingDll) return MissingDllCause(*walk.missingDll);
  if (walk.missingFunction) return MissingFunctionCause(*walk.missingFunction);
  return {};
}

// ---- The facts.

std::string Version(const std::array<uint16_t, 4>& v) {
  return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
         std::to_string(v[3]);
}

std::string RootText(ClassesRoot root) {
  return root == ClassesRoot::User ? "las clases de este usuario" : "las clases del equipo";
}

Lines Facts(const ComponentRegistration& registration, const ComponentFile& file,
            const ComponentFailure& failure, const DependencyWalk& walk) {
  Lines lines;
  std::string progId = "ProgID: " + Shown(registration.progId);
  if (registration.classId.empty()) {
    progId += ", sin clase registrada";
  } else {
    progId += ", clase " + Shown(registration.classId);
    if (!registration.treatAs.empty())
      progId += " (tratada como " + Shown(registration.treatAs) + ")";
  }
  lines.push_back(progId + ".");
  const std::string& path = registration.serverPath;
  if (!registration.classId.empty()) {
    lines.push_back(Sentence("Archivo registrado: " + (path.empty() ? "ninguno" : Shown(path))));
    if (!registration.serverValue.empty() && registration.serverValue != path) {
      lines.push_back(Sentence("  En el registro: " + Shown(registration.serverValue)));
    }
  }
  if (!path.empty()) {
    lines.push_back(file.exists           ? "El archivo existe."
                    : file.unread.empty() ? "El archivo no existe."
                                          : "No se pudo comprobar si el archivo existe.");
  }
  const ClassesRoot progIdFrom = registration.progIdFrom, serverFrom = registration.serverFrom;
  if (progIdFrom != ClassesRoot::None &&
      (serverFrom == ClassesRoot::None || serverFrom == progIdFrom)) {
    lines.push_back("Registrado en " + RootText(progIdFrom) + ".");
  } else if (serverFrom != ClassesRoot::None) {
    lines.push_back(
        "ProgID registrado en " +
        (progIdFrom == ClassesRoot::None ? std::string("ninguna clase") : RootText(progIdFrom)) +
        "; su archivo, en " + RootText(serverFrom) + ".");
  }
  if (registration.elevated) lines.push_back("Este diagnóstico se ejecuta como administrador.");
  if (file.exists) {
    if (file.version) {
      lines.push_back("Versión del archivo: " + Version(*file.version) + ".");
    } else {
      lines.push_back(file.unread.empty() ? "Versión del archivo: no la indica."
                                          : "Versión del archivo: desconocida.");
    }
  }
  switch (failure.stage) {
    case Stage::Creation:
      lines.push_back("Error al crearlo: " + ErrorText(failure) + ".");
      break;
    case Stage::Call:
      lines.push_back((failure.operation.empty()
                           ? std::string("Error de una de sus operaciones: ")
                           : "Error de su operación " + Shown(failure.operation) + ": ") +
                      ErrorText(failure) + ".");
      break;
    case Stage::Tool:
      lines.push_back("Error de este diagnóstico: " + ErrorText(failure) + ".");
      break;
  }
  for (const auto* unread : {&registration.unread, &file.unread, &walk.unread}) {
    for (const ComponentReadFailure& failure : *unread) lines.push_back(ReadFailureLine(failure));
  }
  for (const std::string& damaged : walk.damaged) {
    lines.push_back("No se pudo leer " + Shown(damaged) + ": no es una DLL válida.");
  }
  return lines;
}

Lines Heading() { return {kSectionRule, kTitle, kSectionRule}; }

Lines Section(const ComponentRegistration& registration, const ComponentFile& file,
              const ComponentFailure& failure, ComponentFiles& files, uint16_t expectedMachine) {
  Lines lines = Heading();
  DependencyWalk walk;
  if (failure.stage != Stage::Tool) {
    Lines cause;
    if (failure.stage == Stage::Creation) {
      cause = CreationCause(registration, file, files, expectedMachine, walk);
    }
    if (cause.empty()) {
      cause = failure.stage == Stage::Call && failure.hresult == kMemberNotFound
                  ? TooOld(failure)
                  : OtherFailure(failure);
    }
    lines.insert(lines.end(), cause.begin(), cause.end());
  }
  const Lines facts = Facts(registration, file, failure, walk);
  lines.insert(lines.end(), facts.begin(), facts.end());
  return lines;
}

}  // namespace

std::vector<std::string> ComponentSection(const ComponentRegistration& registration,
                                          const ComponentFile& file,
                                          const ComponentFailure& failure, ComponentFiles& files,
                                          uint16_t expectedMachine) {
  try {
    return Section(registration, file, failure, files, expectedMachine);
  } catch (const std::exception& error) {
    Lines lines = Heading();
    lines.push_back(Sentence("No se pudo describir el componente: " + Shown(error.what())));
    return lines;
  } catch (...) {
    Lines lines = Heading();
    lines.push_back("No se pudo describir el componente.");
    return lines;
  }
}

std::vector<std::string> ComponentLines(const ComponentRegistration& registration,
                                        const ComponentFile& file) {
  try {
    if (NotRegistered(registration) && registration.unread.empty()) {
      return {Sentence(kNamed + std::string("no está registrado (") + Shown(registration.progId) +
                       ")")};
    }
    std::string line = kNamed;
    if (registration.serverPath.empty()) {
      line += "no se pudo leer su registro.";
    } else {
      line += Shown(registration.serverPath);
      if (file.version) {
        line += ", versión " + Version(*file.version) + ".";
      } else if (!file.unread.empty()) {
        line += ", versión desconocida.";
      } else {
        line += file.exists ? ", sin versión indicada." : ", que no existe.";
      }
    }
    Lines lines = {line};
    for (const auto* unread : {&registration.unread, &file.unread}) {
      if (!unread->empty() && lines.size() < 2) {
        lines.push_back("  " + ReadFailureLine(unread->front()));
      }
    }
    return lines;
  } catch (const std::exception& error) {
    return {Sentence(kNamed + std::string("no se pudo describir: ") + Shown(error.what()))};
  } catch (...) {
    return {Sentence(kNamed + std::string("no se pudo describir"))};
  }
}

}  // namespace velmaris

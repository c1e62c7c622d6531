#include "diagnosis/ComponentSection.h"

#include <exception>
#include <initializer_list>
#include <string_view>

#include "common/ReportRule.h"
#include "diagnosis/AdviceWords.h"
#include "diagnosis/WindowsWords.h"
#include "link/AcquisitionControl.h"
#include "link/ComponentDependencies.h"
#include "link/PeImage.h"
#include "value/Conversions.h"

namespace velmaris {

namespace {

using Lines = std::vector<std::string>;
using Stage = ComponentFailure::Stage;

const char* const kTitle = "EL COMPONENTE DE ADQUISICIÓN";
const char* const kNamed = "Componente de adquisición: ";
constexpr uint32_t kMemberNotFound = 0x80020003;  // DISP_E_MEMBERNOTFOUND

// The causes' lines, in the order they are tried. Each '@' stands for a text given with the
// cause, in order; a text from Windows comes guarded.
#define VELMARIS_CAUSE "Causa más probable: "
#define VELMARIS_REINSTALL "Reinstala el software de Velmaris como administrador."
const char* const kOtherViewOnly[] = {
    VELMARIS_CAUSE "el componente de adquisición está registrado",
    "solo para programas de @ bits, y este diagnóstico es de @ bits:",
    "  @",
    "Reinstala el software de Velmaris como administrador,",
    "con su instalador de @ bits.",
    kRunAgain,
    nullptr};
const char* const kIgnoredUserClasses[] = {
    VELMARIS_CAUSE "el componente de adquisición está registrado",
    "solo para este usuario, y como administrador Windows no lo usa:",
    "  @",
    "Ejecuta el diagnóstico sin permisos de administrador,",
    "o reinstala el software de Velmaris como administrador.",
    kRunAgain,
    nullptr};
const char* const kNoProgId[] = {VELMARIS_CAUSE "el componente de adquisición no está registrado:",
                                 "  @", VELMARIS_REINSTALL, kRunAgain, nullptr};
const char* const kNoServer[] = {VELMARIS_CAUSE "el componente de adquisición está mal registrado:",
                                 "  su clase @ no indica qué archivo cargar.", VELMARIS_REINSTALL,
                                 kRunAgain, nullptr};
const char* const kFileMissing[] = {
    VELMARIS_CAUSE "falta el archivo del componente de adquisición:", "  @", VELMARIS_REINSTALL,
    kRunAgain, nullptr};
const char* const kWrongKind[] = {
    VELMARIS_CAUSE "el archivo del componente de adquisición",           "@:",      "  @",
    "Reinstala el software de Velmaris en su versión para este equipo.", kRunAgain, nullptr};
const char* const kDllMissing[] = {
    VELMARIS_CAUSE "falta una DLL que el componente",
    "de adquisición necesita para cargarse:",
    "  @ (la necesita @)",
    "Reinstala el software de Velmaris, que instala lo que necesita.",
    kRunAgain,
    nullptr};
const char* const kOldDll[] = {VELMARIS_CAUSE "una DLL que el componente de adquisición necesita",
                               "es una versión más antigua, sin su función @:",
                               "  @",
                               "Reinstala el software de Velmaris, o quita esa copia antigua",
                               "de la carpeta donde está.",
                               kRunAgain,
                               nullptr};
// Windows' own copy: removing it would break Windows.
const char* const kOldWindowsDll[] = {VELMARIS_CAUSE
                                      "una DLL que el componente de adquisición necesita",
                                      "es una versión más antigua, sin su función @:",
                                      "  @",
                                      "Es de Windows: actualiza Windows, o instala la versión",
                                      "del software de Velmaris para esta versión de Windows.",
                                      kRunAgain,
                                      nullptr};
const char* const kTooOld[] = {VELMARIS_CAUSE "el componente de adquisición es antiguo:", "  @",
                               "Actualiza el software de Velmaris a la versión @ o posterior.",
                               kRunAgain, nullptr};
const char* const kOtherFailure[] = {VELMARIS_CAUSE "un fallo del componente de adquisición:",
                                     "  @.", VELMARIS_REINSTALL, kRunAgain, nullptr};
#undef VELMARIS_CAUSE
#undef VELMARIS_REINSTALL

// The parts joined: one place that builds the section's lines, which keeps the program small.
std::string Cat(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text += part;
  return text;
}

// Adds a cause's lines, each '@' replaced by the next of `texts`. Always true: the cause decided.
bool Fill(Lines& lines, const char* const* cause, std::initializer_list<std::string_view> texts) {
  const std::string_view* text = texts.begin();
  for (; *cause != nullptr; ++cause) {
    std::string filled;
    for (const char* c = *cause; *c != '\0'; ++c) {
      if (*c == '@' && text != texts.end()) {
        filled += *text++;
      } else {
        filled += *c;
      }
    }
    lines.push_back(std::move(filled));
  }
  return true;
}

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
      return Cat({"para otro procesador (máquina 0x", UpperHex(machine, 4), ")"});
  }
}

std::string Version(const std::array<uint16_t, 4>& version) {
  std::string text;
  for (uint16_t number : version) text += Cat({text.empty() ? "" : ".", std::to_string(number)});
  return text;
}

std::string ReadFailureLine(const ComponentReadFailure& failure) {
  std::string why =
      failure.error != 0 ? WindowsErrorText(failure.error) : Shown(failure.description);
  if (why.empty()) why = "Error del programa";
  return Sentence(Cat({"No se pudo leer ", Shown(failure.what), ": ", why}));
}

// "0x80070005 (Acceso denegado)", Windows' own message without its line end and full stop.
std::string ErrorText(const ComponentFailure& failure) {
  std::string message = failure.windowsMessage;
  while (!message.empty() &&
         (static_cast<unsigned char>(message.back()) <= ' ' || message.back() == '.')) {
    message.pop_back();
  }
  message = Shown(message);
  if (failure.hresult == 0 && !message.empty()) return message;
  const std::string code = HexCode(failure.hresult);
  return message.empty() ? code : Cat({code, " (", message, ")"});
}

// ---- Which cause applies.

// Registered only in this user's classes, which COM ignores for a process with administrator
// rights.
bool IgnoredUserClasses(const ComponentRegistration& registration) {
  return registration.userClassesOnly ||
         (registration.elevated && (registration.progIdFrom == ClassesRoot::User ||
                                    registration.serverFrom == ClassesRoot::User));
}

// Where COM, reading this process's registry view, cannot find the component's file.
bool NotRegistered(const ComponentRegistration& registration) {
  return registration.classId.empty() || registration.serverFrom == ClassesRoot::None ||
         registration.serverPath.empty() || IgnoredUserClasses(registration);
}

bool NotRegisteredCause(Lines& lines, const ComponentRegistration& registration,
                        uint16_t expectedMachine) {
  const bool noClass = registration.classId.empty();
  const std::string progId = Shown(registration.progId);
  if ((noClass && registration.otherViewHasProgId) ||
      (!noClass && registration.otherViewHasServer)) {
    const bool wide = expectedMachine == kMachineAmd64;
    const char* own = wide ? "64" : "32";
    return Fill(lines, kOtherViewOnly, {wide ? "32" : "64", own, progId, own});
  }
  if (IgnoredUserClasses(registration)) return Fill(lines, kIgnoredUserClasses, {progId});
  if (noClass) return Fill(lines, kNoProgId, {progId});
  return Fill(lines, kNoServer, {Shown(registration.classId)});
}

// Why the component's file cannot be this program's component; empty when it can.
std::string WrongKind(const PeImage& image, uint16_t expectedMachine) {
  if (image.problem == PeProblem::NotPe) return "no es una DLL de Windows";
  if (image.machine != 0 && image.machine != expectedMachine) {
    return Cat({"es ", MachineText(image.machine), " y este diagnóstico necesita uno ",
                MachineText(expectedMachine)});
  }
  if (image.problem == PeProblem::Damaged) return "está dañado o incompleto";
  if (!image.dll) return "es un programa, no una DLL";
  return "";
}

// Adds the cause of a failed creation that the registration, the file and the DLLs it needs
// show; false where they show none.
bool CreationCause(Lines& lines, const ComponentRegistration& registration,
                   const ComponentFile& file, ComponentFiles& files, uint16_t expectedMachine,
                   DependencyWalk& walk) {
  if (NotRegistered(registration)) {
    // A key that could not be read may hold the class's file; COM's own answer (no class) and
    // the per-user classes that COM ignores decide all the same.
    return (registration.unread.empty() || registration.classId.empty() ||
            IgnoredUserClasses(registration)) &&
           NotRegisteredCause(lines, registration, expectedMachine);
  }
  if (!file.exists && !file.unread.empty()) return false;  // whether it exists is not known
  const std::string& path = registration.serverPath;
  std::optional<std::vector<uint8_t>> bytes;
  try {
    if (file.exists) bytes = files.Read(path, kModuleReadLimit);
  } catch (const Failure& failure) {
    walk.unread.push_back(ReadFailureOf(path, failure));
    return false;
  }
  if (!bytes) return Fill(lines, kFileMissing, {Shown(path)});
  const PeImage image = ReadPeImage(bytes->data(), bytes->size());
  bytes.reset();
  const std::string wrongKind = WrongKind(image, expectedMachine);
  if (!wrongKind.empty()) return Fill(lines, kWrongKind, {wrongKind, Shown(path)});
  walk = WalkDependencies(path, image, files);
  if (const auto& missing = walk.missingDll) {
    return Fill(lines, kDllMissing, {Shown(missing->name), Shown(missing->neededBy)});
  }
  if (const auto& missing = walk.missingFunction) {
    const ImportedFunction& function = missing->function;
    return Fill(lines, missing->foundAt.inSystemFolder ? kOldWindowsDll : kOldDll,
                {function.name.empty() ? "número " + std::to_string(function.ordinal)
                                       : Shown(function.name),
                 Shown(missing->foundAt.path)});
  }
  return false;
}

// ---- The facts.

std::string RootText(ClassesRoot root) {
  return root == ClassesRoot::User ? "las clases de este usuario" : "las clases del equipo";
}

void AddFacts(Lines& lines, const ComponentRegistration& registration, const ComponentFile& file,
              const ComponentFailure& failure, const DependencyWalk& walk) {
  const std::string& classId = registration.classId;
  lines.push_back(Cat({"ProgID: ", Shown(registration.progId),
                       classId.empty() ? ", sin clase registrada" : ", clase ", Shown(classId),
                       registration.treatAs.empty() ? "" : " (tratada como ",
                       Shown(registration.treatAs), registration.treatAs.empty() ? "." : ")."}));
  const std::string& path = registration.serverPath;
  if (!classId.empty()) {
    lines.push_back(
        Sentence(Cat({"Archivo registrado: ", path.empty() ? "ninguno" : Shown(path)})));
    if (!registration.serverValue.empty() && registration.serverValue != path) {
      lines.push_back(Sentence(Cat({"  En el registro: ", Shown(registration.serverValue)})));
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
    lines.push_back(Cat({"Registrado en ", RootText(progIdFrom), "."}));
  } else if (serverFrom != ClassesRoot::None) {
    lines.push_back(Cat({"ProgID registrado en ",
                         progIdFrom == ClassesRoot::None ? "ninguna clase" : RootText(progIdFrom),
                         "; su archivo, en ", RootText(serverFrom), "."}));
  }
  if (registration.elevated) lines.push_back("Este diagnóstico se ejecuta como administrador.");
  if (file.exists) {
    lines.push_back(Cat({"Versión del archivo: ",
                         file.version          ? Version(*file.version)
                         : file.unread.empty() ? "no la indica"
                                               : "desconocida",
                         "."}));
  }
  const bool named = failure.stage == Stage::Call && !failure.operation.empty();
  lines.push_back(
      Cat({failure.stage == Stage::Creation ? "Error al crearlo: "
           : failure.stage == Stage::Tool   ? "Error de este diagnóstico: "
           : named                          ? "Error de su operación "
                                            : "Error de una de sus operaciones: ",
           named ? Shown(failure.operation) : "", named ? ": " : "", ErrorText(failure), "."}));
  for (const auto* unread : {&registration.unread, &file.unread, &walk.unread}) {
    for (const ComponentReadFailure& failure : *unread) lines.push_back(ReadFailureLine(failure));
  }
  for (const std::string& damaged : walk.damaged) {
    lines.push_back(Cat({"No se pudo leer ", Shown(damaged), ": no es una DLL válida."}));
  }
}

Lines Section(const ComponentRegistration& registration, const ComponentFile& file,
              const ComponentFailure& failure, ComponentFiles& files, uint16_t expectedMachine) {
  Lines lines = Heading(kTitle);
  DependencyWalk walk;
  if (failure.stage != Stage::Tool) {
    const bool decided =
        failure.stage == Stage::Creation
            ? CreationCause(lines, registration, file, files, expectedMachine, walk)
        : failure.hresult == kMemberNotFound
            ? Fill(lines, kTooOld,
                   {failure.operation.empty()
                        ? "le falta una operación que usa este diagnóstico."
                        : Cat({"no tiene la operación ", Shown(failure.operation), "."}),
                    kRequiredRelease})
            : false;
    if (!decided) Fill(lines, kOtherFailure, {ErrorText(failure)});
  }
  AddFacts(lines, registration, file, failure, walk);
  return lines;
}

Lines Undescribed(const char* what) {
  Lines lines = Heading(kTitle);
  lines.push_back(Sentence(Cat({"No se pudo describir el componente", what})));
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
    return Undescribed(Cat({": ", Shown(error.what())}).c_str());
  } catch (...) {
    return Undescribed("");
  }
}

std::vector<std::string> ComponentLines(const ComponentRegistration& registration,
                                        const ComponentFile& file) {
  try {
    if (NotRegistered(registration) && registration.unread.empty()) {
      return {Cat({kNamed, "no está registrado (", Shown(registration.progId), ")."})};
    }
    std::string line = kNamed;
    if (registration.serverPath.empty()) {
      line += "no se pudo leer su registro.";
    } else {
      line += Cat({Shown(registration.serverPath),
                   file.version           ? ", versión "
                   : !file.unread.empty() ? ", versión desconocida."
                   : file.exists          ? ", sin versión indicada."
                                          : ", que no existe.",
                   file.version ? Version(*file.version) : "", file.version ? "." : ""});
    }
    Lines lines = {line};
    for (const auto* unread : {&registration.unread, &file.unread}) {
      if (!unread->empty() && lines.size() < 2) {
        lines.push_back(Cat({"  ", ReadFailureLine(unread->front())}));
      }
    }
    return lines;
  } catch (...) {
    return {Cat({kNamed, "no se pudo describir."})};
  }
}

}  // namespace velmaris

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <vector>

#include "FakeComponentFiles.h"
#include "diagnosis/ComponentSection.h"

namespace velmaris {
namespace {

using fakes::FakeComponentFiles;
using fakes::PeSpec;
using ::testing::ElementsAreArray;
using ::testing::IsSupersetOf;
using Lines = std::vector<std::string>;

const Lines kHeading = {"================================", "EL COMPONENTE DE ADQUISICIÓN",
                        "================================"};
const char* const kFolder = "C:\\Velmaris";
const char* const kPath = "C:\\Velmaris\\QelCtrl.dll";
const char* const kSystem = "C:\\Windows\\system32";
const char* const kReinstall = "Reinstala el software de Velmaris como administrador.";
const char* const kRunAgain = "Luego vuelve a ejecutar este diagnóstico.";

// A component installed as it should be: it needs Windows' kernel32 and a runtime DLL beside it,
// and creating it failed all the same.
struct Component {
  ComponentRegistration registration{"QELCTRLLibCtl.QelCtrlMain",
                                     ClassesRoot::Machine,
                                     "{5E2B7D0A-1C3F-4B6E-9A8D-2F4C6E8A0B1D}",
                                     "",
                                     ClassesRoot::Machine,
                                     kPath,
                                     kPath};
  ComponentFile file{true, std::array<uint16_t, 4>{3, 6, 0, 12}};
  ComponentFailure failure{ComponentFailure::Stage::Creation, 0x80070005, "Acceso denegado.\r\n"};
  FakeComponentFiles files;
  PeSpec dll{};

  Component() {
    dll.imports = {{"KERNEL32.dll", {"LoadLibraryW"}}, {"QelRuntime.dll", {"QelInit", "#2"}}};
    files.Place("KERNEL32.dll", kSystem, {kMachineI386, true, {}, {"LoadLibraryW"}}, true);
    files.Place("QelRuntime.dll", kFolder,
                {kMachineI386, true, {{"KERNEL32.dll", {"LoadLibraryW"}}}, {"QelInit", "#"}});
  }
  Lines Section(uint16_t machine = kMachineI386) {
    files.files[kPath] = fakes::PeBytes(dll);
    return ComponentSection(registration, file, failure, files, machine);
  }
};

// The section's lines from the cause up to the facts.
Lines CauseOf(const Lines& section) {
  Lines cause;
  for (size_t i = kHeading.size(); i < section.size() && section[i].rfind("ProgID:", 0) != 0; ++i) {
    cause.push_back(section[i]);
  }
  return cause;
}

// The cause lines shared by several cases.
const Lines kIgnoredUserClasses = {
    "Causa más probable: el componente de adquisición está registrado",
    "solo para este usuario, y como administrador Windows no lo usa:",
    "  QELCTRLLibCtl.QelCtrlMain",
    "Ejecuta el diagnóstico sin permisos de administrador,",
    "o reinstala el software de Velmaris como administrador.",
    kRunAgain};
Lines OtherViewOnly(const std::string& other, const std::string& own) {
  return {"Causa más probable: el componente de adquisición está registrado",
          "solo para programas de " + other + " bits, y este diagnóstico es de " + own + " bits:",
          "  QELCTRLLibCtl.QelCtrlMain",
          "Reinstala el software de Velmaris como administrador,",
          "con su instalador de " + own + " bits.",
          kRunAgain};
}
Lines WrongKind(const std::string& what) {
  return {"Causa más probable: el archivo del componente de adquisición", what + ":",
          "  C:\\Velmaris\\QelCtrl.dll",
          "Reinstala el software de Velmaris en su versión para este equipo.", kRunAgain};
}
Lines MissingDll(const std::string& line) {
  return {"Causa más probable: falta una DLL que el componente",
          "de adquisición necesita para cargarse:", line,
          "Reinstala el software de Velmaris, que instala lo que necesita.", kRunAgain};
}
Lines OtherFailure(const std::string& error) {
  return {"Causa más probable: un fallo del componente de adquisición:", "  " + error + ".",
          kReinstall, kRunAgain};
}

struct Case {
  const char* what;
  std::function<void(Component&)> arrange;
  Lines cause;
  Lines facts{};  // some of the facts that must follow
  uint16_t machine = kMachineI386;
};

const Case kCases[] = {
    {"ProgID not registered",
     [](Component& c) { c.registration = {"QELCTRLLibCtl.QelCtrlMain"}; },
     {"Causa más probable: el componente de adquisición no está registrado:",
      "  QELCTRLLibCtl.QelCtrlMain", kReinstall, kRunAgain},
     {"ProgID: QELCTRLLibCtl.QelCtrlMain, sin clase registrada."}},
    {"registered for 64-bit programs only",
     [](Component& c) {
       c.registration = {"QELCTRLLibCtl.QelCtrlMain"};
       c.registration.otherViewHasProgId = true;
     },
     OtherViewOnly("64", "32")},
    {"class's server in the 32-bit view only, seen from a 64-bit build",
     [](Component& c) {
       c.registration.serverFrom = ClassesRoot::None;
       c.registration.serverValue = c.registration.serverPath = "";
       c.registration.otherViewHasServer = true;
     },
     OtherViewOnly("32", "64"),
     {"Archivo registrado: ninguno."},
     kMachineAmd64},
    {"registered for this user only, run as administrator",
     [](Component& c) {
       c.registration.elevated = true;
       c.registration.progIdFrom = c.registration.serverFrom = ClassesRoot::User;
     },
     kIgnoredUserClasses,
     {"Registrado en las clases de este usuario.",
      "Este diagnóstico se ejecuta como administrador."}},
    {"the edge saw the per-user registration that COM ignored",
     [](Component& c) {
       c.registration = {"QELCTRLLibCtl.QelCtrlMain"};
       c.registration.elevated = c.registration.userClassesOnly = true;
       c.registration.unread = {{"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID", 5}};
     },
     kIgnoredUserClasses,
     {"No se pudo leer HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID: Acceso denegado (error 5 de "
      "Windows)."}},
    {"class without InprocServer32",
     [](Component& c) {
       c.registration.serverFrom = ClassesRoot::None;
       c.registration.serverValue = c.registration.serverPath = "";
     },
     {"Causa más probable: el componente de adquisición está mal registrado:",
      "  su clase {5E2B7D0A-1C3F-4B6E-9A8D-2F4C6E8A0B1D} no indica qué archivo cargar.", kReinstall,
      kRunAgain}},
    {"a key that could not be read may hold the server: no cause decided",
     [](Component& c) {
       c.registration.serverFrom = ClassesRoot::None;
       c.registration.serverValue = c.registration.serverPath = "";
       c.registration.unread = {{"HKEY_CURRENT_USER\\Software\\Classes\\CLSID", 5}};
     },
     OtherFailure("0x80070005 (Acceso denegado)")},
    {"file missing",
     [](Component& c) {
       c.file = {};
       c.registration.serverValue = "%ProgramFiles%\\Velmaris\\QelCtrl.dll";
     },
     {"Causa más probable: falta el archivo del componente de adquisición:",
      "  C:\\Velmaris\\QelCtrl.dll", kReinstall, kRunAgain},
     {"Archivo registrado: C:\\Velmaris\\QelCtrl.dll.",
      "  En el registro: %ProgramFiles%\\Velmaris\\QelCtrl.dll.", "El archivo no existe."}},
    {"existence could not be checked",
     [](Component& c) {
       c.file = {false, std::nullopt, {{kPath, 5}}};
     },
     OtherFailure("0x80070005 (Acceso denegado)"),
     {"No se pudo comprobar si el archivo existe.",
      "No se pudo leer C:\\Velmaris\\QelCtrl.dll: Acceso denegado (error 5 de Windows)."}},
    {"a 64-bit file", [](Component& c) { c.dll.machine = kMachineAmd64; },
     WrongKind("es de 64 bits (x64) y este diagnóstico necesita uno de 32 bits (x86)")},
    {"readings that fail elsewhere leave the file to decide",
     [](Component& c) {
       c.dll.machine = kMachineAmd64;
       c.registration.unread = {{"HKEY_LOCAL_MACHINE\\Software\\Classes\\Wow6432Node", 5}};
       c.file = {true, std::nullopt, {{kPath, 1812}}};
     },
     WrongKind("es de 64 bits (x64) y este diagnóstico necesita uno de 32 bits (x86)"),
     {"Versión del archivo: desconocida.",
      "No se pudo leer C:\\Velmaris\\QelCtrl.dll: Error 1812 de Windows."}},
    {"a program rather than a DLL", [](Component& c) { c.dll.dll = false; },
     WrongKind("es un programa, no una DLL")},
    {"a DLL that needs a DLL that is nowhere",
     [](Component& c) {
       c.dll.imports.push_back({"MSVCR120.dll", {"malloc"}});
     },
     MissingDll("  MSVCR120.dll (la necesita C:\\Velmaris\\QelCtrl.dll)")},
    {"a DLL missing two levels down",
     [](Component& c) {
       c.files.Place("QelRuntime.dll", kFolder, {kMachineI386, true, {{"QelIo.dll", {"Open"}}}});
       c.files.Place("QelIo.dll", kFolder, {kMachineI386, true, {{"MFC42.DLL", {"#1"}}}});
     },
     MissingDll("  MFC42.DLL (la necesita C:\\Velmaris\\QelIo.dll)")},
    {"an older runtime found first on the path",
     [](Component& c) {
       c.files.Place("QelRuntime.dll", "C:\\Otro", {kMachineI386, true, {}, {"QelInit"}});
     },
     {"Causa más probable: una DLL que el componente de adquisición necesita",
      "es una versión más antigua, sin su función número 2:", "  C:\\Otro\\QelRuntime.dll",
      "Reinstala el software de Velmaris, o quita esa copia antigua", "de la carpeta donde está.",
      kRunAgain}},
    {"Windows' own DLL lacks a function",
     [](Component& c) { c.dll.imports[0].second.push_back("GetTickCount64"); },
     {"Causa más probable: una DLL que el componente de adquisición necesita",
      "es una versión más antigua, sin su función GetTickCount64:",
      "  C:\\Windows\\system32\\KERNEL32.dll",
      "Es de Windows: actualiza Windows, o instala la versión",
      "del software de Velmaris para esta versión de Windows.", kRunAgain}},
    {"the component's file cannot be read",
     [](Component& c) { c.files.refused.insert(kPath); },
     OtherFailure("0x80070005 (Acceso denegado)"),
     {"Versión del archivo: 3.6.0.12.",
      "No se pudo leer C:\\Velmaris\\QelCtrl.dll: Acceso denegado (error 5 de Windows)."}},
    {"an operation missing from the component",
     [](Component& c) {
       c.failure = {ComponentFailure::Stage::Call, 0x80020003, "Miembro no encontrado.",
                    "LinkParameter"};
       c.dll.machine = kMachineAmd64;  // created, so its file is not what failed
     },
     {"Causa más probable: el componente de adquisición es antiguo:",
      "  no tiene la operación LinkParameter.",
      "Actualiza el software de Velmaris a la versión 3.6.0 o posterior.", kRunAgain},
     {"Error de su operación LinkParameter: 0x80020003 (Miembro no encontrado)."}},
    {"any other failure of a call",
     [](Component& c) {
       c.failure = {ComponentFailure::Stage::Call, 0x8000FFFF, ""};
     },
     OtherFailure("0x8000FFFF"),
     {"Error de una de sus operaciones: 0x8000FFFF."}},
    {"a failure of the tool itself: the facts only",
     [](Component& c) {
       c.failure = {ComponentFailure::Stage::Tool, 0, "Desbordamiento"};
       c.registration = {"QELCTRLLibCtl.QelCtrlMain"};
     },
     {},
     {"Error de este diagnóstico: Desbordamiento."}},
};

TEST(ComponentSectionTest, NamesTheFirstCauseThatApplies) {
  for (const Case& row : kCases) {
    SCOPED_TRACE(row.what);
    Component component;
    row.arrange(component);
    const Lines section = component.Section(row.machine);
    ASSERT_GE(section.size(), kHeading.size());
    EXPECT_THAT(Lines(section.begin(), section.begin() + 3), ElementsAreArray(kHeading));
    EXPECT_THAT(CauseOf(section), ElementsAreArray(row.cause));
    EXPECT_THAT(section, IsSupersetOf(row.facts));
  }
}

TEST(ComponentSectionTest, FollowsTheLoadersWayToTheDlls) {
  const auto cause = [](const std::function<void(Component&)>& arrange) {
    Component component;
    arrange(component);
    return CauseOf(component.Section()).at(0);
  };
  const std::string missing = "Causa más probable: falta una DLL que el componente";
  const std::string other = "Causa más probable: un fallo del componente de adquisición:";
  // API sets resolve in Windows; Windows' own DLLs are not followed.
  EXPECT_EQ(cause([](Component& c) {
              c.dll.imports.push_back({"api-ms-win-crt-heap-l1-1-0.dll", {"x"}});
            }),
            other);
  EXPECT_EQ(cause([](Component& c) {
              c.files.Place("KERNEL32.dll", kSystem,
                            {kMachineI386, true, {{"absent.dll", {"x"}}}, {"LoadLibraryW"}}, true);
            }),
            other);
  // A chain of DLLs beside the component is followed three deep, no further.
  const auto chain = [](size_t length) {
    return [length](Component& c) {
      for (size_t i = 1; i <= length; ++i) {
        const std::string next =
            i < length ? "Chain" + std::to_string(i + 1) + ".dll" : "absent.dll";
        c.files.Place("Chain" + std::to_string(i) + ".dll", kFolder,
                      {kMachineI386, true, {{next, {"x"}}}});
      }
      c.dll.imports.push_back({"Chain1.dll", {}});
    };
  };
  EXPECT_EQ(cause(chain(3)), missing);
  EXPECT_EQ(cause(chain(4)), other);
  // A DLL that the manifest binds to an assembly is looked for there.
  const std::string manifest =
      "<assembly><dependency><dependentAssembly><assemblyIdentity name='Microsoft.VC80.CRT' "
      "version='8.0.50727.762'/></dependentAssembly></dependency></assembly>";
  const auto bound = [&](bool installed) {
    return [&, installed](Component& c) {
      c.dll.imports.push_back({"MSVCR80.dll", {"malloc"}});
      c.dll.manifest = manifest;
      if (installed) {
        c.files.inAssemblies["Microsoft.VC80.CRT/MSVCR80.dll"] = {
            "C:\\Windows\\WinSxS\\x\\MSVCR80.dll", true};
        c.files.Place("MSVCR80.dll", "C:\\Windows\\WinSxS\\x", {kMachineI386, true, {}, {"malloc"}},
                      true);
        c.files.located.erase("MSVCR80.dll");
      }
    };
  };
  EXPECT_EQ(cause(bound(true)), other);
  EXPECT_EQ(cause(bound(false)), missing);
  // A DLL that Windows refuses to look for is named, and the walk goes on.
  Component refused;
  refused.files.refused.insert("QelRuntime.dll");
  refused.dll.imports.push_back({"MSVCR120.dll", {"malloc"}});
  const Lines section = refused.Section();
  EXPECT_EQ(CauseOf(section).at(0), missing);
  EXPECT_THAT(
      section,
      ::testing::Contains("No se pudo leer QelRuntime.dll: Acceso denegado (error 5 de Windows)."));
}

TEST(ComponentSectionTest, WritesEveryFactOnItsOwnGuardedLine) {
  Component component;
  component.registration.progId = "Qel\r\nCtrl";
  component.registration.treatAs = "{00000000-0000-0000-0000-000000000001}";
  component.registration.progIdFrom = ClassesRoot::User;
  component.failure.windowsMessage = "Acceso\r\ndenegado.\r\n";
  component.files.Place("QelRuntime.dll", kFolder, {kMachineI386, true, {}, {"QelInit", "#"}});
  component.files.files["C:\\Velmaris\\QelRuntime.dll"].resize(100);  // damaged
  EXPECT_THAT(
      component.Section(),
      ElementsAreArray(Lines{
          kHeading[0], kHeading[1], kHeading[2],
          "Causa más probable: un fallo del componente de adquisición:",
          "  0x80070005 (Acceso¶¶denegado).", kReinstall, kRunAgain,
          "ProgID: Qel¶¶Ctrl, clase {5E2B7D0A-1C3F-4B6E-9A8D-2F4C6E8A0B1D} (tratada como "
          "{00000000-0000-0000-0000-000000000001}).",
          "Archivo registrado: C:\\Velmaris\\QelCtrl.dll.", "El archivo existe.",
          "ProgID registrado en las clases de este usuario; su archivo, en las clases del "
          "equipo.",
          "Versión del archivo: 3.6.0.12.", "Error al crearlo: 0x80070005 (Acceso¶¶denegado).",
          "No se pudo leer C:\\Velmaris\\QelRuntime.dll: no es una DLL válida."}));
}

// Files that fail in a way the interface does not promise.
class ExhaustedFiles : public FakeComponentFiles {
  std::optional<FoundFile> Locate(const std::string&) override { throw std::bad_alloc(); }
};

TEST(ComponentSectionTest, NeverFails) {
  Component component;
  ExhaustedFiles files;
  files.files[kPath] = fakes::PeBytes(component.dll);
  const Lines section = ComponentSection(component.registration, component.file, component.failure,
                                         files, kMachineI386);
  ASSERT_EQ(section.size(), 4u);
  EXPECT_EQ(section[3], "No se pudo describir el componente: std::bad_alloc.");
}

TEST(ComponentLinesTest, NameTheFileAndItsVersion) {
  const ComponentRegistration registered = Component().registration;
  ComponentRegistration unreadable = registered;
  unreadable.serverFrom = ClassesRoot::None;
  unreadable.serverPath = "";
  unreadable.unread = {{"HKEY_CURRENT_USER\\Software\\Classes", 5}};
  const struct {
    ComponentRegistration registration;
    ComponentFile file;
    Lines lines;
  } rows[] = {
      {registered,
       {true, std::array<uint16_t, 4>{3, 6, 0, 12}},
       {"Componente de adquisición: C:\\Velmaris\\QelCtrl.dll, versión 3.6.0.12."}},
      {registered,
       {true},
       {"Componente de adquisición: C:\\Velmaris\\QelCtrl.dll, sin versión indicada."}},
      {registered,
       {false},
       {"Componente de adquisición: C:\\Velmaris\\QelCtrl.dll, que no existe."}},
      {registered,
       {true, std::nullopt, {{kPath, 0, "Sin memoria"}}},
       {"Componente de adquisición: C:\\Velmaris\\QelCtrl.dll, versión desconocida.",
        "  No se pudo leer C:\\Velmaris\\QelCtrl.dll: Sin memoria."}},
      {{"QELCTRLLibCtl.QelCtrlMain"},
       {},
       {"Componente de adquisición: no está registrado (QELCTRLLibCtl.QelCtrlMain)."}},
      {unreadable,
       {},
       {"Componente de adquisición: no se pudo leer su registro.",
        "  No se pudo leer HKEY_CURRENT_USER\\Software\\Classes: Acceso denegado (error 5 de "
        "Windows)."}},
  };
  for (const auto& row : rows) {
    EXPECT_THAT(ComponentLines(row.registration, row.file), ElementsAreArray(row.lines));
  }
}

}  // namespace
}  // namespace velmaris

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmaris {

// What Windows says of the acquisition component, as plain facts: the shell reads them the way
// COM resolves the component for this process, the report words them. Texts are UTF-8.

// Where a key of the registration was found. COM reads this user's classes before the
// machine's, except for a process with administrator rights on Vista and later.
enum class ClassesRoot { None, User, Machine };

// A reading of the registration or of a file that failed, and why: a Win32 error code, or a
// failure of the program itself with its description.
struct ComponentReadFailure {
  // The key, value or file that could not be read, as Windows names it (a key's full path, a
  // file's path): the report writes "No se pudo leer <what>: <why>."
  std::string what;
  uint32_t error = 0;
  std::string description{};
};

// The registration, in the registry view this process sees by itself.
struct ComponentRegistration {
  std::string progId;
  ClassesRoot progIdFrom = ClassesRoot::None;
  std::string classId{};  // "{...}", as CLSIDFromProgID gives it; empty when it gives none
  std::string treatAs{};  // the class's TreatAs, empty when it has none
  ClassesRoot serverFrom = ClassesRoot::None;  // where the class's InprocServer32 was found
  std::string serverValue{};                   // its default value as registered
  std::string serverPath{};  // expanded, unquoted, a bare name found as the loader finds it
  bool elevated = false;     // administrator rights on Vista and later
  // Where elevated: the ProgID or the class's InprocServer32 is only in this user's classes,
  // which COM then ignores (a root of User read while elevated counts the same).
  bool userClassesOnly = false;
  bool wow64 = false;  // a 32-bit process on 64-bit Windows
  // Only where there is another registry view (the 64-bit one for a 32-bit process on 64-bit
  // Windows, the 32-bit one for a 64-bit process): it has the ProgID, or the class's server.
  bool otherViewHasProgId = false;
  bool otherViewHasServer = false;
  std::vector<ComponentReadFailure> unread{};
};

// The component's file, where the registration names one.
struct ComponentFile {
  bool exists = false;  // false with an entry in unread: whether it exists could not be told
  std::optional<std::array<uint16_t, 4>> version{};  // VS_FIXEDFILEINFO's file version
  std::vector<ComponentReadFailure> unread{};
};

// How the start-up with the component failed.
struct ComponentFailure {
  enum class Stage {
    Creation,  // the component could not be created
    Call,      // one of its calls failed
    Tool,      // the tool itself failed (the report pane, say): facts only, no cause
  };
  Stage stage = Stage::Creation;
  uint32_t hresult = 0;
  std::string windowsMessage{};  // Windows' own message for the HRESULT, empty when none
  std::string operation{};       // the operation of a failed call, as the contract names it
};

}  // namespace velmaris

// Fuzzes the reading of a module's bytes, the walk over the DLLs it needs and the component
// section built on both: the bytes are the component and every DLL it imports, each name found
// or not, in Windows' folders or beside it, or refused, as the name's hash says. Nothing may
// crash or throw, and every line of the section must stay one guarded line.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzInvariants.h"
#include "diagnosis/ComponentSection.h"
#include "link/ComponentDependencies.h"
#include "link/Manifest.h"
#include "link/PeImage.h"

namespace velmaris::fuzzing {
namespace {

class FuzzedFiles : public ComponentFiles {
 public:
  FuzzedFiles(const uint8_t* bytes, size_t size) : bytes_(bytes, bytes + size) {}

  std::optional<std::vector<uint8_t>> Read(const std::string& path, size_t limit) override {
    if (Hash(path) % 11 == 0) throw WindowsReadFailure(5);
    if (Hash(path) % 13 == 0) return std::nullopt;
    return std::vector<uint8_t>(bytes_.begin(), bytes_.begin() + std::min(limit, bytes_.size()));
  }
  std::optional<FoundFile> Locate(const std::string& name) override {
    const size_t hash = Hash(name);
    if (hash % 7 == 0) throw Failure("fuzz", "refused");
    if (hash % 5 == 0) return std::nullopt;
    return FoundFile{"C:\\" + name, hash % 3 == 0};
  }
  std::optional<FoundFile> LocateInAssembly(const AssemblyIdentity& assembly,
                                            const std::string& name) override {
    if (Hash(assembly.name + name) % 2 == 0) return std::nullopt;
    return FoundFile{"C:\\WinSxS\\" + name, true};
  }

 private:
  static size_t Hash(const std::string& text) { return std::hash<std::string>()(text); }
  std::vector<uint8_t> bytes_;
};

void CheckLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    for (unsigned char c : line) {
      if (c < 0x20 || c == 0x7F) Fail("a control character in a line", line);
    }
  }
}

void CheckOneInput(const uint8_t* bytes, size_t size) {
  const PeImage image = ReadPeImage(bytes, size);
  if (image.problem != PeProblem::None && !(image.imports.empty() && image.exportNames.empty())) {
    Fail("a module that could not be read keeps its tables");
  }
  DependentAssemblies(std::string_view(reinterpret_cast<const char*>(bytes), size));

  FuzzedFiles files(bytes, size);
  try {
    WalkDependencies("C:\\component.dll", image, files);
  } catch (...) {
    Fail("the walk let a failure out");
  }
  ComponentRegistration registration{
      "Fuzz.Component",     ClassesRoot::Machine, "{class}",          "",
      ClassesRoot::Machine, "C:\\component.dll",  "C:\\component.dll"};
  for (uint16_t machine : {kMachineI386, kMachineAmd64}) {
    try {
      CheckLines(ComponentSection(registration, {true}, {}, files, machine));
    } catch (...) {
      Fail("the section let a failure out");
    }
  }
}

}  // namespace
}  // namespace velmaris::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  velmaris::fuzzing::CheckOneInput(bytes, size);
  return 0;
}

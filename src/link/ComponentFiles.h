#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Failure.h"

namespace velmaris {

// A side-by-side assembly that a file's manifest binds to (its dependentAssembly's
// assemblyIdentity). Texts as the manifest gives them; empty where it gives none.
struct AssemblyIdentity {
  std::string name;
  std::string version{};
  std::string processorArchitecture{};
  std::string publicKeyToken{};
  std::string language{};
  std::string type{};
};

// What the edge throws when Windows refuses to answer: the Win32 error it gave.
class WindowsReadFailure : public Failure {
 public:
  explicit WindowsReadFailure(uint32_t error)
      : Failure(kToolSource, "Error " + std::to_string(error) + " de Windows"), error_(error) {}
  uint32_t error() const { return error_; }

 private:
  uint32_t error_;
};

// A DLL where the loader would find it.
struct FoundFile {
  std::string path;
  bool inSystemFolder = false;  // the system folder (or WinSxS): Windows' own, not followed
};

// The Windows edge: files as the loader finds them when COM loads the component by its full
// path. Paths and names are UTF-8. Every method may throw Failure, a WindowsReadFailure where
// Windows gave an error, when it cannot answer (the walk then names what could not be read and
// why); none runs code of the file it reads.
class ComponentFiles {
 public:
  virtual ~ComponentFiles() = default;

  // The file's first `limit` bytes (all of it when shorter); nullopt when it does not exist.
  virtual std::optional<std::vector<uint8_t>> Read(const std::string& path, size_t limit) = 0;

  // Where the loader finds an imported DLL for the component: the component's own folder, the
  // system folder, the 16-bit system folder, the Windows folder, the current folder, then PATH;
  // a known DLL from the system folder only. nullopt when it is nowhere.
  virtual std::optional<FoundFile> Locate(const std::string& dllName) = 0;

  // The DLL of a side-by-side assembly that a manifest binds to, in WinSxS; nullopt when that
  // assembly is not installed or does not hold it.
  virtual std::optional<FoundFile> LocateInAssembly(const AssemblyIdentity& assembly,
                                                    const std::string& dllName) = 0;
};

}  // namespace velmaris

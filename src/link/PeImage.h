#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/ComponentFiles.h"

namespace velmaris {

// What a file's bytes say of it as a Windows module, read as data. Every offset, size and count
// in the file is checked against the bytes and bounded; nothing in it is trusted.

// PE machine numbers this program names.
inline constexpr uint16_t kMachineI386 = 0x14C;
inline constexpr uint16_t kMachineAmd64 = 0x8664;

enum class PeProblem {
  None,
  NotPe,    // no DOS header or no PE signature: not a Windows module at all
  Damaged,  // a PE file whose headers, imports or exports run outside the file or past a bound
};

// An imported function: by name, or by ordinal when the name is empty.
struct ImportedFunction {
  std::string name;
  uint16_t ordinal = 0;
};

struct ImportedDll {
  std::string name;
  std::vector<ImportedFunction> functions;
};

struct PeImage {
  PeProblem problem = PeProblem::NotPe;
  uint16_t machine = 0;  // known once the file header was read, even when later parts are damaged
  bool dll = false;
  std::vector<ImportedDll> imports;  // the import directory, not the delay-load one
  // The export table's names in its own order, which the loader takes as sorted and searches
  // by halves, as Exports does; and from exportBase on, one byte per ordinal: 1 where it has an
  // address (forwarded ones included), 0 for a gap.
  std::vector<std::string> exportNames;
  uint32_t exportBase = 0;
  std::vector<uint8_t> exportOrdinals;
  // The side-by-side assemblies that the module's own manifest binds to (resource 2 for a DLL,
  // 1 for a program, as the loader takes them). A damaged resource tree reads as none: the
  // loader does not need it to map the module.
  std::vector<AssemblyIdentity> assemblies;

  // Whether the loader finds the function in the export table (forwarded exports count).
  bool Exports(const ImportedFunction& function) const;
};

PeImage ReadPeImage(const uint8_t* data, size_t size);

}  // namespace velmaris

#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "link/ComponentFacts.h"
#include "link/ComponentFiles.h"
#include "link/PeImage.h"

namespace velmaris {

// How far the walk follows DLLs found outside the system folders, and how many it reads.
inline constexpr size_t kDependencyDepth = 3;
inline constexpr size_t kDependencyFilesAtMost = 64;
// How many distinct DLLs it looks for: each costs the edge a search along the folders.
inline constexpr size_t kDllsLookedForAtMost = 512;
// The most of a file that is read: more than any component or runtime DLL.
inline constexpr size_t kModuleReadLimit = size_t{32} << 20;

struct MissingDll {
  std::string name;      // as the file that needs it imports it
  std::string neededBy;  // that file's path
};

// A function that the component imports and the DLL the loader finds first does not export.
struct MissingFunction {
  std::string dll;
  FoundFile foundAt;
  ImportedFunction function;
};

struct DependencyWalk {
  std::optional<MissingDll> missingDll;  // the first missing, breadth first from the component
  std::optional<MissingFunction> missingFunction;  // looked for only where no DLL is missing
  std::vector<ComponentReadFailure> unread;  // a DLL that could not be looked for, a file read
  std::vector<std::string> damaged;          // found files that are no module or a damaged one
};

// The DLLs the component at `path` needs, looked for as the loader looks for them: names that
// Windows resolves itself count as found, a DLL the importing file's manifest binds to an
// assembly is looked for there first, found DLLs outside the system folders are followed to
// kDependencyDepth and kDependencyFilesAtMost files. Where every DLL is found, the component's
// own imports are checked against the export tables of the DLLs found. A Failure of `files`
// becomes an entry of `unread`.
DependencyWalk WalkDependencies(const std::string& path, const PeImage& component,
                                ComponentFiles& files);

// A Failure of `files` as the reading of `what` that failed.
ComponentReadFailure ReadFailureOf(const std::string& what, const Failure& failure);

// Reads the module at `path` through `files`: nullopt, with the reason in `walk`, where it
// cannot be read or is no usable module.
std::optional<PeImage> ReadModule(ComponentFiles& files, const std::string& path,
                                  DependencyWalk& walk);

}  // namespace velmaris

#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/ComponentFacts.h"
#include "link/ComponentFiles.h"

namespace velmaris {

// What the window asks Windows about the acquisition component: its registration as COM
// resolves it for this process, the file it names, the files that file needs, and the PE machine
// this program's own build is for. Readings that fail are named in the facts, not thrown; any
// call may still raise a failure of the program itself (out of memory, say).
class ComponentLookup {
 public:
  virtual ~ComponentLookup() = default;

  virtual ComponentRegistration ReadRegistration() = 0;
  // Nothing is read for an empty path.
  virtual ComponentFile ReadFile(const std::string& path) = 0;
  // The files as the loader finds them when COM loads the server at `serverPath`.
  virtual std::unique_ptr<ComponentFiles> FilesOf(const std::string& serverPath) = 0;
  virtual uint16_t Machine() const = 0;
};

}  // namespace velmaris

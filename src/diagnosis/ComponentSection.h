#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/ComponentFacts.h"
#include "link/ComponentFiles.h"

namespace velmaris {

// The report section appended after a start-up with the component that failed: the rule, the
// title, the rule, then the one most likely cause and what to do, then the facts one a line.
// The cause is decided from what was read (the registration, the file, its header, the DLLs it
// needs, read through `files`), never from the error code alone. `expectedMachine` is the PE
// machine number of this program's own build (0x14C for 32-bit x86, 0x8664 for x64). Never fails:
// a failure of the wording becomes a line of the section.
std::vector<std::string> ComponentSection(const ComponentRegistration& registration,
                                          const ComponentFile& file,
                                          const ComponentFailure& failure, ComponentFiles& files,
                                          uint16_t expectedMachine);

// The lines that the section on what Windows sees appends after its lists when no unit answers:
// the component's registered file and its version, or what could not be read. Never fails.
std::vector<std::string> ComponentLines(const ComponentRegistration& registration,
                                        const ComponentFile& file);

}  // namespace velmaris

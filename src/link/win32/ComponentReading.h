#pragma once

#include <string>

#include "link/ComponentFacts.h"

namespace velmaris {

// The acquisition component's registration as COM resolves it for this process: the class that
// CLSIDFromProgID gives, its TreatAs, and its InprocServer32, each from this user's classes before
// the machine's (the machine's first for a process with administrator rights on Vista and later,
// whose COM ignores this user's), in the registry view this process sees by itself; on 64-bit
// Windows, whether the other width's view has what this one lacks. Only reads; runs no code of
// the component. A reading that fails is listed with its reason and the others still run.
ComponentRegistration ReadComponentRegistration(const std::string& progId);

// Whether the registered file exists, and its version record's file version. Reads it as data
// only; nothing of it runs. Nothing is read for an empty path.
ComponentFile ReadComponentFile(const std::string& path);

}  // namespace velmaris

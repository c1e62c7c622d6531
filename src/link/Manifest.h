#pragma once

#include <string_view>
#include <vector>

#include "link/ComponentFiles.h"

namespace velmaris {

// The assemblies an application manifest binds to: each dependency/dependentAssembly's
// assemblyIdentity, in order, at most kManifestAssembliesAtMost. Takes UTF-8 (with or without
// its byte order mark) or UTF-16LE with its mark; reads what it can of a malformed text and
// never fails on one.
inline constexpr size_t kManifestAssembliesAtMost = 16;

std::vector<AssemblyIdentity> DependentAssemblies(std::string_view manifest);

}  // namespace velmaris

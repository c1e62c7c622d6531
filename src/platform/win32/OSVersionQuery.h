#pragma once

#include <cstdint>

namespace velmaris {

// The Windows version level of this host, asked of GetVersionExA anew on every call.
int16_t WindowsVersionLevel();

}  // namespace velmaris

#pragma once

#include <cstdint>

namespace velmaris::win32 {

// The Windows version level of this host, asked of GetVersionExA anew on every call.
int16_t WindowsVersionLevel();

}  // namespace velmaris::win32

#pragma once

#include <cstdint>

namespace velmaris {

// The lowest level that suits the current releases of the Velmaris software (Windows 7); the
// advice in the report and after a scan without a unit both turn on it.
inline constexpr int16_t kCurrentSoftwareLevel = 7;

// The Windows version level from what GetVersionExA answered: 7 for NT 6.1, 8 for NT 6.2 and
// 6.3, the major version for any other NT release, 0 for a failed query or a system outside the
// NT family. A major version beyond 16 bits raises an overflow Failure.
int16_t WindowsVersionLevelFrom(int32_t callResult, uint32_t platformId, uint32_t major,
                                uint32_t minor);

}  // namespace velmaris

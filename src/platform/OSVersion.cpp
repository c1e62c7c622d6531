#include "platform/OSVersion.h"

#include <limits>

#include "common/Failure.h"

namespace velmaris {

namespace {

constexpr int32_t kQuerySucceeded = 1;
constexpr uint32_t kPlatformNt = 2;  // VER_PLATFORM_WIN32_NT

}  // namespace

int16_t WindowsVersionLevelFrom(int32_t callResult, uint32_t platformId, uint32_t major,
                                uint32_t minor) {
  if (callResult != kQuerySucceeded || platformId != kPlatformNt) return 0;
  if (major > static_cast<uint32_t>(std::numeric_limits<int16_t>::max())) FailInTool(kOverflow);
  if (major == 6 && minor == 1) return 7;
  if (major == 6 && (minor == 2 || minor == 3)) return 8;
  return static_cast<int16_t>(major);
}

}  // namespace velmaris

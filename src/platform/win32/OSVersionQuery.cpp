#include "platform/win32/OSVersionQuery.h"

#include <windows.h>

#include "platform/OSVersion.h"

namespace velmaris {

static_assert(sizeof(OSVERSIONINFOA) == 148, "the record the query expects");

int16_t WindowsVersionLevel() {
  OSVERSIONINFOA record = {};
  record.dwOSVersionInfoSize = sizeof record;
  const BOOL result = GetVersionExA(&record);
  return WindowsVersionLevelFrom(result, record.dwPlatformId, record.dwMajorVersion,
                                 record.dwMinorVersion);
}

}  // namespace velmaris

#include "common/win32/LastError.h"

#include <windows.h>

namespace velmaris {

std::string WithLastError(const std::string& what) {
  return what + " (" + std::to_string(GetLastError()) + ")";
}

}  // namespace velmaris

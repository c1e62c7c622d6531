#include "platform/PortCheck.h"

namespace velmaris {

PortState PortStateOfOpen(uint32_t error) {
  switch (error) {
    case 0:
      return PortState::Free;
    case 5:   // ERROR_ACCESS_DENIED
    case 32:  // ERROR_SHARING_VIOLATION: how Wine refuses a port another process holds
    case 33:  // ERROR_LOCK_VIOLATION
      return PortState::InUse;
    case 2:     // ERROR_FILE_NOT_FOUND
    case 3:     // ERROR_PATH_NOT_FOUND
    case 433:   // ERROR_NO_SUCH_DEVICE
    case 1167:  // ERROR_DEVICE_NOT_CONNECTED
      return PortState::Gone;
    case 121:  // ERROR_SEM_TIMEOUT
      return PortState::NoAnswer;
    case 31:   // ERROR_GEN_FAILURE
    case 998:  // ERROR_NOACCESS
      return PortState::DriverFails;
    default:
      return PortState::Error;
  }
}

}  // namespace velmaris

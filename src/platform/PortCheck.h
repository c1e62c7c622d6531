#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/WindowsDevices.h"

namespace velmaris {

// After a scan without a unit, each port the scan tried and Windows has is opened once, with no
// sharing, and closed at once: what that says of the port is what support asks first.

// What one open told of a port.
enum class PortState {
  Free,   // it opened
  InUse,  // another program holds it: access denied (5), sharing (32) or lock violation (33)
  Gone,   // gone since Windows listed it: not found (2, 3), not connected (1167), no device (433)
  NoAnswer,     // a semaphore timeout (121), or no answer within the time an open gets
  DriverFails,  // the port's driver fails (31, 998)
  Error,        // any other error, named with its number
  NotChecked,   // not reached: the whole check's time was up
};

struct PortCheckResult {
  int16_t port;  // n for COMn
  PortState state;
  uint32_t error = 0;  // the open's Windows error, for Error (and as read for the others)
};

// The state that an open which returned gives: error 0 for one that opened.
PortState PortStateOfOpen(uint32_t error);

// Which ports to open, chosen from what Windows sees.
using PortChooser = std::function<std::vector<int16_t>(const WindowsDevices&)>;

// The work after a scan without a unit: what Windows sees is read, and the ports chosen from it
// are opened, away from the window's thread, since both can block; the window is told through an
// event of its own when all is in.
class PortCheck {
 public:
  virtual ~PortCheck() = default;
  // Starts reading with `read`, then checking the ports `choose` picks, one at a time, in its
  // order. Answers the Windows error that kept the work from starting, 0 once it has started.
  virtual uint32_t Start(WindowsDevicesReader read, PortChooser choose) = 0;
  // What Windows sees, once the window was told; any reading's failure is among its unread facts.
  virtual WindowsDevices Devices() = 0;
  // One result per port chosen, in that order; complete once the window was told.
  virtual std::vector<PortCheckResult> Results() = 0;
};

}  // namespace velmaris

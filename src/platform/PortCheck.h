#pragma once

#include <cstdint>
#include <vector>

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

// An open gets at most this long, and the whole check at most kPortCheckMs.
inline constexpr uint32_t kPortOpenMs = 1500;
inline constexpr uint32_t kPortCheckMs = 8000;

// The state that an open which returned gives: error 0 for one that opened.
PortState PortStateOfOpen(uint32_t error);

// Opens the ports away from the window's thread, since an open can block: the window is told
// through an event of its own when the results are in.
class PortCheck {
 public:
  virtual ~PortCheck() = default;
  // Starts checking the ports (COM numbers), one at a time, in this order.
  virtual void Start(const std::vector<int16_t>& ports) = 0;
  // One result per port started, in that order; complete once the window was told.
  virtual std::vector<PortCheckResult> Results() = 0;
};

}  // namespace velmaris

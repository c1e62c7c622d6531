#include "platform/WindowsDevices.h"

#include <exception>

namespace velmaris {

WindowsDevices AskWindowsDevices(const WindowsDevicesQuery& query) {
  try {
    return query();
  } catch (const std::exception& error) {
    // The program's Failure is a std::exception whose what() is its description.
    WindowsDevices nothing;
    nothing.unread.push_back({DeviceFact::All, UnreadFact::Cause::Program, 0, error.what()});
    return nothing;
  }
}

}  // namespace velmaris

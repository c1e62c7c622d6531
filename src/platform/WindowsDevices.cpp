#include "platform/WindowsDevices.h"

#include <algorithm>
#include <exception>

namespace velmaris {

bool Failed(const std::vector<UnreadFact>& unread, DeviceFact fact) {
  return std::any_of(unread.begin(), unread.end(),
                     [&](const UnreadFact& one) { return one.fact == fact; });
}

WindowsDevices ReadingFailed(std::string why) {
  WindowsDevices devices;
  devices.unread.push_back({DeviceFact::All, UnreadFact::Cause::Program, 0, std::move(why)});
  return devices;
}

WindowsDevices WhatWindowsSees(const WindowsDevicesReader& read) {
  try {
    return read();
  } catch (const std::exception& error) {
    // The program's Failure is a std::exception whose what() is its description.
    return ReadingFailed(error.what());
  } catch (...) {
    return ReadingFailed("");
  }
}

}  // namespace velmaris

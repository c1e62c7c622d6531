#include "platform/WindowsDevices.h"

#include <algorithm>

namespace velmaris {

bool Failed(const std::vector<UnreadFact>& unread, DeviceFact fact) {
  return std::any_of(unread.begin(), unread.end(),
                     [&](const UnreadFact& one) { return one.fact == fact; });
}

std::optional<std::string> IsoDriverDate(const std::string& stored) {
  unsigned month = 0, day = 0, year = 0;
  size_t at = 0;
  const auto number = [&](unsigned& value, size_t digitsAtMost) {
    size_t digits = 0;
    while (at < stored.size() && stored[at] >= '0' && stored[at] <= '9' && digits < digitsAtMost) {
      value = value * 10 + static_cast<unsigned>(stored[at++] - '0');
      ++digits;
    }
    return digits > 0;
  };
  const auto dash = [&] { return at < stored.size() && stored[at++] == '-'; };
  if (!number(month, 2) || !dash() || !number(day, 2) || !dash() || !number(year, 4) ||
      at != stored.size() || month < 1 || month > 12 || day < 1 || day > 31 || year < 1000) {
    return std::nullopt;
  }
  const auto twoDigits = [](unsigned value) {
    return std::string(value < 10 ? "0" : "") + std::to_string(value);
  };
  return std::to_string(year) + "-" + twoDigits(month) + "-" + twoDigits(day);
}

WindowsDevices NothingRead(std::string why) {
  WindowsDevices devices;
  devices.unread.push_back({DeviceFact::All, UnreadFact::Cause::Program, 0, std::move(why)});
  return devices;
}

WindowsDevices WhatWindowsSees(const WindowsDevicesReader& read) {
  return OrNothingRead(read, [](WindowsDevices nothing) { return nothing; });
}

}  // namespace velmaris

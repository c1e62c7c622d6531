#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/WindowsDevices.h"

namespace velmaris {

// The shape shared by the lists of the section on what Windows sees.

using Lines = std::vector<std::string>;

// A list shows at most this many entries, and says how many more there are.
inline constexpr size_t kListedAtMost = 12;

struct SectionList {
  std::string heading;
  size_t entries;
  std::function<void(Lines&, size_t)> addEntry;  // adds the lines of entry i
  // "* Y 3 puertos más." for the entries from the first not listed on.
  std::function<std::string(size_t firstNotListed)> more;
  Lines unread;  // the failed readings behind the list, as UnreadListLines words them
};

// The heading, the entries, how many more, "* Ninguno." for a list that is empty and whose
// readings all succeeded, then the failed readings.
Lines ListLines(const SectionList& list);

// Two lines per distinct failed reading of the given lists, saying how often it failed.
Lines UnreadListLines(const std::vector<UnreadFact>& unread,
                      std::initializer_list<DeviceFact> facts);

// One line per failed reading of one port's or device's values.
void AddUnreadValues(Lines& lines, const std::vector<UnreadFact>& unread);

}  // namespace velmaris

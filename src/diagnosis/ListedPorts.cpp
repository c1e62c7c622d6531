#include "diagnosis/ListedPorts.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace velmaris {

namespace {

// A COM number with more digits is no port number Windows hands out.
constexpr size_t kComDigitsAtMost = 5;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool ListedBefore(const ListedPort& a, const ListedPort& b) {
  if ((a.number == 0) != (b.number == 0)) return a.number != 0;
  if (a.number != b.number) return a.number < b.number;
  return a.key < b.key;
}

void Merge(SerialPort& known, const SerialPort& again) {
  if (known.device == PortDevice::None && again.device != PortDevice::None) {
    std::string name = std::move(known.name);
    std::string friendlyName = std::move(known.friendlyName);
    known = again;
    known.name = std::move(name);
    if (known.friendlyName.empty()) known.friendlyName = std::move(friendlyName);
    return;
  }
  if (known.friendlyName.empty() && !Failed(known.unread, DeviceFact::FriendlyName)) {
    known.friendlyName = again.friendlyName;
  }
}

}  // namespace

long ComNumber(const std::string& name) {
  const std::string key = Upper(name);
  if (key.rfind("COM", 0) != 0) return 0;
  const std::string digits = key.substr(3);
  if (digits.empty() || digits.size() > kComDigitsAtMost) return 0;
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return 0;
  return std::stol(digits);
}

// There are few ports: each entry is put in its place as it comes.
std::vector<ListedPort> ListedPorts(const std::vector<SerialPort>& reported) {
  std::vector<ListedPort> ports;
  for (const SerialPort& port : reported) {
    std::string key = Upper(port.name);
    if (key.rfind("LPT", 0) == 0) continue;
    auto same = std::find_if(ports.begin(), ports.end(), [&](const ListedPort& known) {
      return !key.empty() && known.key == key;
    });
    if (same != ports.end()) {
      Merge(same->facts, port);
      continue;
    }
    const long number = ComNumber(key);
    ListedPort entry{port, std::move(key), number};
    const auto place = std::find_if(ports.begin(), ports.end(), [&](const ListedPort& known) {
      return ListedBefore(entry, known);
    });
    ports.insert(place, std::move(entry));
  }
  return ports;
}

}  // namespace velmaris

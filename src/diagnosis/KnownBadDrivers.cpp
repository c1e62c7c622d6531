#include "diagnosis/KnownBadDrivers.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

namespace velmaris {

namespace {

// A part of a driver version is a 16-bit number; more digits are no version.
constexpr size_t kDigitsAtMost = 5;

using Version = std::array<unsigned long, 4>;

// One to four numbers separated by dots; the missing ones are 0, as Windows reads them.
std::optional<Version> VersionOf(const std::string& text) {
  Version version{};
  size_t part = 0;
  size_t digits = 0;
  for (char c : text) {
    if (c == '.') {
      if (digits == 0 || ++part == version.size()) return std::nullopt;
      digits = 0;
    } else if (std::isdigit(static_cast<unsigned char>(c)) && digits < kDigitsAtMost) {
      version[part] = version[part] * 10 + static_cast<unsigned long>(c - '0');
      ++digits;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0) return std::nullopt;
  return version;
}

bool SameWithoutCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

const std::vector<KnownBadDriver>& KnownBadDrivers() {
  // The CH340 driver releases widely reported to break opening or configuring the port.
  static const std::vector<KnownBadDriver> releases = {
      {"wch.cn", "3.8.2023.2"},
      {"wch.cn", "3.9.2024.9"},
  };
  return releases;
}

bool IsKnownBad(const DriverFacts& driver, const std::vector<KnownBadDriver>& releases) {
  if (!driver.installed) return false;
  const std::optional<Version> version = VersionOf(driver.version);
  if (!version) return false;
  return std::any_of(releases.begin(), releases.end(), [&](const KnownBadDriver& release) {
    return SameWithoutCase(driver.provider, release.provider) &&
           VersionOf(release.version) == version;
  });
}

}  // namespace velmaris

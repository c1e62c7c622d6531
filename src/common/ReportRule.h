#pragma once

#include <string>
#include <vector>

namespace velmaris {

// The rule above and below the title of the report's closing sections (the hardware advice,
// what Windows sees): 32 equals signs.
inline constexpr const char* kSectionRule = "================================";

// A section's heading: its title between two copies of its rule.
inline std::vector<std::string> Heading(const std::string& title,
                                        const std::string& rule = kSectionRule) {
  return {rule, title, rule};
}

}  // namespace velmaris

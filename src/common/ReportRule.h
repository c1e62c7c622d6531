#pragma once

namespace velmaris {

// The rule above and below the title of the report's closing sections (the hardware advice,
// what Windows sees): 32 equals signs.
inline constexpr const char* kSectionRule = "================================";

}  // namespace velmaris

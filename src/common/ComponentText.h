#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmaris {

// A text from outside the program (an identification element or a failure's texts from the
// component, a name Windows keeps) as it may appear in a report line or a message line: it never
// starts, splits or cuts a line. Every control character (CR, LF, NUL, tab, the rest of U+0000 to
// U+001F, U+007F to U+009F, and the line and paragraph separators U+2028 and U+2029) shows as
// kControlStandIn; a text longer than `limit` characters keeps its first `limit` and ends in
// kCutMark. Bytes that are not UTF-8 pass through unchanged, each counted as a character.
inline constexpr const char* kControlStandIn = "¶";
inline constexpr const char* kCutMark = "[…]";
inline constexpr size_t kComponentTextLimit = 1000;

std::string BoundedText(std::string_view text, size_t limit);

// A text from the component, bounded at kComponentTextLimit.
inline std::string ComponentText(std::string_view text) {
  return BoundedText(text, kComponentTextLimit);
}

}  // namespace velmaris

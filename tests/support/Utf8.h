#pragma once

#include <string>

#include "common/win32/Utf16.h"

namespace velmaris::test {

// The tests' names for the program's own conversions between UTF-8 and UTF-16.
inline std::string Utf8(const std::wstring& text) { return Narrow(text); }
inline std::wstring Wide(const std::string& text) { return Widen(text); }

}  // namespace velmaris::test

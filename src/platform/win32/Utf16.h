#pragma once

#include <string>

namespace velmaris {

// The core speaks UTF-8, Windows speaks UTF-16: these convert at that boundary. Invalid input
// becomes U+FFFD rather than an error, so a bad byte never hides the rest of a message.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);
std::string Narrow(const wchar_t* utf16, size_t length);

}  // namespace velmaris

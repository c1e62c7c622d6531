#pragma once

#include <wtypes.h>

#include <string>

namespace velmaris {

// The core speaks UTF-8, Windows speaks UTF-16: these convert at that boundary. Invalid input
// becomes U+FFFD rather than an error, so a bad byte never hides the rest of a message.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);
std::string Narrow(const wchar_t* utf16, size_t length);

// UTF-8 text of a BSTR, to its recorded length; a null BSTR is the empty text, as Automation
// defines it.
std::string BstrToUtf8(BSTR text);

}  // namespace velmaris

#pragma once

#include <optional>
#include <string_view>

namespace velmaris {

// Numbers written as text, read the same way on every machine (never by the user's locale):
// an optional sign, digits with an optional '.' decimal point (at least one digit in all), and an
// optional exponent 'e' or 'E' with an optional sign and digits. No thousands separators, no
// '&H' or '0x' prefixes, no currency signs. Blanks are space, tab, CR and LF.
// A magnitude beyond the double range reads as an infinity, one below it as zero.

// The whole text as one number, blanks allowed only before and after it; nullopt otherwise.
std::optional<double> NumberFromText(std::string_view text);

// The number at the start of the text, read for as long as the characters form one, blanks
// skipped wherever they are; 0 when the text does not begin with a number.
double LeadingNumberOfText(std::string_view text);

}  // namespace velmaris

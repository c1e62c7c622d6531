#pragma once

#include <cstdint>
#include <string>

namespace velmaris {

// Numbers and dates written as text the way OLE Automation joins them to a text, but the same on
// every machine: '.' is always the decimal point, there are no thousands separators, and dates
// do not follow the user's locale.

// A real with at most `significantDigits` significant digits (15 for a Double, 7 for a Single),
// rounded on the exact binary value, a half away from zero. Plain decimal notation when the first
// digit's decimal exponent lies between -5 and significantDigits - 1 ("0.0001", "123456789012345");
// otherwise the exponent form: mantissa, "E", sign, at least two exponent digits ("1E+15",
// "1.5E-05"). Trailing zeros after the point are dropped; -0 is "0". NaN and the infinities
// raise an overflow Failure.
std::string RealText(double number, int significantDigits);

// A currency amount given in ten-thousandths: every digit, up to four decimals, trailing
// decimal zeros dropped ("12.5", "-0.0001", "922337203685477.5807").
std::string CurrencyText(int64_t tenThousandths);

// A 96-bit decimal (magnitude high:low, scale 0 to 28 decimals): every digit, plain notation,
// trailing decimal zeros dropped ("1.5", "79228162514264337593543950335").
std::string ScaledDecimalText(bool negative, uint8_t scale, uint32_t high, uint64_t low);

// An Automation date (days since 1899-12-30, the fraction the time of day, counted forward from
// midnight also for days before 1899-12-30) as "YYYY-MM-DD", followed by " HH:MM:SS" unless the
// time, rounded to the second, is midnight. A date outside the years 100 to 9999, or not a
// finite number, raises an overflow Failure.
std::string DateText(double days);

}  // namespace velmaris

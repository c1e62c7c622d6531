#pragma once

#include <cstdint>
#include <string>

#include "common/Failure.h"
#include "value/Value.h"

namespace velmaris {

// Conversions of the values the component hands over, as the platform makes them. A number is
// rounded to the nearest whole number, a half to the even neighbour (a Decimal on its exact
// value); a text is first read as a double (NumberText.h); a Boolean counts as True = -1,
// False = 0; Empty counts as 0. A result out of range, or a real that is not finite, fails with
// kOverflow; a text that is not a number, Null, an array or an unsupported type fails with
// kTypeMismatch.
int16_t ToInt16(const Value& value);
int32_t ToInt32(const Value& value);
uint8_t ToByte(const Value& value);

// A LinkOpen reading as a Boolean: any non-zero number is True; the texts "True" and "False" in
// any case, or a numeric text; Empty is False.
bool ToBoolean(const Value& value);

// The value's own text form read as a number from its start (blanks skipped; no number gives
// 0), rounded to a 32-bit integer. Null fails with kTypeMismatch.
int32_t NumericValueOfText(const Value& value);

// The value's own text form, as OLE Automation gives it when it joins the value to a text, kept
// free of the user's locale (AutomationText.h): a text unchanged; Empty and Null as ""; an
// integer of any width in decimal; a Double with at most 15 significant digits, a Single with at
// most 7; a currency amount and a decimal with every digit; a date as "YYYY-MM-DD[ HH:MM:SS]";
// a Boolean "True" or "False". An array or an unsupported type fails with kTypeMismatch.
std::string OwnTextForm(const Value& value);

// Decimal digits, with a minus sign when negative.
std::string DecimalText(int64_t number);

// Decimal digits with leading zeros up to `minimumDigits` (7 with 2 gives "07").
std::string ZeroPaddedDecimal(uint64_t number, size_t minimumDigits);

// Upper-case hexadecimal digits without prefix, with leading zeros up to `minimumDigits`
// ("12C"; 0x80040154 with 8 gives "80040154", 5 with 8 gives "00000005").
std::string UpperHex(uint64_t number, size_t minimumDigits = 1);

// A 32-bit code as Windows documents it: "0x" and eight upper-case hexadecimal digits
// ("0x80040154").
std::string HexCode(uint32_t code);

// Upper-case hexadecimal without prefix or leading zeros. An integer of 8, 16 or 32 bits is
// written as the two's complement of its own width (16-bit -1 gives FFFF, 32-bit -1 FFFFFFFF,
// 8-bit -1 FF); a Boolean as the platform's 16-bit Boolean (True gives FFFF); any other value,
// a 64-bit integer included, is first converted to a 32-bit integer.
std::string HexText(const Value& value);

}  // namespace velmaris

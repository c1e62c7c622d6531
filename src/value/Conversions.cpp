#include "value/Conversions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "common/Failure.h"
#include "value/AutomationText.h"
#include "value/NumberText.h"

namespace velmaris {

namespace {

using Kind = Value::Kind;

[[noreturn]] void Overflow() { FailInTool(kOverflow); }
[[noreturn]] void TypeMismatch() { FailInTool(kTypeMismatch); }

// An unsigned 64-bit integer above the int64 range arrives with its bit pattern in asInteger().
bool IsBeyondInt64(const Value& value) {
  return value.kind() == Kind::Integer && !value.integerSigned() && value.asInteger() < 0;
}

double RoundHalfToEven(double x) {
  const double below = std::floor(x);
  const double fraction = x - below;
  if (fraction < 0.5) return below;
  if (fraction > 0.5) return below + 1.0;
  return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

int64_t InRange(int64_t number, int64_t lowest, int64_t highest) {
  if (number < lowest || number > highest) Overflow();
  return number;
}

int64_t RoundedInRange(double number, int64_t lowest, int64_t highest) {
  if (!std::isfinite(number)) Overflow();
  const double rounded = RoundHalfToEven(number);
  if (rounded < static_cast<double>(lowest) || rounded > static_cast<double>(highest)) Overflow();
  return static_cast<int64_t>(rounded);
}

// A decimal rounded on its exact digits, not on the double nearest to it: 2.5000000000000000001
// is above a half and gives 3.
int64_t RoundedInRange(const Value::Decimal& number, int64_t lowest, int64_t highest) {
  // The magnitude in 32-bit parts, most significant first, divided by ten `scale` times; the
  // last remainder is the first digit dropped, and any earlier non-zero one says the rest is
  // more than nothing.
  uint32_t parts[3] = {number.high, static_cast<uint32_t>(number.low >> 32),
                       static_cast<uint32_t>(number.low)};
  uint32_t firstDropped = 0;
  bool moreDropped = false;
  for (int step = 0; step < number.scale; ++step) {
    moreDropped = moreDropped || firstDropped != 0;
    uint64_t remainder = 0;
    for (uint32_t& part : parts) {
      const uint64_t dividend = remainder << 32 | part;
      part = static_cast<uint32_t>(dividend / 10);
      remainder = dividend % 10;
    }
    firstDropped = static_cast<uint32_t>(remainder);
  }
  const uint64_t limit =
      number.negative ? 0 - static_cast<uint64_t>(lowest) : static_cast<uint64_t>(highest);
  uint64_t whole = static_cast<uint64_t>(parts[1]) << 32 | parts[2];
  if (parts[0] != 0 || whole > limit) Overflow();
  if (firstDropped > 5 || (firstDropped == 5 && (moreDropped || whole % 2 == 1))) {
    if (whole == limit) Overflow();
    ++whole;
  }
  return number.negative ? -static_cast<int64_t>(whole) : static_cast<int64_t>(whole);
}

double NumberOfText(const std::string& text) {
  const std::optional<double> number = NumberFromText(text);
  if (!number) TypeMismatch();
  return *number;
}

template <typename Target>
Target WholeNumber(const Value& value) {
  constexpr int64_t lowest = std::numeric_limits<Target>::min();
  constexpr int64_t highest = std::numeric_limits<Target>::max();
  switch (value.kind()) {
    case Kind::Empty:
      return 0;
    case Kind::Boolean:
      return static_cast<Target>(InRange(value.asBoolean() ? -1 : 0, lowest, highest));
    case Kind::Integer:
      if (IsBeyondInt64(value)) Overflow();
      return static_cast<Target>(InRange(value.asInteger(), lowest, highest));
    case Kind::Real:
      if (value.realForm() == Value::RealForm::Decimal)
        return static_cast<Target>(RoundedInRange(value.decimalNumber(), lowest, highest));
      return static_cast<Target>(RoundedInRange(value.asReal(), lowest, highest));
    case Kind::Text:
      return static_cast<Target>(RoundedInRange(NumberOfText(value.asText()), lowest, highest));
    default:
      TypeMismatch();
  }
}

bool EqualsIgnoringCase(const std::string& text, const char* word) {
  return std::equal(text.begin(), text.end(), word, word + std::char_traits<char>::length(word),
                    [](char a, char b) {
                      return std::tolower(static_cast<unsigned char>(a)) ==
                             std::tolower(static_cast<unsigned char>(b));
                    });
}

// Significant digits of a Double and of a Single in their text form.
constexpr int kDoubleDigits = 15;
constexpr int kSingleDigits = 7;

std::string RealTextForm(const Value& value) {
  switch (value.realForm()) {
    case Value::RealForm::Single:
      return RealText(value.asReal(), kSingleDigits);
    case Value::RealForm::Currency:
      return CurrencyText(value.currencyAmount());
    case Value::RealForm::Date:
      return DateText(value.asReal());
    case Value::RealForm::Decimal: {
      const Value::Decimal& number = value.decimalNumber();
      return ScaledDecimalText(number.negative, number.scale, number.high, number.low);
    }
    default:
      return RealText(value.asReal(), kDoubleDigits);
  }
}

}  // namespace

int16_t ToInt16(const Value& value) { return WholeNumber<int16_t>(value); }
int32_t ToInt32(const Value& value) { return WholeNumber<int32_t>(value); }
uint8_t ToByte(const Value& value) { return WholeNumber<uint8_t>(value); }

bool ToBoolean(const Value& value) {
  switch (value.kind()) {
    case Kind::Empty:
      return false;
    case Kind::Boolean:
      return value.asBoolean();
    case Kind::Integer:
      return value.asInteger() != 0;
    case Kind::Real:
      if (!std::isfinite(value.asReal())) Overflow();
      return value.asReal() != 0.0;
    case Kind::Text: {
      if (EqualsIgnoringCase(value.asText(), "True")) return true;
      if (EqualsIgnoringCase(value.asText(), "False")) return false;
      const double number = NumberOfText(value.asText());
      if (!std::isfinite(number)) Overflow();
      return number != 0.0;
    }
    default:
      TypeMismatch();
  }
}

int32_t NumericValueOfText(const Value& value) {
  if (value.kind() == Kind::Null) TypeMismatch();
  return static_cast<int32_t>(RoundedInRange(LeadingNumberOfText(OwnTextForm(value)),
                                             std::numeric_limits<int32_t>::min(),
                                             std::numeric_limits<int32_t>::max()));
}

std::string OwnTextForm(const Value& value) {
  switch (value.kind()) {
    case Kind::Empty:
    case Kind::Null:
      return "";
    case Kind::Boolean:
      return value.asBoolean() ? "True" : "False";
    case Kind::Integer:
      return IsBeyondInt64(value) ? std::to_string(static_cast<uint64_t>(value.asInteger()))
                                  : DecimalText(value.asInteger());
    case Kind::Real:
      return RealTextForm(value);
    case Kind::Text:
      return value.asText();
    default:
      TypeMismatch();
  }
}

std::string DecimalText(int64_t number) { return std::to_string(number); }

std::string ZeroPaddedDecimal(uint64_t number, size_t minimumDigits) {
  std::string digits = std::to_string(number);
  if (digits.size() < minimumDigits) digits.insert(0, minimumDigits - digits.size(), '0');
  return digits;
}

std::string UpperHex(uint64_t number, size_t minimumDigits) {
  std::string digits;
  do {
    digits.insert(digits.begin(), "0123456789ABCDEF"[number & 0xF]);
    number >>= 4;
  } while (number != 0 || digits.size() < minimumDigits);
  return digits;
}

std::string HexCode(uint32_t code) { return "0x" + UpperHex(code, 8); }

std::string HexText(const Value& value) {
  if (value.kind() == Kind::Integer && value.integerBits() <= 32) {
    const uint64_t mask = (uint64_t{1} << value.integerBits()) - 1;
    return UpperHex(static_cast<uint64_t>(value.asInteger()) & mask);
  }
  if (value.kind() == Kind::Boolean) return value.asBoolean() ? "FFFF" : "0";
  return UpperHex(static_cast<uint32_t>(ToInt32(value)));
}

}  // namespace velmaris

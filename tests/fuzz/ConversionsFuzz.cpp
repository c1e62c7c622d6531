// Fuzzes the conversions of component values against independent readings of the same rules:
// round-to-nearest-even from the C library for reals, strtod for number-like texts, and the
// integer's own mathematical value for integers. Any disagreement, or any throw that is not the
// program's Failure, aborts.

#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "FuzzInvariants.h"
#include "FuzzValues.h"
#include "common/Failure.h"
#include "value/Conversions.h"
#include "value/NumberText.h"

namespace velmaris::fuzzing {
namespace {

// The outcome of one conversion: a value or the description of its Failure.
struct Outcome {
  std::optional<int64_t> number;
  std::string failure;

  bool operator==(const Outcome& other) const {
    return number == other.number && failure == other.failure;
  }
};

template <typename Convert>
Outcome Run(Convert convert) {
  try {
    return {static_cast<int64_t>(convert()), ""};
  } catch (const Failure& failure) {
    Require(failure.source() == kToolSource, "conversion failure has the tool as its source");
    Require(failure.description() == kOverflow || failure.description() == kTypeMismatch,
            "conversion failure is an overflow or a type mismatch", failure.description());
    return {std::nullopt, failure.description()};
  } catch (...) {
    Fail("conversion threw something other than a Failure", "");
  }
}

template <typename Convert>
std::optional<std::string> RunText(Convert convert) {
  try {
    return convert();
  } catch (const Failure&) {
    return std::nullopt;
  } catch (...) {
    Fail("text conversion threw something other than a Failure", "");
  }
}

Outcome Expected(double number, int64_t lowest, int64_t highest) {
  if (!std::isfinite(number)) return {std::nullopt, kOverflow};
  const double rounded = std::nearbyint(number);  // the default mode rounds half to even
  if (rounded < static_cast<double>(lowest) || rounded > static_cast<double>(highest)) {
    return {std::nullopt, kOverflow};
  }
  return {static_cast<int64_t>(rounded), ""};
}

void CheckRanges(const Outcome& i16, const Outcome& i32, const Outcome& u8,
                 const std::string& detail) {
  // A 16-bit or byte result is the 32-bit result when that fits, an overflow when it does not.
  if (i32.number) {
    const int64_t n = *i32.number;
    Require(i16 == (n >= -32768 && n <= 32767 ? Outcome{n, ""} : Outcome{std::nullopt, kOverflow}),
            "ToInt16 agrees with ToInt32", detail);
    Require(u8 == (n >= 0 && n <= 255 ? Outcome{n, ""} : Outcome{std::nullopt, kOverflow}),
            "ToByte agrees with ToInt32", detail);
  } else if (i32.failure == kTypeMismatch) {
    Require(i16 == i32 && u8 == i32, "a type mismatch is one for every width", detail);
  }
}

std::string Describe(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Integer:
      return "integer " + std::to_string(value.asInteger()) + "/" +
             std::to_string(value.integerBits()) + (value.integerSigned() ? "s" : "u");
    case Value::Kind::Real: {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "real %.17g", value.asReal());
      return buffer;
    }
    case Value::Kind::Text:
      return "text '" + value.asText().substr(0, 200) + "'";
    default:
      return "kind " + std::to_string(static_cast<int>(value.kind()));
  }
}

bool IsNumberLike(const std::string& text) {
  return text.find_first_not_of("0123456789+-.eE \t\r\n") == std::string::npos;
}

// strtod's reading of a number-like text under the same grammar: the whole text, blanks
// allowed before and after. Other texts are out of its reach (it takes hex, inf and nan).
std::optional<double> StrtodReading(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const double number = std::strtod(begin, &end);
  if (end == begin) return std::nullopt;
  if (std::strspn(end, " \t\r\n") != std::strlen(end)) return std::nullopt;
  return number;
}

void CheckValue(const Value& value) {
  const std::string detail = Describe(value);
  const Outcome i16 = Run([&] { return ToInt16(value); });
  const Outcome i32 = Run([&] { return ToInt32(value); });
  const Outcome u8 = Run([&] { return ToByte(value); });
  CheckRanges(i16, i32, u8, detail);

  switch (value.kind()) {
    case Value::Kind::Real: {
      const double real = value.asReal();
      Require(i32 == Expected(real, INT32_MIN, INT32_MAX), "ToInt32 of a real", detail);
      // The text form of a finite Double keeps 15 significant digits, and writing the number
      // read back from it gives the same text. (The very largest doubles round up to a text
      // beyond the double range, as on the platform.) The text lies within half a unit of the
      // 15th digit of the real, at most |real| * 5e-15; reading it back rounds once more, to the
      // nearest double, up to half a unit in the last place further off. A real whose 16th digit
      // is just under 5 uses nearly all of the first, so the bound carries both, the second as a
      // whole unit to cover the bound's own rounding.
      if (std::fabs(real) < 1.79769313486231e308) {
        const std::string text = OwnTextForm(value);
        const std::optional<double> back = NumberFromText(text);
        const auto lastPlace = [](double number) {
          const double magnitude = std::fabs(number);
          return std::nextafter(magnitude, std::numeric_limits<double>::infinity()) - magnitude;
        };
        Require(back && std::fabs(*back - real) <= std::fabs(real) * 5e-15 + lastPlace(*back),
                "the text form of a real reads back to nearly the same number", detail);
        Require(back && OwnTextForm(Value::real(*back)) == text,
                "the text form of a real is stable", detail);
      }
      break;
    }
    case Value::Kind::Integer: {
      const bool beyondInt64 = !value.integerSigned() && value.asInteger() < 0;
      const bool fits =
          !beyondInt64 && value.asInteger() >= INT32_MIN && value.asInteger() <= INT32_MAX;
      Require(i32 == (fits ? Outcome{value.asInteger(), ""} : Outcome{std::nullopt, kOverflow}),
              "ToInt32 of an integer", detail);
      const std::string text = OwnTextForm(value);
      const std::string expected = beyondInt64
                                       ? std::to_string(static_cast<uint64_t>(value.asInteger()))
                                       : std::to_string(value.asInteger());
      Require(text == expected, "the text form of an integer is its decimal", detail);
      if (value.integerBits() <= 32) {
        const std::string hex = HexText(value);
        const uint64_t mask = (uint64_t{1} << value.integerBits()) - 1;
        Require(!hex.empty() && hex.size() <= 8 && (hex == "0" || hex[0] != '0') &&
                    hex.find_first_not_of("0123456789ABCDEF") == std::string::npos &&
                    std::strtoull(hex.c_str(), nullptr, 16) ==
                        (static_cast<uint64_t>(value.asInteger()) & mask),
                "hexadecimal of an integer is its own width's two's complement", detail);
      }
      break;
    }
    case Value::Kind::Text: {
      const std::string& text = value.asText();
      if (IsNumberLike(text)) {
        const std::optional<double> reading = StrtodReading(text);
        const Outcome expected = reading ? Expected(*reading, INT32_MIN, INT32_MAX)
                                         : Outcome{std::nullopt, kTypeMismatch};
        Require(i32 == expected, "ToInt32 of a number-like text agrees with strtod", detail);
      }
      // A whole text that is a number is also the number at its start.
      if (const std::optional<double> whole = NumberFromText(text)) {
        Require(LeadingNumberOfText(text) == *whole, "a whole number is also the leading number",
                detail);
        const Outcome index = Run([&] { return NumericValueOfText(value); });
        Require(index == i32, "the name index of a numeric text is its 32-bit value", detail);
      } else {
        Require(i32.failure == kTypeMismatch, "a text that is not a number is a type mismatch",
                detail);
      }
      break;
    }
    default:
      break;
  }

  // The remaining conversions need only end normally or in a Failure.
  Run([&] { return ToBoolean(value); });
  Run([&] { return NumericValueOfText(value); });
  RunText([&] { return OwnTextForm(value); });
  if (const std::optional<std::string> hex = RunText([&] { return HexText(value); })) {
    Require(!hex->empty() && hex->size() <= 8 &&
                hex->find_first_not_of("0123456789ABCDEF") == std::string::npos,
            "hexadecimal text is one to eight upper-case digits", detail);
  }
}

}  // namespace
}  // namespace velmaris::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  velmaris::fuzzing::ValueSource source(data);
  while (data.remaining_bytes() > 0) velmaris::fuzzing::CheckValue(source.Scalar());
  return 0;
}

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Fakes.h"
#include "common/Failure.h"
#include "value/Conversions.h"
#include "value/NumberText.h"

namespace velmaris {
namespace {

using fakes::I16;
using fakes::I32;

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

Value Text(const char* t) { return Value::text(t); }

// A Decimal written with its exact digits, e.g. "-2.5000000000000000001".
Value DecimalOf(std::string digits) {
  const bool negative = digits[0] == '-';
  if (negative) digits.erase(0, 1);
  const size_t point = digits.find('.');
  const size_t scale = point == std::string::npos ? 0 : digits.size() - point - 1;
  if (point != std::string::npos) digits.erase(point, 1);
  uint32_t parts[3] = {};  // least significant first
  for (const char digit : digits) {
    uint64_t carry = static_cast<uint64_t>(digit - '0');
    for (uint32_t& part : parts) {
      const uint64_t product = uint64_t{part} * 10 + carry;
      part = static_cast<uint32_t>(product);
      carry = product >> 32;
    }
  }
  return Value::decimal(negative, static_cast<uint8_t>(scale), parts[2],
                        uint64_t{parts[1]} << 32 | parts[0]);
}

template <typename Convert>
std::string FailureOf(Convert convert) {
  try {
    convert();
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.source(), kToolSource);
    return failure.description();
  }
  return "no failure";
}

TEST(NumberText, ReadsWholeTextsWithTheChosenSyntax) {
  const std::pair<const char*, double> numbers[] = {
      {"21", 21},      {"  21 ", 21},     {"\t-3\r\n", -3}, {"+7", 7},
      {"3.10", 3.1},   {"3.", 3},         {".5", 0.5},      {"-.5", -0.5},
      {"1e3", 1000},   {"1E+3", 1000},    {"25e-1", 2.5},   {"0012", 12},
      {"1e400", kInf}, {"-1e400", -kInf}, {"1e-400", 0},    {"0e99999999999", 0},
  };
  for (const auto& [text, number] : numbers) {
    ASSERT_TRUE(NumberFromText(text).has_value()) << text;
    EXPECT_EQ(*NumberFromText(text), number) << text;
  }
  for (const char* text : {"", "   ", "abc", "-", ".", "1 2", "- 3", "3,5", "1e", "1e+", "&H10",
                           "0x10", "21abc", "++1", "1.2.3", "e5"}) {
    EXPECT_FALSE(NumberFromText(text).has_value()) << text;
  }
}

TEST(NumberText, LeadingNumberStopsWhereTheNumberEnds) {
  const std::pair<const char*, double> numbers[] = {
      {"21", 21},     {" 2 1 ", 21}, {"21abc", 21}, {"3.10", 3.1},   {"- 3", -3},
      {"1e3x", 1000}, {"1ex", 1},    {"1e", 1},     {"1.2.3", 1.2},  {"abc", 0},
      {"", 0},        {"True", 0},   {".", 0},      {"1e400", kInf}, {"\t\n7", 7},
  };
  for (const auto& [text, number] : numbers) EXPECT_EQ(LeadingNumberOfText(text), number) << text;
}

TEST(Conversions, RoundHalvesToEven) {
  const std::pair<double, int16_t> cases[] = {
      {0.5, 0}, {1.5, 2}, {2.5, 2},   {-0.5, 0},        {-1.5, -2},        {-2.5, -2},
      {2.4, 2}, {2.6, 3}, {-2.6, -3}, {32767.4, 32767}, {-32768.5, -32768}};
  for (const auto& [real, rounded] : cases) {
    EXPECT_EQ(ToInt16(Value::real(real)), rounded) << real;
    EXPECT_EQ(ToInt32(Value::real(real)), rounded) << real;
  }
  EXPECT_EQ(ToByte(Value::real(254.5)), 254);
  EXPECT_EQ(ToByte(Value::real(-0.5)), 0);
  EXPECT_EQ(ToInt16(Text(" 2.5 ")), 2);
  EXPECT_EQ(ToInt16(Text("3.5")), 4);
}

// A Decimal is rounded on its exact value: the nearest double of 2.5000000000000000001 is 2.5.
TEST(Conversions, DecimalsRoundOnTheirExactValue) {
  const std::pair<const char*, int32_t> cases[] = {
      {"2.5", 2},
      {"2.5000000000000000001", 3},
      {"2.4999999999999999999", 2},
      {"3.5", 4},
      {"-2.5", -2},
      {"-2.5000000000000000001", -3},
      {"-2.4999999999999999999", -2},
      {"-3.5", -4},
      {"0.5", 0},
      {"0.5000000000000000000000000001", 1},
      {"-0.4999999999999999999999999999", 0},
      {"21", 21},
      {"32767.4999999999999999999", 32767},
      {"32767.5", 32768},
      {"-32768.5", -32768},
      {"-32768.5000000000000000001", -32769},
      {"2147483647.4999999999999999999", INT32_MAX},
      {"-2147483648.5", INT32_MIN},
  };
  for (const auto& [digits, rounded] : cases) {
    EXPECT_EQ(ToInt32(DecimalOf(digits)), rounded) << digits;
    if (rounded >= INT16_MIN && rounded <= INT16_MAX) {
      EXPECT_EQ(ToInt16(DecimalOf(digits)), rounded) << digits;
    } else {
      EXPECT_EQ(FailureOf([&] { ToInt16(DecimalOf(digits)); }), "Desbordamiento") << digits;
    }
  }
  EXPECT_EQ(ToByte(DecimalOf("254.5")), 254);
  EXPECT_EQ(ToByte(DecimalOf("255.4999999999999999999")), 255);
  EXPECT_EQ(ToByte(DecimalOf("-0.5")), 0);
  for (const char* digits : {"255.5", "-0.5000000000000000000000000001", "256"}) {
    EXPECT_EQ(FailureOf([&] { ToByte(DecimalOf(digits)); }), "Desbordamiento") << digits;
  }
  for (const char* digits : {"2147483647.5", "-2147483648.5000000000000000001", "4294967296",
                             "79228162514264337593543950335"}) {
    EXPECT_EQ(FailureOf([&] { ToInt32(DecimalOf(digits)); }), "Desbordamiento") << digits;
  }
  // Past 64 bits the top part alone makes it too large, whatever the lower parts hold.
  for (const char* digits : {"18446744073709551616", "18446744073709551621"}) {
    EXPECT_EQ(FailureOf([&] { ToByte(DecimalOf(digits)); }), "Desbordamiento") << digits;
    EXPECT_EQ(FailureOf([&] { ToInt16(DecimalOf(digits)); }), "Desbordamiento") << digits;
    EXPECT_EQ(FailureOf([&] { ToInt32(DecimalOf(digits)); }), "Desbordamiento") << digits;
  }
  // A text is still read as a double, as the platform reads it.
  EXPECT_EQ(ToInt16(Text("2.5000000000000000001")), 2);
}

TEST(Conversions, ChecksTheTargetRange) {
  EXPECT_EQ(ToInt16(I32(32767)), 32767);
  EXPECT_EQ(ToInt16(I32(-32768)), -32768);
  EXPECT_EQ(ToInt32(Value::integer(INT32_MIN, 64, true)), INT32_MIN);
  EXPECT_EQ(ToInt32(Value::real(2147483647.4)), INT32_MAX);
  EXPECT_EQ(ToByte(I16(255)), 255);
  EXPECT_EQ(ToByte(I16(0)), 0);

  const Value overflowing16[] = {I32(32768),           I32(-32769),
                                 Value::real(32767.5), Value::real(-32768.6),
                                 Text("32768"),        Text("1e5")};
  for (const Value& v : overflowing16) {
    EXPECT_EQ(FailureOf([&] { ToInt16(v); }), "Desbordamiento");
  }
  const Value overflowing32[] = {Value::integer(2147483648LL, 64, true), Value::real(-2147483648.6),
                                 Value::integer(-1, 64, false),
                                 Value::integer(0xFFFFFFFF, 32, false)};
  for (const Value& v : overflowing32) {
    EXPECT_EQ(FailureOf([&] { ToInt32(v); }), "Desbordamiento");
  }
  for (const Value& v : {I16(256), I16(-1), Value::real(255.5), Value::boolean(true), Text("-1")}) {
    EXPECT_EQ(FailureOf([&] { ToByte(v); }), "Desbordamiento");
  }
}

TEST(Conversions, BooleansEmptyAndUnreadableKinds) {
  EXPECT_EQ(ToInt16(Value::boolean(true)), -1);
  EXPECT_EQ(ToInt32(Value::boolean(false)), 0);
  EXPECT_EQ(ToByte(Value::boolean(false)), 0);
  EXPECT_EQ(ToInt16(Value()), 0);
  EXPECT_EQ(ToByte(Value()), 0);
  const Value mismatched[] = {Value::null(), Value::array({}), Value::unsupported("Object"),
                              Text(""),      Text("abc"),      Text("1 2"),
                              Text("&H10")};
  for (const Value& v : mismatched) {
    EXPECT_EQ(FailureOf([&] { ToInt32(v); }), "No coinciden los tipos");
  }
}

TEST(Conversions, NonFiniteRealsFailCleanly) {
  for (double x : {kNaN, kInf, -kInf}) {
    const Value v = Value::real(x);
    EXPECT_EQ(FailureOf([&] { ToInt16(v); }), "Desbordamiento");
    EXPECT_EQ(FailureOf([&] { ToByte(v); }), "Desbordamiento");
    EXPECT_EQ(FailureOf([&] { ToBoolean(v); }), "Desbordamiento");
    EXPECT_EQ(FailureOf([&] { OwnTextForm(v); }), "Desbordamiento");
    EXPECT_EQ(FailureOf([&] { HexText(v); }), "Desbordamiento");
    EXPECT_EQ(FailureOf([&] { NumericValueOfText(v); }), "Desbordamiento");
  }
  EXPECT_EQ(FailureOf([] { ToInt32(Text("1e400")); }), "Desbordamiento");
}

TEST(Conversions, LinkOpenReadingAsBoolean) {
  const std::pair<Value, bool> cases[] = {
      {Value::boolean(true), true},
      {Value::boolean(false), false},
      {Value(), false},
      {I16(-1), true},
      {I32(0), false},
      {Value::real(0.25), true},
      {Value::real(0.0), false},
      {Text("true"), true},
      {Text("FALSE"), false},
      {Text("True"), true},
      {Text(" 1 "), true},
      {Text("0"), false},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(ToBoolean(value), expected);
  for (const Value& v : {Value::null(), Value::array({}), Text("yes"), Text(""), Text(" true")}) {
    EXPECT_EQ(FailureOf([&] { ToBoolean(v); }), "No coinciden los tipos");
  }
}

TEST(Conversions, NumericValueOfTheTextForm) {
  const std::pair<Value, int32_t> cases[] = {
      {I16(21), 21},
      {Text("21"), 21},
      {Text(" 2 1x"), 21},
      {Text("abc"), 0},
      {Text(""), 0},
      {Value(), 0},
      {Value::boolean(true), 0},
      {Value::real(20.5), 20},
      {Value::real(21.5), 22},
      {Text("2.5e1"), 25},
      {I16(-1), -1},
  };
  for (const auto& [value, index] : cases) EXPECT_EQ(NumericValueOfText(value), index);
  EXPECT_EQ(FailureOf([] { NumericValueOfText(Text("3e9")); }), "Desbordamiento");
  EXPECT_EQ(FailureOf([] { NumericValueOfText(Value::null()); }), "No coinciden los tipos");
}

TEST(Conversions, OwnTextForm) {
  const std::pair<Value, const char*> cases[] = {
      {Text(" 3.10 "), " 3.10 "},
      {I16(-21), "-21"},
      {Value::boolean(true), "True"},
      {Value::boolean(false), "False"},
      {Value(), ""},
      {Value::null(), ""},
      {Value::integer(-1, 64, false), "18446744073709551615"},
      {Value::integer(INT64_MIN, 64, true), "-9223372036854775808"},
      // Doubles: at most 15 significant digits, rounded on the exact value, a half away from zero;
      // the
      // exponent form below 1E-04 and from 1E+15 on.
      {Value::real(3.1), "3.1"},
      {Value::real(2.0), "2"},
      {Value::real(100.0), "100"},
      {Value::real(-0.0), "0"},
      {Value::real(0.1 + 0.2), "0.3"},
      {Value::real(1.0 / 3.0), "0.333333333333333"},
      {Value::real(-2.0 / 3.0), "-0.666666666666667"},
      {Value::real(0.0001), "0.0001"},
      {Value::real(0.00001), "1E-05"},
      {Value::real(-0.000015), "-1.5E-05"},
      {Value::real(123456789012345.0), "123456789012345"},
      {Value::real(1e15), "1E+15"},
      {Value::real(1234567890123456.0), "1.23456789012346E+15"},
      {Value::real(1234567890123445.0), "1.23456789012345E+15"},
      {Value::real(-1234567890123445.0), "-1.23456789012345E+15"},
      {Value::real(999999999999999.5), "1E+15"},
      {Value::real(12345678.9), "12345678.9"},
      {Value::real(1e100), "1E+100"},
      {Value::real(-2.5e-300), "-2.5E-300"},
      {Value::real(5e-324), "4.94065645841247E-324"},
      {Value::real(std::numeric_limits<double>::max()), "1.79769313486232E+308"},
      // Singles: at most 7 significant digits of the single's own value.
      {Value::single(3.1f), "3.1"},
      {Value::single(20.0f), "20"},
      {Value::single(1.05f), "1.05"},
      {Value::single(0.1f), "0.1"},
      {Value::single(1234567.0f), "1234567"},
      {Value::single(16777216.0f), "1.677722E+07"},
      {Value::single(-3.4028235e38f), "-3.402823E+38"},
      {Value::single(1e-5f), "1E-05"},
      {Value::single(6532048.5f), "6532049"},
      // Currency and decimal keep every digit; dates are written the same in every locale.
      {Value::currency(125000), "12.5"},
      {Value::currency(-1), "-0.0001"},
      {Value::currency(0), "0"},
      {Value::currency(INT64_MIN), "-922337203685477.5808"},
      {Value::decimal(false, 1, 0, 15), "1.5"},
      {Value::decimal(false, 2, 0, 150), "1.5"},
      {Value::decimal(false, 2, 0, 15), "0.15"},
      {Value::decimal(true, 2, 0, 0), "0"},
      {Value::decimal(false, 0, 0xFFFFFFFF, UINT64_MAX), "79228162514264337593543950335"},
      {Value::decimal(true, 28, 0, 1), "-0.0000000000000000000000000001"},
      {Value::decimal(false, 28, 0x204FCE5E, 0x3E25026110000000), "1"},
      {Value::date(0), "1899-12-30"},
      {Value::date(36526.5), "2000-01-01 12:00:00"},
      {Value::date(45209.423726851855), "2023-10-10 10:10:10"},
      {Value::date(-1.25), "1899-12-29 06:00:00"},
      {Value::date(45000.99999999), "2023-03-16"},
      {Value::date(2958465.99999), "9999-12-31 23:59:59"},
      {Value::date(-657434.0), "0100-01-01"},
      {Value::date(60.0), "1900-02-28"},
      {Value::date(61.0), "1900-03-01"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(OwnTextForm(value), text);
  for (const Value& v : {Value::array({}), Value::unsupported("Object")}) {
    EXPECT_EQ(FailureOf([&] { OwnTextForm(v); }), "No coinciden los tipos");
  }
  // The last half second of 9999-12-31 rounds into a day past the last one.
  for (const Value& v : {Value::date(2958466.0), Value::date(2958465.99999999),
                         Value::date(-657435.0), Value::date(kNaN)}) {
    EXPECT_EQ(FailureOf([&] { OwnTextForm(v); }), "Desbordamiento");
  }
  // The other conversions read these kinds by their number.
  EXPECT_EQ(ToInt16(Value::currency(25000)), 2);
  EXPECT_EQ(ToInt16(Value::decimal(false, 1, 0, 35)), 4);
  EXPECT_EQ(NumericValueOfText(Value::single(16777216.0f)), 16777220);
}

TEST(Conversions, HexTextUsesTheElementsOwnWidth) {
  const std::pair<Value, const char*> cases[] = {
      {I16(300), "12C"},
      {I16(0), "0"},
      {I16(255), "FF"},
      {I16(-1), "FFFF"},
      {I32(-1), "FFFFFFFF"},
      {I32(INT32_MIN), "80000000"},
      {Value::integer(-1, 8, true), "FF"},
      {Value::integer(200, 8, false), "C8"},
      {Value::integer(65535, 16, false), "FFFF"},
      {Value::integer(0x80000000, 32, false), "80000000"},
      {Value::integer(0xFFFFFFFF, 32, false), "FFFFFFFF"},
      {Value::integer(-1, 64, true), "FFFFFFFF"},
      {Value::real(-1.0), "FFFFFFFF"},
      {Value::real(300.5), "12C"},
      {Text(" 300 "), "12C"},
      {Text("-2"), "FFFFFFFE"},
      {Value::boolean(true), "FFFF"},
      {Value(), "0"},
  };
  for (const auto& [value, hex] : cases) EXPECT_EQ(HexText(value), hex);
  EXPECT_EQ(FailureOf([] { HexText(Value::integer(1LL << 40, 64, true)); }), "Desbordamiento");
  EXPECT_EQ(FailureOf([] { HexText(Text("serie")); }), "No coinciden los tipos");
}

TEST(Conversions, UpperHexPadsToTheDigitsAsked) {
  struct Case {
    uint64_t number;
    size_t minimumDigits;
    const char* hex;
  } cases[] = {
      {0, 1, "0"},
      {0xABCDEF, 1, "ABCDEF"},
      {5, 8, "00000005"},
      {0x80040154, 8, "80040154"},
      {0x123456789, 8, "123456789"},
      {UINT64_MAX, 1, "FFFFFFFFFFFFFFFF"},
  };
  for (const Case& c : cases) EXPECT_EQ(UpperHex(c.number, c.minimumDigits), c.hex);
}

}  // namespace
}  // namespace velmaris

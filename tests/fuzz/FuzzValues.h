#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "value/Value.h"

namespace velmaris::fuzzing {

// Builds the values the component might hand over from the fuzzer's bytes: every kind, reals
// that sit on halves and range limits, integers of each width, number-like texts, and arrays of
// one to three dimensions with arbitrary bounds, nested arrays and element counts that need not
// match the bounds.
class ValueSource {
 public:
  explicit ValueSource(FuzzedDataProvider& data) : data_(data) {}

  Value Any(int depth = 0) {
    if (depth < kMaxDepth && data_.ConsumeIntegralInRange(0, 7) == 0) return Array(depth + 1);
    return Scalar();
  }

  Value Scalar() {
    switch (data_.ConsumeIntegralInRange(0, 9)) {
      case 0:
        return Value();
      case 1:
        return Value::null();
      case 2:
        return Value::boolean(data_.ConsumeBool());
      case 3:
      case 4:
        return Integer();
      case 5:
      case 6:
        return Value::real(Real());
      case 7:
      case 8:
        return Value::text(Text());
      default:
        return Value::unsupported("VT_DISPATCH");
    }
  }

  Value Integer() {
    static constexpr unsigned kWidths[] = {8, 16, 32, 64};
    const unsigned bits = data_.PickValueInArray(kWidths);
    const bool isSigned = data_.ConsumeBool();
    const uint64_t raw = data_.ConsumeIntegral<uint64_t>();
    if (bits == 64) return Value::integer(static_cast<int64_t>(raw), bits, isSigned);
    const uint64_t mask = (uint64_t{1} << bits) - 1;
    const uint64_t low = raw & mask;
    const bool negative = isSigned && (low >> (bits - 1)) != 0;
    const int64_t number = negative ? static_cast<int64_t>(low | ~mask) : static_cast<int64_t>(low);
    return Value::integer(number, bits, isSigned);
  }

  double Real() {
    static constexpr double kLimits[] = {0.5,          1.5,
                                         2.5,          -0.5,
                                         -1.5,         254.5,
                                         255.5,        255.49999,
                                         -0.49999,     32766.5,
                                         32767.5,      -32768.5,
                                         -32767.5,     32767.4999,
                                         -32768.4999,  2147483646.5,
                                         2147483647.5, -2147483648.5,
                                         2147483647.4, -2147483648.4,
                                         4294967295.5, 9.2233720368547758e18,
                                         1e300,        5e-324};
    switch (data_.ConsumeIntegralInRange(0, 4)) {
      case 0:
        return data_.PickValueInArray(kLimits) * (data_.ConsumeBool() ? 1 : -1);
      case 1: {
        static constexpr double kSpecial[] = {
            std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
            -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::max(), -0.0};
        return data_.PickValueInArray(kSpecial);
      }
      case 2:
        return data_.ConsumeIntegral<int32_t>() / 2.0;  // whole numbers and halves
      case 3:
        return data_.ConsumeFloatingPoint<double>();
      default: {
        const uint64_t bits = data_.ConsumeIntegral<uint64_t>();
        double number;
        std::memcpy(&number, &bits, sizeof number);
        return number;
      }
    }
  }

  std::string Text() {
    switch (data_.ConsumeIntegralInRange(0, 3)) {
      case 0:
        return data_.ConsumeRandomLengthString(64);
      case 1:
        return NumberLikeText();
      case 2: {
        // Long runs of one character around a short text: leading zeros, huge or tiny numbers.
        const std::string run(data_.ConsumeIntegralInRange<size_t>(0, 5000),
                              data_.PickValueInArray({'0', '9', ' ', '.'}));
        const std::string tail = data_.ConsumeRandomLengthString(16);
        return data_.ConsumeBool() ? run + tail : tail + run;
      }
      default:
        return data_.PickValueInArray({"True", "false", "TRUE", "", " ", "-", ".", "1e", "&H10",
                                       "0x10", "1,5", "1.5", "$1", "inf", "nan", "1e309"});
    }
  }

  // A text of the characters numbers are written with.
  std::string NumberLikeText() {
    static constexpr char kAlphabet[] = "0123456789+-.eE \t\r\n";
    std::string text(data_.ConsumeIntegralInRange<size_t>(0, 24), ' ');
    for (char& c : text) c = kAlphabet[data_.ConsumeIntegralInRange<size_t>(0, 18)];
    return text;
  }

  Value Array(int depth) {
    ValueArray array;
    const size_t dimensions = data_.ConsumeIntegralInRange<size_t>(1, 3);
    uint64_t count = 1;
    for (size_t d = 0; d < dimensions; ++d) {
      ValueArray::Bound bound;
      bound.lower = LowerBound();
      bound.count = data_.ConsumeIntegralInRange<uint32_t>(0, 5);
      count *= bound.count;
      array.bounds.push_back(bound);
    }
    // Usually as many elements as the bounds say; sometimes fewer or more.
    if (data_.ConsumeIntegralInRange(0, 7) == 0) count = data_.ConsumeIntegralInRange(0, 8);
    for (uint64_t i = 0; i < count; ++i) array.elements.push_back(Any(depth));
    return Value::array(std::move(array));
  }

  int32_t LowerBound() {
    switch (data_.ConsumeIntegralInRange(0, 3)) {
      case 0:
        return 0;
      case 1:
        return data_.ConsumeIntegralInRange(-2, 2);
      case 2:
        return data_.PickValueInArray({std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max(),
                                       std::numeric_limits<int32_t>::max() - 2});
      default:
        return data_.ConsumeIntegral<int32_t>();
    }
  }

 private:
  static constexpr int kMaxDepth = 3;
  FuzzedDataProvider& data_;
};

}  // namespace velmaris::fuzzing

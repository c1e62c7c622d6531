#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmaris {

// A currency amount, as OLE Automation's CY holds it, counts ten-thousandths: four decimals.
inline constexpr int64_t kCurrencyScale = 10000;
inline constexpr size_t kCurrencyDecimals = 4;

class Value;

// An array as the component hands it over: any number of dimensions, each with its own lower
// bound; elements stored with the first index varying fastest, as in a SAFEARRAY.
struct ValueArray {
  struct Bound {
    int32_t lower = 0;
    uint32_t count = 0;
  };
  std::vector<Bound> bounds;
  std::vector<Value> elements;

  // The element at (i, j) of a two-dimensional array; nullptr for any other shape or for an
  // index pair outside the bounds.
  const Value* element(int32_t i, int32_t j) const;
};

// A value the acquisition component hands over, independent of the platform's VARIANT.
class Value {
 public:
  enum class Kind { Empty, Null, Boolean, Integer, Real, Text, Array, Unsupported };
  // What a Real was before it became a double; it decides the real's text form.
  enum class RealForm { Double, Single, Currency, Date, Decimal };
  // A 96-bit decimal as the component hands it over: the magnitude high:low divided by ten to
  // the power `scale`.
  struct Decimal {
    bool negative = false;
    uint8_t scale = 0;
    uint32_t high = 0;
    uint64_t low = 0;
  };

  Value() = default;  // Empty
  static Value null();
  static Value boolean(bool value);
  // An integer of the component's own width (8, 16, 32 or 64 bits), signed or unsigned.
  static Value integer(int64_t value, unsigned bits, bool isSigned);
  static Value real(double value);
  // A single-precision number keeps its width, so that its text is its own ("3.1"), not that of
  // the double it widens to ("3.0999999046325684").
  static Value single(float value);
  // A currency amount in ten-thousandths (kCurrencyScale); its text keeps every digit.
  static Value currency(int64_t tenThousandths);
  // An Automation date: days since 1899-12-30, the fraction the time of day.
  static Value date(double days);
  // A 96-bit decimal, magnitude high:low with `scale` decimals (0 to 28); it keeps its exact
  // number, for its text and its whole-number conversions, and its real is the nearest double.
  static Value decimal(bool negative, uint8_t scale, uint32_t high, uint64_t low);
  static Value text(std::string utf8);
  static Value array(ValueArray array);
  // A value of a type the tool cannot read (an object, a record ...), named for messages.
  static Value unsupported(std::string typeName);

  Kind kind() const { return kind_; }
  bool isEmpty() const { return kind_ == Kind::Empty; }

  bool asBoolean() const { return boolean_; }
  int64_t asInteger() const { return integer_; }
  unsigned integerBits() const { return bits_; }
  bool integerSigned() const { return signed_; }
  double asReal() const { return real_; }
  RealForm realForm() const { return realForm_; }
  // The amount of a Currency real, in ten-thousandths.
  int64_t currencyAmount() const { return integer_; }
  // The exact number of a Decimal real.
  const Decimal& decimalNumber() const { return decimal_; }
  // Text of a Text value, type name of an Unsupported one.
  const std::string& asText() const { return text_; }
  const ValueArray& asArray() const { return *array_; }

 private:
  Kind kind_ = Kind::Empty;
  bool boolean_ = false;
  int64_t integer_ = 0;
  unsigned bits_ = 0;
  bool signed_ = true;
  double real_ = 0.0;
  RealForm realForm_ = RealForm::Double;
  Decimal decimal_;
  std::string text_;
  std::shared_ptr<const ValueArray> array_;
};

}  // namespace velmaris

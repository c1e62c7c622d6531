#include "value/Value.h"

#include <cmath>

namespace velmaris {

const Value* ValueArray::element(int32_t i, int32_t j) const {
  if (bounds.size() != 2) return nullptr;
  const int64_t row = static_cast<int64_t>(i) - bounds[0].lower;
  const int64_t column = static_cast<int64_t>(j) - bounds[1].lower;
  if (row < 0 || row >= bounds[0].count || column < 0 || column >= bounds[1].count) return nullptr;
  const uint64_t index = static_cast<uint64_t>(column) * bounds[0].count + row;
  return index < elements.size() ? &elements[index] : nullptr;
}

Value Value::null() {
  Value v;
  v.kind_ = Kind::Null;
  return v;
}

Value Value::boolean(bool value) {
  Value v;
  v.kind_ = Kind::Boolean;
  v.boolean_ = value;
  return v;
}

Value Value::integer(int64_t value, unsigned bits, bool isSigned) {
  Value v;
  v.kind_ = Kind::Integer;
  v.integer_ = value;
  v.bits_ = bits;
  v.signed_ = isSigned;
  return v;
}

Value Value::real(double value) {
  Value v;
  v.kind_ = Kind::Real;
  v.real_ = value;
  return v;
}

Value Value::single(float value) {
  Value v = real(value);
  v.realForm_ = RealForm::Single;
  return v;
}

Value Value::currency(int64_t tenThousandths) {
  Value v = real(static_cast<double>(tenThousandths) / kCurrencyScale);
  v.realForm_ = RealForm::Currency;
  v.integer_ = tenThousandths;
  return v;
}

Value Value::date(double days) {
  Value v = real(days);
  v.realForm_ = RealForm::Date;
  return v;
}

Value Value::decimal(bool negative, uint8_t scale, uint32_t high, uint64_t low) {
  const double magnitude =
      (static_cast<double>(high) * 18446744073709551616.0 + static_cast<double>(low)) /
      std::pow(10.0, scale);
  Value v = real(negative ? -magnitude : magnitude);
  v.realForm_ = RealForm::Decimal;
  v.decimal_ = {negative, scale, high, low};
  return v;
}

Value Value::text(std::string utf8) {
  Value v;
  v.kind_ = Kind::Text;
  v.text_ = std::move(utf8);
  return v;
}

Value Value::array(ValueArray array) {
  Value v;
  v.kind_ = Kind::Array;
  v.array_ = std::make_shared<const ValueArray>(std::move(array));
  return v;
}

Value Value::unsupported(std::string typeName) {
  Value v;
  v.kind_ = Kind::Unsupported;
  v.text_ = std::move(typeName);
  return v;
}

}  // namespace velmaris

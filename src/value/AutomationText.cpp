#include "value/AutomationText.h"

#include <cmath>
#include <vector>

#include "common/Failure.h"
#include "value/Conversions.h"
#include "value/Value.h"

namespace velmaris {

namespace {

// Nine decimal digits per limb.
constexpr size_t kLimbDigits = 9;
constexpr uint32_t kLimbBase = 1'000'000'000;

// A non-negative whole number of any size, least significant limb first.
class BigNumber {
 public:
  explicit BigNumber(uint64_t value) {
    do {
      limbs_.push_back(static_cast<uint32_t>(value % kLimbBase));
      value /= kLimbBase;
    } while (value != 0);
  }

  void Multiply(uint32_t factor) {
    uint64_t carry = 0;
    for (uint32_t& limb : limbs_) {
      const uint64_t product = static_cast<uint64_t>(limb) * factor + carry;
      limb = static_cast<uint32_t>(product % kLimbBase);
      carry = product / kLimbBase;
    }
    while (carry != 0) {
      limbs_.push_back(static_cast<uint32_t>(carry % kLimbBase));
      carry /= kLimbBase;
    }
  }

  void Add(uint32_t addend) {
    uint64_t carry = addend;
    for (size_t k = 0; carry != 0; ++k) {
      if (k == limbs_.size()) limbs_.push_back(0);
      const uint64_t sum = limbs_[k] + carry;
      limbs_[k] = static_cast<uint32_t>(sum % kLimbBase);
      carry = sum / kLimbBase;
    }
  }

  // Multiplies by base^count in steps that keep every product within 64 bits.
  void MultiplyByPower(uint32_t base, uint32_t step, int stepCount, int count) {
    for (; count >= stepCount; count -= stepCount) Multiply(step);
    for (; count > 0; --count) Multiply(base);
  }

  std::string Digits() const {
    std::string text = std::to_string(limbs_.back());
    for (size_t k = limbs_.size() - 1; k-- > 0;) text += ZeroPaddedDecimal(limbs_[k], kLimbDigits);
    return text;
  }

 private:
  std::vector<uint32_t> limbs_;
};

// The exact decimal digits of a positive finite double, without leading zeros, and the decimal
// exponent of the first of them: the number is 0.d1d2d3... times 10^(exponent + 1).
struct ExactDigits {
  std::string digits;
  int exponent;
};

ExactDigits ExactDigitsOf(double number) {
  int binaryExponent = 0;
  const double fraction = std::frexp(number, &binaryExponent);
  const auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));
  binaryExponent -= 53;  // number = mantissa * 2^binaryExponent, exactly
  BigNumber whole(mantissa);
  int decimals = 0;
  if (binaryExponent > 0) {
    whole.MultiplyByPower(2, 1u << 29, 29, binaryExponent);
  } else {
    // mantissa / 2^k = mantissa * 5^k / 10^k
    whole.MultiplyByPower(5, 1'220'703'125u, 13, -binaryExponent);
    decimals = -binaryExponent;
  }
  std::string digits = whole.Digits();
  const int exponent = static_cast<int>(digits.size()) - 1 - decimals;
  const size_t last = digits.find_last_not_of('0');
  digits.erase(last + 1);
  return {digits, exponent};
}

// Rounds the digits to `count` significant digits, a half away from zero as the platform's
// writers do; a carry out of the first digit raises the exponent. Trailing zeros are dropped.
void RoundTo(ExactDigits& number, size_t count) {
  std::string& digits = number.digits;
  if (digits.size() <= count) return;
  const bool up = digits[count] >= '5';
  digits.erase(count);
  if (up) {
    size_t k = count;
    while (k > 0 && digits[k - 1] == '9') digits[--k] = '0';
    if (k == 0) {
      digits.insert(digits.begin(), '1');
      ++number.exponent;
    } else {
      ++digits[k - 1];
    }
  }
  digits.erase(digits.find_last_not_of('0') + 1);
}

std::string WithPoint(const std::string& whole, const std::string& fraction) {
  const size_t last = fraction.find_last_not_of('0');
  if (last == std::string::npos) return whole;
  return whole + "." + fraction.substr(0, last + 1);
}

}  // namespace

std::string RealText(double number, int significantDigits) {
  if (!std::isfinite(number)) FailInTool(kOverflow);
  if (number == 0) return "0";
  const std::string sign = number < 0 ? "-" : "";
  ExactDigits exact = ExactDigitsOf(std::fabs(number));
  RoundTo(exact, static_cast<size_t>(significantDigits));
  const std::string& digits = exact.digits;
  const int exponent = exact.exponent;
  if (exponent < -4 || exponent >= significantDigits) {
    const int magnitude = exponent < 0 ? -exponent : exponent;
    return sign + WithPoint(digits.substr(0, 1), digits.substr(1)) + "E" +
           (exponent < 0 ? "-" : "+") + ZeroPaddedDecimal(static_cast<uint64_t>(magnitude), 2);
  }
  if (exponent < 0)
    return sign + "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  const size_t wholeDigits = static_cast<size_t>(exponent) + 1;
  if (digits.size() <= wholeDigits)
    return sign + digits + std::string(wholeDigits - digits.size(), '0');
  return sign + WithPoint(digits.substr(0, wholeDigits), digits.substr(wholeDigits));
}

std::string CurrencyText(int64_t tenThousandths) {
  const uint64_t magnitude = tenThousandths < 0 ? 0 - static_cast<uint64_t>(tenThousandths)
                                                : static_cast<uint64_t>(tenThousandths);
  return (tenThousandths < 0 ? "-" : "") +
         WithPoint(std::to_string(magnitude / kCurrencyScale),
                   ZeroPaddedDecimal(magnitude % kCurrencyScale, kCurrencyDecimals));
}

std::string ScaledDecimalText(bool negative, uint8_t scale, uint32_t high, uint64_t low) {
  BigNumber magnitude(high);
  for (const uint32_t part : {static_cast<uint32_t>(low >> 32), static_cast<uint32_t>(low)}) {
    magnitude.Multiply(1u << 16);
    magnitude.Multiply(1u << 16);
    magnitude.Add(part);
  }
  std::string digits = magnitude.Digits();
  if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  const size_t wholeDigits = digits.size() - scale;
  const std::string text = WithPoint(digits.substr(0, wholeDigits), digits.substr(wholeDigits));
  return negative && text != "0" ? "-" + text : text;
}

std::string DateText(double days) {
  constexpr double kFirstDay = -657434.0;     // 0100-01-01
  constexpr double kPastLastDay = 2958466.0;  // 10000-01-01
  if (!std::isfinite(days) || days <= kFirstDay - 1.0 || days >= kPastLastDay)
    FailInTool(kOverflow);
  auto day = static_cast<int64_t>(std::trunc(days));
  auto seconds = static_cast<int64_t>(std::llround(std::fabs(days - std::trunc(days)) * 86400.0));
  if (seconds == 86400) {
    seconds = 0;
    ++day;
  }
  if (day < static_cast<int64_t>(kFirstDay) || day >= static_cast<int64_t>(kPastLastDay))
    FailInTool(kOverflow);
  // Civil date of a day count from 0000-03-01 (Gregorian, proleptic), in 400-year eras.
  const int64_t fromMarch = day + 693899;  // 1899-12-30 is day 693899 counted from 0000-03-01
  const int64_t era = fromMarch / 146097;
  const int64_t dayOfEra = fromMarch - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  const int64_t dayOfMonth = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
  const int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

  const auto two = [](int64_t n) { return ZeroPaddedDecimal(static_cast<uint64_t>(n), 2); };
  const std::string date =
      ZeroPaddedDecimal(static_cast<uint64_t>(year), 4) + "-" + two(month) + "-" + two(dayOfMonth);
  if (seconds == 0) return date;
  return date + " " + two(seconds / 3600) + ":" + two(seconds / 60 % 60) + ":" + two(seconds % 60);
}

}  // namespace velmaris

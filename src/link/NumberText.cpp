#include "link/NumberText.h"

#include <charconv>
#include <limits>
#include <string>

namespace velmaris {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads one number from the start of a text. The digits, point, sign and exponent are gathered
// into a plain form that std::from_chars takes; the decimal exponent of the leading digit is
// tracked so that a number from_chars refuses as out of range is known to be huge or tiny.
class Scanner {
 public:
  Scanner(std::string_view text, bool blanksInside) : text_(text), blanksInside_(blanksInside) {}

  // The number read, or nullopt when the text does not begin with one.
  std::optional<double> Read() {
    SkipBlanks();
    if (Peek() == '+' || Peek() == '-') {
      if (Peek() == '-') plain_ += '-';
      Advance();
    }
    bool anyDigit = ReadDigits(/*fraction=*/false);
    if (Peek() == '.') {
      plain_ += '.';
      Advance();
      anyDigit = ReadDigits(/*fraction=*/true) || anyDigit;
    }
    if (!anyDigit) return std::nullopt;
    ReadExponent();
    return ToDouble();
  }

  // Where reading stopped, blanks after the number included.
  size_t Position() {
    SkipBlanks();
    return pos_;
  }

 private:
  char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
  void Advance() {
    ++pos_;
    if (blanksInside_) SkipBlanks();
  }
  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }

  bool ReadDigits(bool fraction) {
    bool any = false;
    while (IsDigit(Peek())) {
      const bool significant = Peek() != '0' || significantDigits_ > 0;
      if (significant) ++significantDigits_;
      if (!fraction && significant) ++leadExponent_;
      if (fraction && !significant) --leadExponent_;
      plain_ += Peek();
      Advance();
      any = true;
    }
    return any;
  }

  // An exponent counts only when digits follow the 'e'; otherwise the number ends before it.
  void ReadExponent() {
    if (Peek() != 'e' && Peek() != 'E') return;
    const size_t start = pos_;
    std::string part = "e";
    Advance();
    int sign = 1;
    if (Peek() == '+' || Peek() == '-') {
      if (Peek() == '-') {
        part += '-';
        sign = -1;
      }
      Advance();
    }
    long long exponent = 0;
    bool any = false;
    while (IsDigit(Peek())) {
      if (exponent < kExponentCap) exponent = exponent * 10 + (Peek() - '0');
      part += Peek();
      Advance();
      any = true;
    }
    if (!any) {
      pos_ = start;
      return;
    }
    plain_ += part;
    exponent_ = sign * exponent;
  }

  double ToDouble() const {
    double value = 0.0;
    const auto [end, error] = std::from_chars(plain_.data(), plain_.data() + plain_.size(), value);
    (void)end;
    if (error != std::errc::result_out_of_range) return value;
    const bool negative = !plain_.empty() && plain_[0] == '-';
    const double magnitude =
        leadExponent_ + exponent_ > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -magnitude : magnitude;
  }

  static constexpr long long kExponentCap = 1'000'000'000;

  std::string_view text_;
  bool blanksInside_;
  size_t pos_ = 0;
  std::string plain_;
  int significantDigits_ = 0;
  long long leadExponent_ = 0;
  long long exponent_ = 0;
};

}  // namespace

std::optional<double> NumberFromText(std::string_view text) {
  Scanner scanner(text, /*blanksInside=*/false);
  const std::optional<double> number = scanner.Read();
  if (!number || scanner.Position() != text.size()) return std::nullopt;
  return number;
}

double LeadingNumberOfText(std::string_view text) {
  return Scanner(text, /*blanksInside=*/true).Read().value_or(0.0);
}

}  // namespace velmaris

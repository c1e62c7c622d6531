#include "value/NumberText.h"

#include <cstdlib>
#include <string>

namespace velmaris {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads one number from the start of a text. The digits, point, sign and exponent are gathered
// into a plain form that std::strtod reads correctly rounded: the program never changes the C
// library's locale, so its point is always '.'. (std::from_chars would do the same, but its
// tables would make the program a fifth larger.)
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
    bool anyDigit = ReadDigits();
    if (Peek() == '.') {
      plain_ += '.';
      Advance();
      anyDigit = ReadDigits() || anyDigit;
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

  bool ReadDigits() {
    bool any = false;
    while (IsDigit(Peek())) {
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
    if (Peek() == '+' || Peek() == '-') {
      if (Peek() == '-') part += '-';
      Advance();
    }
    bool any = false;
    while (IsDigit(Peek())) {
      part += Peek();
      Advance();
      any = true;
    }
    if (!any) {
      pos_ = start;
      return;
    }
    plain_ += part;
  }

  // A magnitude beyond the double range gives an infinity, one below it zero (or the nearest
  // denormal), as the plain form's own value rounds.
  double ToDouble() const { return std::strtod(plain_.c_str(), nullptr); }

  std::string_view text_;
  bool blanksInside_;
  size_t pos_ = 0;
  std::string plain_;
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

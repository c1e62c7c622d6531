#include "common/ComponentText.h"

namespace velmaris {

namespace {

bool IsContinuationByte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// How many continuation bytes a UTF-8 lead byte announces; none for any other byte.
size_t ContinuationsAfter(unsigned char lead) {
  if (lead >= 0xC0 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF7) return 3;
  return 0;
}

// Length in bytes of the control character starting at `at`, 0 when there is none.
size_t ControlLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t k) {
    return at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0u;
  };
  if (byte(0) < 0x20 && at < text.size()) return 1;
  if (byte(0) == 0x7F) return 1;
  if (byte(0) == 0xC2 && byte(1) >= 0x80 && byte(1) <= 0x9F) return 2;  // U+0080-009F
  if (byte(0) == 0xE2 && byte(1) == 0x80 && (byte(2) == 0xA8 || byte(2) == 0xA9)) return 3;
  return 0;
}

}  // namespace

std::string BoundedText(std::string_view text, size_t limit) {
  std::string shown;
  shown.reserve(text.size() < limit * 4 ? text.size() : limit * 4);
  size_t characters = 0;
  size_t pending = 0;  // continuation bytes still due to the last lead byte
  for (size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    // A continuation byte that no lead byte announced is a character of its own, so that a run
    // of them is cut as any other text.
    const bool continues = IsContinuationByte(byte) && pending > 0;
    if (!continues && characters++ == limit) {
      shown += kCutMark;
      break;
    }
    pending = continues ? pending - 1 : ContinuationsAfter(byte);
    if (const size_t control = ControlLength(text, at)) {
      shown += kControlStandIn;
      at += control;
      pending = 0;
      continue;
    }
    shown += text[at++];
  }
  return shown;
}

}  // namespace velmaris

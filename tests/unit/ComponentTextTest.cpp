#include <gtest/gtest.h>

#include <string>

#include "common/ComponentText.h"

namespace velmaris {
namespace {

TEST(ComponentText, ControlCharactersShowAsTheStandIn) {
  const std::pair<std::string, std::string> cases[] = {
      {"3.10", "3.10"},
      {"", ""},
      {" a b ", " a b "},
      {"a\r\nb", "a¶¶b"},
      {std::string("a\0b", 3), "a¶b"},
      {"\ta\x1f\x7f", "¶a¶¶"},
      {"año ÁÉ", "año ÁÉ"},
      {"a\xC2\x85"
       "b\xC2\xA0",
       "a¶b\xC2\xA0"},  // NEL is a control, the no-break space not
      {"a\xC2\x80"
       "b\xC2\x9F",
       "a¶b¶"},  // both ends of the C1 controls
      {"a\xE2\x80\xA8"
       "b\xE2\x80\xA9",
       "a¶b¶"},                          // line and paragraph separators
      {"\xE2\x80\xA6", "\xE2\x80\xA6"},  // an ellipsis is text
      {"\xFF\xC2", "\xFF\xC2"},          // not UTF-8: passed through
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(ComponentText(text), shown);
}

TEST(ComponentText, LongTextsAreCutAtTheLimitWithAMark) {
  const std::string limit(kComponentTextLimit, 'x');
  EXPECT_EQ(ComponentText(limit), limit);
  EXPECT_EQ(ComponentText(limit + "y"), limit + "[…]");
  // Characters are counted, not bytes, and none is split.
  std::string accented;
  for (size_t k = 0; k < kComponentTextLimit; ++k) accented += "ñ";
  EXPECT_EQ(ComponentText(accented), accented);
  EXPECT_EQ(ComponentText(accented + "ñ"), accented + "[…]");
  // Bytes that are no UTF-8 are characters of their own, and are cut as well.
  const std::string stray(kComponentTextLimit, '\x80');
  EXPECT_EQ(ComponentText(stray + "\x80"), stray + "[…]");
  EXPECT_EQ(ComponentText(std::string(5000, '\n')), [] {
    std::string s;
    for (size_t k = 0; k < kComponentTextLimit; ++k) s += "¶";
    return s + "[…]";
  }());
}

}  // namespace
}  // namespace velmaris

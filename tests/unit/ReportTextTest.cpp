#include <gtest/gtest.h>

#include "app/ReportText.h"

namespace velmaris {
namespace {

TEST(ReportText, AppendsAfterCrLfWithoutTouchingEitherSide) {
  EXPECT_EQ(WithLineAppended("uno", "dos"), "uno\r\ndos");
  EXPECT_EQ(WithLineAppended("uno", ""), "uno\r\n");
  EXPECT_EQ(WithLineAppended("", "línea"), "\r\nlínea");
  EXPECT_EQ(WithLineAppended(" a ", "  b "), " a \r\n  b ");
  EXPECT_EQ(WithLineAppended("uno\r\n", "dos"), "uno\r\n\r\ndos");
}

TEST(ReportText, TakesLargeReports) {
  const std::string pasted(1 << 20, 'x');
  const std::string joined = WithLineAppended(pasted, "fin");
  EXPECT_EQ(joined.size(), pasted.size() + 5);
  EXPECT_EQ(joined.substr(joined.size() - 5), "\r\nfin");
}

}  // namespace
}  // namespace velmaris

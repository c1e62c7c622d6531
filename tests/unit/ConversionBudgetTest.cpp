#include <gtest/gtest.h>

#include "value/ConversionBudget.h"

namespace velmaris {
namespace {

using Verdict = ConversionBudget::Verdict;

TEST(ConversionBudget, OneElementBudgetAcrossAllLevels) {
  ConversionBudget budget;
  EXPECT_EQ(budget.Spend(ConversionBudget::kElements - 1), Verdict::Fine);
  EXPECT_EQ(budget.Spend(1), Verdict::Fine);
  EXPECT_EQ(budget.Spend(1), Verdict::TooLarge);
  ConversionBudget huge;
  EXPECT_EQ(huge.Spend(UINT64_MAX), Verdict::TooLarge) << "no wrap-around";
  // The limit by its number, not its name: exactly 65,536 elements are read.
  ConversionBudget exact;
  EXPECT_EQ(exact.Spend(65536), Verdict::Fine);
  EXPECT_EQ(exact.Spend(1), Verdict::TooLarge);
}

TEST(ConversionBudget, AReferenceIsFollowedOnce) {
  ConversionBudget budget;
  int a = 0, b = 0;
  EXPECT_EQ(budget.Follow(&a), Verdict::Fine);
  EXPECT_EQ(budget.Follow(&b), Verdict::Fine);
  EXPECT_EQ(budget.Follow(&a), Verdict::RefersBack);
}

TEST(ConversionBudget, NestingIsBounded) {
  ConversionBudget budget;
  for (int level = 0; level < ConversionBudget::kDepth; ++level)
    ASSERT_EQ(budget.Enter(), Verdict::Fine);
  EXPECT_EQ(budget.Enter(), Verdict::TooDeep);
  budget.Leave();
  EXPECT_EQ(budget.Enter(), Verdict::Fine);
  // The limit by its number, not its name: exactly 32 levels are read.
  ConversionBudget levels;
  for (int level = 1; level <= 32; ++level) ASSERT_EQ(levels.Enter(), Verdict::Fine) << level;
  EXPECT_EQ(levels.Enter(), Verdict::TooDeep);
}

}  // namespace
}  // namespace velmaris

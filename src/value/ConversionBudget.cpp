#include "value/ConversionBudget.h"

namespace velmaris {

ConversionBudget::Verdict ConversionBudget::Spend(uint64_t count) {
  if (count > kElements - spent_) return Verdict::TooLarge;
  spent_ += count;
  return Verdict::Fine;
}

ConversionBudget::Verdict ConversionBudget::Follow(const void* reference) {
  return followed_.insert(reference).second ? Verdict::Fine : Verdict::RefersBack;
}

ConversionBudget::Verdict ConversionBudget::Enter() {
  if (depth_ == kDepth) return Verdict::TooDeep;
  ++depth_;
  return Verdict::Fine;
}

}  // namespace velmaris

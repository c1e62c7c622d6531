#pragma once

#include <cstdint>
#include <set>

namespace velmaris {

// Bounds the work of reading one value the component hands over, whatever its shape: one budget
// of elements across all levels of nested arrays and references, a nesting depth, and each
// reference followed at most once, so a value that refers back to itself is caught on its first
// return. A value that breaks any of these is refused as a whole (a type mismatch when read).
class ConversionBudget {
 public:
  static constexpr uint64_t kElements = 65536;
  static constexpr int kDepth = 32;

  enum class Verdict { Fine, TooLarge, TooDeep, RefersBack };

  // Counts `count` more elements (array elements and referenced values).
  Verdict Spend(uint64_t count);
  // Marks an array or a referenced value as followed; RefersBack when it was followed before.
  Verdict Follow(const void* reference);
  // Enters one more level of nesting; Leave when done with it.
  Verdict Enter();
  void Leave() { --depth_; }

 private:
  uint64_t spent_ = 0;
  int depth_ = 0;
  std::set<const void*> followed_;
};

}  // namespace velmaris

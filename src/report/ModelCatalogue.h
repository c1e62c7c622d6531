#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace velmaris {

// ModelNames: display names of the interface models, indexed by model code 0 to 25.
class ModelCatalogue {
 public:
  static constexpr int32_t kLowest = 0;
  static constexpr int32_t kHighest = 25;

  void FillModelCatalogue();

  // The name at a model code; a code outside 0 to 25 is refused with a Failure.
  const std::string& Name(int32_t code) const;

 private:
  std::array<std::string, kHighest - kLowest + 1> names_;
};

// Code bands that steer the compatibility advice, on the 16-bit model code.
bool AllWindowsBand(int16_t code);
bool XpSevenBand(int16_t code);
bool SerialPortBand(int16_t code);
bool AccessoryBusCodes(int16_t code);

}  // namespace velmaris

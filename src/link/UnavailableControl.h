#pragma once

#include <string>

#include "link/AcquisitionControl.h"

namespace velmaris {

// Stands in for an acquisition component that could not be created (typically: the Velmaris
// software is not installed). Every call fails with the reason, so the load event's own error
// handling tells the user what is missing instead of the window never opening.
class UnavailableControl : public AcquisitionControl {
 public:
  UnavailableControl(std::string source, std::string reason);

  Value LinkOpen() override;
  void SetLinkOpen(bool open) override;
  void SetLinkParameter(int32_t value) override;
  void SetPortNumber(int16_t& portIndex) override;
  Value DeviceInfo() override;
  Value Prescaler(int32_t channel) override;
  void SetPrescaler(int32_t channel, uint8_t value) override;
  void SavePrescalers() override;
  void ResetAccessories() override;

 private:
  [[noreturn]] void Fail() const;

  std::string source_;
  std::string reason_;
};

}  // namespace velmaris

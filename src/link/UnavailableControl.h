#pragma once

#include <string>

#include "link/AcquisitionControl.h"
#include "link/ComponentFault.h"

namespace velmaris {

// Stands in for an acquisition component that could not be created (typically: the Velmaris
// software is not installed). Every call fails with the creation's own failure, so the load
// event's own error handling tells the user what is missing instead of the window never opening,
// and the report can say why.
class UnavailableControl : public AcquisitionControl {
 public:
  explicit UnavailableControl(ComponentFault creation);

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

  ComponentFault creation_;
};

}  // namespace velmaris

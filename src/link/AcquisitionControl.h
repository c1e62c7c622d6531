#pragma once

#include <cstdint>

#include "value/Value.h"

namespace velmaris {

// The first release of the Velmaris software whose component offers all seven operations.
inline constexpr const char* kRequiredRelease = "3.6.0";

// The acquisition control QelCtrlMain1: the seven operations the tool uses. Every call may
// raise a Failure carrying the component's source text.
class AcquisitionControl {
 public:
  virtual ~AcquisitionControl() = default;

  virtual Value LinkOpen() = 0;
  virtual void SetLinkOpen(bool open) = 0;
  virtual void SetLinkParameter(int32_t value) = 0;
  // Handed over by reference, as the component expects; it may write the port back.
  virtual void SetPortNumber(int16_t& portIndex) = 0;
  virtual Value DeviceInfo() = 0;
  virtual Value Prescaler(int32_t channel) = 0;
  virtual void SetPrescaler(int32_t channel, uint8_t value) = 0;
  virtual void SavePrescalers() = 0;
  virtual void ResetAccessories() = 0;
};

}  // namespace velmaris

#pragma once

#include <oaidl.h>
#include <wrl/client.h>

#include "link/AcquisitionControl.h"

namespace velmaris {

// The acquisition control driven through IDispatch::Invoke by its fixed dispatch identifiers,
// with exactly the VARIANT types the component was built for. Names are never looked up. A
// failure that carries no source text of its own names the component by its ProgID.
class DispatchControl : public AcquisitionControl {
 public:
  explicit DispatchControl(Microsoft::WRL::ComPtr<IDispatch> control);

  Value LinkOpen() override;
  void SetLinkOpen(bool open) override;
  void SetLinkParameter(int32_t value) override;
  void SetPortNumber(int16_t& portIndex) override;
  Value DeviceInfo() override;
  Value Prescaler(int32_t channel) override;
  void SetPrescaler(int32_t channel, uint8_t value) override;
  void SavePrescalers() override;
  void ResetAccessories() override;

  enum : DISPID {
    kLinkOpen = static_cast<DISPID>(0x8001000D),
    kLinkParameter = 6,
    kPortNumber = 12,
    kDeviceInfo = 13,
    kPrescaler = 20,
    kSavePrescalers = 21,
    kResetAccessories = 65,
  };

 private:
  // Arguments in Invoke's order: the last argument first.
  Value Get(DISPID id, VARIANT* arguments, UINT count);
  void Put(DISPID id, VARIANT* arguments, UINT count);
  void Call(DISPID id);
  void Invoke(DISPID id, WORD flags, DISPPARAMS& parameters, VARIANT* result);

  Microsoft::WRL::ComPtr<IDispatch> control_;
};

}  // namespace velmaris

#pragma once

#include <oaidl.h>
#include <wrl/client.h>

#include <string>

#include "link/AcquisitionControl.h"
#include "link/win32/ComSupport.h"

namespace velmaris {

// The acquisition control driven through IDispatch::Invoke by its fixed dispatch identifiers,
// with exactly the VARIANT types the component was built for. Names are never looked up.
class DispatchControl : public AcquisitionControl {
 public:
  // `source` names the component in failures that carry no source text of its own.
  explicit DispatchControl(Microsoft::WRL::ComPtr<IDispatch> control,
                           std::string source = kControlProgId);

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
  std::string source_;
};

}  // namespace velmaris

#include "link/win32/DispatchControl.h"

#include <utility>

#include "common/Failure.h"
#include "common/win32/Scoped.h"
#include "link/win32/ComSupport.h"
#include "value/win32/VariantConversion.h"

namespace velmaris {

namespace {

// An operation as the component's contract names it, for the report on a failed call.
const char* OperationName(DISPID id) {
  switch (id) {
    case DispatchControl::kLinkOpen:
      return "LinkOpen";
    case DispatchControl::kLinkParameter:
      return "LinkParameter";
    case DispatchControl::kPortNumber:
      return "PortNumber";
    case DispatchControl::kDeviceInfo:
      return "DeviceInfo";
    case DispatchControl::kPrescaler:
      return "Prescaler";
    case DispatchControl::kSavePrescalers:
      return "SavePrescalers";
    case DispatchControl::kResetAccessories:
      return "ResetAccessories";
  }
  return "";
}

}  // namespace

DispatchControl::DispatchControl(Microsoft::WRL::ComPtr<IDispatch> control)
    : control_(std::move(control)) {
  if (!control_) FailInTool("El componente de adquisición no está disponible");
}

Value DispatchControl::LinkOpen() { return Get(kLinkOpen, nullptr, 0); }

void DispatchControl::SetLinkOpen(bool open) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BOOL;
  value.boolVal = open ? VARIANT_TRUE : VARIANT_FALSE;
  Put(kLinkOpen, &value, 1);
}

void DispatchControl::SetLinkParameter(int32_t parameter) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = parameter;
  Put(kLinkParameter, &value, 1);
}

void DispatchControl::SetPortNumber(int16_t& portIndex) {
  // By reference: the component reads the caller's own variable and may write it back.
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BYREF | VT_I2;
  value.piVal = &portIndex;
  Put(kPortNumber, &value, 1);
}

Value DispatchControl::DeviceInfo() { return Get(kDeviceInfo, nullptr, 0); }

Value DispatchControl::Prescaler(int32_t channel) {
  VARIANT index;
  VariantInit(&index);
  index.vt = VT_I4;
  index.lVal = channel;
  return Get(kPrescaler, &index, 1);
}

void DispatchControl::SetPrescaler(int32_t channel, uint8_t prescaler) {
  VARIANT arguments[2];
  VariantInit(&arguments[0]);
  arguments[0].vt = VT_UI1;
  arguments[0].bVal = prescaler;
  VariantInit(&arguments[1]);
  arguments[1].vt = VT_I4;
  arguments[1].lVal = channel;
  Put(kPrescaler, arguments, 2);
}

void DispatchControl::SavePrescalers() { Call(kSavePrescalers); }

void DispatchControl::ResetAccessories() { Call(kResetAccessories); }

Value DispatchControl::Get(DISPID id, VARIANT* arguments, UINT count) {
  DISPPARAMS parameters = {arguments, nullptr, count, 0};
  UniqueVariant result;
  Invoke(id, DISPATCH_PROPERTYGET, parameters, result.get());
  return ToValue(*result);
}

void DispatchControl::Put(DISPID id, VARIANT* arguments, UINT count) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS parameters = {arguments, &named, count, 1};
  Invoke(id, DISPATCH_PROPERTYPUT, parameters, nullptr);
}

void DispatchControl::Call(DISPID id) {
  DISPPARAMS parameters = {nullptr, nullptr, 0, 0};
  // The methods' results mean nothing to the tool, but are taken and cleared all the same.
  UniqueVariant result;
  Invoke(id, DISPATCH_METHOD, parameters, result.get());
}

void DispatchControl::Invoke(DISPID id, WORD flags, DISPPARAMS& parameters, VARIANT* result) {
  UniqueExcepInfo exception;
  UINT argumentError = 0;
  const HRESULT hr = control_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters, result,
                                      exception.get(), &argumentError);
  if (FAILED(hr)) ThrowInvokeFailure(hr, *exception.get(), kControlProgId, OperationName(id));
}

}  // namespace velmaris

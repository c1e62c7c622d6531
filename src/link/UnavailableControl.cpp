#include "link/UnavailableControl.h"

#include <utility>

namespace velmaris {

UnavailableControl::UnavailableControl(ComponentFault creation) : creation_(std::move(creation)) {}

void UnavailableControl::Fail() const { throw creation_; }

Value UnavailableControl::LinkOpen() { Fail(); }
void UnavailableControl::SetLinkOpen(bool) { Fail(); }
void UnavailableControl::SetLinkParameter(int32_t) { Fail(); }
void UnavailableControl::SetPortNumber(int16_t&) { Fail(); }
Value UnavailableControl::DeviceInfo() { Fail(); }
Value UnavailableControl::Prescaler(int32_t) { Fail(); }
void UnavailableControl::SetPrescaler(int32_t, uint8_t) { Fail(); }
void UnavailableControl::SavePrescalers() { Fail(); }
void UnavailableControl::ResetAccessories() { Fail(); }

}  // namespace velmaris

#include "link/UnavailableControl.h"

#include "common/Failure.h"

namespace velmaris {

UnavailableControl::UnavailableControl(std::string source, std::string reason)
    : source_(std::move(source)), reason_(std::move(reason)) {}

void UnavailableControl::Fail() const { throw Failure(source_, reason_); }

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

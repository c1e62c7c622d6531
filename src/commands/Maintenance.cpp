#include "commands/Maintenance.h"

namespace velmaris {

namespace {

constexpr uint8_t kOneToOne = 1;

}  // namespace

void RepairPrescalers(AcquisitionControl& control) {
  control.SetPrescaler(0, kOneToOne);
  control.SetPrescaler(1, kOneToOne);
  control.SavePrescalers();
}

void ResetBusAccessories(AcquisitionControl& control) { control.ResetAccessories(); }

}  // namespace velmaris

#pragma once

#include "link/AcquisitionControl.h"

namespace velmaris {

// Sets both RPM prescalers to 1 (1:1) and has the control store them in the unit. A failed
// call ends the sequence there.
void RepairPrescalers(AcquisitionControl& control);

// Has a KoraNET unit reset the accessories on its bus.
void ResetBusAccessories(AcquisitionControl& control);

}  // namespace velmaris

#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diagnosis/KnownBadDrivers.h"
#include "diagnosis/PortsToCheck.h"
#include "diagnosis/WhatWasSeen.h"
#include "platform/WindowsDevices.h"

namespace velmaris {

// The one most likely reason why no unit answered, and what to do about it, from what was seen:
// 2 to 6 lines, naming up to three of the ports or devices it is about, lowest COM number first.
// The first rule that applies decides, in this order: an adapter's port in use by another
// program; a device that could be the unit or its adapter with a problem; a port's driver among
// the known bad releases; an adapter's port whose driver fails; an adapter on a port the scan did
// not try; an adapter's port that is free; a port of the PC's own in use; no adapter and no device
// with a problem at all; otherwise no cause stands out. Where a reading that the deciding rule
// needs has failed, the verdict says it cannot decide, and why. Bluetooth links never decide.
std::vector<std::string> Verdict(const WhatWasSeen& seen,
                                 const std::vector<KnownBadDriver>& knownBadDrivers);

// The same, from what Windows reported, the ports the scan tried and what the check found.
std::vector<std::string> Verdict(const WindowsDevices& devices, int16_t firstPortNotTried,
                                 const PortChecks& checks,
                                 const std::vector<KnownBadDriver>& knownBadDrivers);

}  // namespace velmaris

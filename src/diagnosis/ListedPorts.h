#pragma once

#include <string>
#include <vector>

#include "platform/WindowsDevices.h"

namespace velmaris {

// A serial port as the report lists it: one entry per name, compared without case.
struct ListedPort {
  SerialPort facts;
  std::string key;  // the name in capitals
  long number;      // n for COMn, 0 for any other name
};

// The ports Windows reported, merged by name: COM ports by number, then any other names in
// alphabetical order; printer ports left out. A device behind a name of the device map brings
// its facts; of two devices with the same name the first is kept, and a friendly name missing is
// taken from the later.
std::vector<ListedPort> ListedPorts(const std::vector<SerialPort>& reported);

// n for a name COMn in any case, 0 for any other.
long ComNumber(const std::string& name);

}  // namespace velmaris

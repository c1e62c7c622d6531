#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/WindowsDevices.h"

namespace velmaris {

// A serial port as the report lists it: one entry per name, compared without case, with what
// the scan made of it. The scan tried every COM port below the first port it did not try; a port
// named other than COMn cannot be tried at all.
struct ListedPort {
  SerialPort facts;
  std::string key;  // the name in capitals
  long number;      // n for COMn, 0 for any other name
  bool tried;
  bool bluetooth;  // a link of Windows' own Bluetooth stack

  // The list says of a port with a name that the scan did not try it.
  bool notScanned() const { return !facts.name.empty() && !tried; }
};

// The ports Windows reported, merged by name: COM ports by number, then any other names in
// alphabetical order; printer ports left out. A device behind a name of the device map brings
// its facts; of two devices with the same name the first is kept, and a friendly name missing is
// taken from the later.
std::vector<ListedPort> ListedPorts(const std::vector<SerialPort>& reported,
                                    int16_t firstPortNotTried);

// n for a name COMn in any case, 0 for any other.
long ComNumber(const std::string& name);

}  // namespace velmaris

#include "link/PortScan.h"

#include <limits>

#include "common/Failure.h"
#include "value/Conversions.h"

namespace velmaris {

std::string ScanStatusText(int16_t port) {
  if (port == 0) return "ESCANEANDO PUERTO USB";
  return "ESCANEANDO PUERTO COM" + DecimalText(port);
}

void Increment(int16_t& counter) {
  if (counter == std::numeric_limits<int16_t>::max()) FailInTool(kOverflow);
  ++counter;
}

}  // namespace velmaris

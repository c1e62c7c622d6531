#include "diagnosis/DeviceOrigin.h"

#include <cctype>
#include <initializer_list>

namespace velmaris {

namespace {

bool BeginsWithAny(const std::string& id, std::initializer_list<const char*> prefixes) {
  for (const char* prefix : prefixes) {
    size_t at = 0;
    while (prefix[at] != '\0' && at < id.size() &&
           std::toupper(static_cast<unsigned char>(id[at])) == prefix[at]) {
      ++at;
    }
    if (prefix[at] == '\0') return true;
  }
  return false;
}

}  // namespace

DeviceOrigin OriginOf(const std::string& instanceId) {
  if (BeginsWithAny(instanceId, {"USB\\", "FTDIBUS\\"})) return DeviceOrigin::Usb;
  if (BeginsWithAny(instanceId, {"ACPI\\PNP0500\\", "ACPI\\PNP0501\\", "*PNP050"})) {
    return DeviceOrigin::BuiltIn;
  }
  if (BeginsWithAny(instanceId, {"BTHENUM\\"})) return DeviceOrigin::Bluetooth;
  return DeviceOrigin::Other;
}

}  // namespace velmaris

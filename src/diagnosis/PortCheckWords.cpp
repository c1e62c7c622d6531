#include "diagnosis/PortCheckWords.h"

#include "diagnosis/WindowsWords.h"

namespace velmaris {

namespace {

const char* const kChecked = "  Comprobación: ";
const char* const kNotChecked = "  Sin comprobar: ";

}  // namespace

std::string NotCheckedWhy(bool checkMade) {
  return checkMade ? "se acabó el tiempo de la comprobación" : "no se pudo hacer la comprobación";
}

std::string CheckLine(const PortCheckResult* result, bool checkMade) {
  if (result == nullptr) return kNotChecked + NotCheckedWhy(checkMade) + ".";
  switch (result->state) {
    case PortState::Free:
      return std::string(kChecked) + "libre, ningún programa lo usa.";
    case PortState::InUse:
      return std::string(kChecked) + "en uso por otro programa.";
    case PortState::Gone:
      return std::string(kChecked) + "ya no está desde que Windows lo listó.";
    case PortState::NoAnswer:
      return std::string(kChecked) + "no respondió a tiempo.";
    case PortState::DriverFails:
      return std::string(kChecked) + "su driver falla.";
    case PortState::Error:
      return kChecked + WindowsErrorText(result->error) + ".";
    case PortState::NotChecked:
      break;
  }
  return kNotChecked + NotCheckedWhy(true) + ".";
}

std::string BluetoothNotCheckedLine() {
  return "  Por eso no se comprobó si otro programa lo usa.";
}

}  // namespace velmaris

#include "diagnosis/PortCheckWords.h"

#include "diagnosis/WindowsWords.h"

namespace velmaris {

namespace {

const char* const kChecked = "  Comprobación: ";
const char* const kNotChecked = "  Sin comprobar: ";

}  // namespace

std::string NotCheckedWhy(const PortFound& found) {
  if (found.outcome != PortFound::Outcome::NotMade) return "se acabó el tiempo de la comprobación";
  const std::string why = "no se pudo hacer la comprobación";
  return found.error == 0 ? why : why + ": " + WindowsErrorText(found.error);
}

std::string CheckLine(const PortFound& found) {
  if (found.outcome == PortFound::Outcome::Opened) {
    switch (found.state) {
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
        return kChecked + WindowsErrorText(found.error) + ".";
      case PortState::NotChecked:
        break;
    }
  }
  return kNotChecked + NotCheckedWhy(found) + ".";
}

std::string BluetoothNotCheckedLine() {
  return "  Por eso no se comprobó si otro programa lo usa.";
}

}  // namespace velmaris

#include "report/ModelCatalogue.h"

#include "common/Failure.h"

namespace velmaris {

namespace {

// Where the bands above the serial-port units begin.
constexpr int16_t kFirstXpSevenCode = 14;
constexpr int16_t kFirstAllWindowsCode = 19;

}  // namespace

void ModelCatalogue::FillModelCatalogue() {
  names_[0] = "TX-2 8";
  names_[1] = "TX-2 16";
  names_[2] = "TX-2 30";
  names_[3] = "TX-3 08";
  names_[4] = "TX-3 16";
  names_[5] = "Mirel 08";
  names_[6] = "Mirel 16 Ampliado";
  names_[7] = "Mirel Demostración";
  names_[8] = "Mirel con Relé";
  names_[9] = "Mirel Tubo";
  names_[10] = "Nexo 2009/2012";
  names_[11] = "Nexo 2012 con Relé";
  names_[12] = "VELMARIS_BUCLE_CTRL";
  names_[13] = "RV-2 Pista";
  names_[14] = "VELMARIS_MIREL_CTRL_AMP";
  names_[15] = "Nexo 2009/2010 SW en RPM2";
  names_[16] = "Tavo 2013/2014";
  names_[17] = "Tavo 2013/2014 con Relé";
  names_[18] = "Nexo 2013/14 2 Relés";
  names_[19] = "Nexo 2013/14";
  names_[20] = "Nexo 2013/14 con Sensor";
  names_[21] = "Nexo KoraNET";
  names_[22] = "Tavo KoraNET";
  names_[23] = "Orla/Brisa 2020";
  names_[24] = "Umbra 2020";
  names_[25] = "Modelo Futuro No Identificado";
}

const std::string& ModelCatalogue::Name(int32_t code) const {
  if (code < kLowest || code > kHighest) {
    FailInTool(std::string(kSubscriptOutOfRange) + ": no hay modelo con el código " +
               std::to_string(code));
  }
  return names_[static_cast<size_t>(code - kLowest)];
}

bool AllWindowsBand(int16_t code) { return code >= kFirstAllWindowsCode; }
bool XpSevenBand(int16_t code) { return !SerialPortBand(code) && !AllWindowsBand(code); }
bool SerialPortBand(int16_t code) { return code < kFirstXpSevenCode; }
bool AccessoryBusCodes(int16_t code) { return code == 21 || code == 22; }

}  // namespace velmaris

#include "report/IdentificationReport.h"

#include "common/ComponentText.h"
#include "common/Failure.h"
#include "common/ReportRule.h"
#include "platform/OSVersion.h"
#include "report/ModelCatalogue.h"
#include "value/Conversions.h"

namespace velmaris {

namespace {

constexpr int32_t kIdentificationColumn = 1;

const char* const kSoftwareRule = "===========================";
const char* const kCurrentSoftware =
    "últimas versiones del software Velmaris (año 2022 en adelante) ";
const char* const kEveryWindows = "Esta interface es compatible con todos los Windows";

}  // namespace

const Value& IdentificationElement(const Value& identification, int32_t row) {
  if (identification.kind() != Value::Kind::Array) FailInTool(kTypeMismatch);
  const Value* element = identification.asArray().element(row, kIdentificationColumn);
  if (element == nullptr) {
    FailInTool(std::string(kSubscriptOutOfRange) + ": la identificación no tiene el elemento (" +
               DecimalText(row) + ", " + DecimalText(kIdentificationColumn) + ")");
  }
  return *element;
}

std::string ModelCodeLine(int16_t modelCode) {
  return "Código de Modelo: " + DecimalText(modelCode);
}

std::string ModelNameLine(const std::string& name) { return "Nombre del Modelo: " + name; }

std::string SerialNumberLine(const Value& serialElement) {
  return "Número de Serie: " + HexText(serialElement);
}

std::string FirmwareLine(const Value& firmwareElement) {
  return "Versión de Firmware: " + ComponentText(OwnTextForm(firmwareElement));
}

std::string PrescalerLine(int32_t channel, uint8_t prescaler) {
  return "Prescaler RPM" + DecimalText(channel + 1) + ": " + DecimalText(prescaler);
}

std::vector<std::string> SoftwareHeading() {
  return Heading("COMPATIBILIDAD DEL SOFTWARE", kSoftwareRule);
}

std::vector<std::string> SoftwareAdvice(int16_t windowsLevel) {
  if (windowsLevel >= kCurrentSoftwareLevel) {
    return {"Esta versión de Windows es compatible con las ", kCurrentSoftware};
  }
  return {"Esta versión de Windows NO ES COMPATIBLE con las ", kCurrentSoftware,
          "Recomendamos actualizar el Windows a Windows 7 o superior "};
}

std::vector<std::string> KoraNetSection() {
  return {"==== KORANET ====",
          "Esta interface posee comunicación KoraNET. Click en Detectar para resetear Accesorios"};
}

std::vector<std::string> HardwareSection(int16_t modelCode) {
  std::vector<std::string> lines = Heading("COMPATIBILIDAD DEL HARDWARE");
  if (XpSevenBand(modelCode)) {
    lines.push_back("Esta interface solo es compatible con Windows XP o Windows 7");
    return lines;
  }
  lines.push_back(kEveryWindows);
  if (SerialPortBand(modelCode)) {
    lines.insert(lines.end(), {"Tenga en cuenta que como la conexión es por PUERTO SERIAL",
                               "es posible que si usa un adaptador USB a Serial,",
                               "el mismo puede NO SER COMPATIBLE con algunas versiones",
                               "de Windows más actualizadas.",
                               "Deberá instalar el driver más actualizado del fabricante ",
                               "de su adaptador y si este no funciona",
                               "deberá adquirir un adaptador nuevo. Según nuestra experiencia",
                               "solo funcionan bien las marcas Manhattan o Nisuta."});
  }
  return lines;
}

bool NeedsInterfaceUpdate(int16_t modelCode, int32_t serialValue) {
  return XpSevenBand(modelCode) || (SerialPortBand(modelCode) && serialValue == 0);
}

std::vector<std::string> UpdateBlock() {
  return {
      "PARA UTILIZAR LAS ULTIMAS VERSIONES DE VELMARIS",
      "DEBE ACTUALIZAR ESTA INTERFACE ELECTRONICA", "LA ACTUALIZACION SE REALIZA EN NUESTRO TALLER",
      "DEBERÁ ENVIARNOS LA INTERFACE (CAJITA NEGRA)", "Y SI TUVIERA CENTRAL ATMOSFÉRICA, TAMBIEN"};
}

}  // namespace velmaris

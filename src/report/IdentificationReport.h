#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "value/Value.h"

namespace velmaris {

// Rows of column 1 of the identification array that the report reads.
inline constexpr int32_t kModelRow = 0;
inline constexpr int32_t kFirmwareRow = 1;
inline constexpr int32_t kSerialRow = 3;

// Element (row, 1) of the identification array; a Failure when the value is not a
// two-dimensional array holding it.
const Value& IdentificationElement(const Value& identification, int32_t row);

// The six identification lines.
std::string ModelCodeLine(int16_t modelCode);
std::string ModelNameLine(const std::string& name);
std::string SerialNumberLine(const Value& serialElement);
std::string FirmwareLine(const Value& firmwareElement);
// Channel 0 is shown as RPM1, channel 1 as RPM2.
std::string PrescalerLine(int32_t channel, uint8_t prescaler);

// The software section: its heading, then the advice, compatible from Windows level 7 up. The
// heading comes first so the report holds it before the Windows version is asked.
std::vector<std::string> SoftwareHeading();
std::vector<std::string> SoftwareAdvice(int16_t windowsLevel);
// The note for units with the KoraNET accessory bus.
std::vector<std::string> KoraNetSection();
// The hardware advice by model code band.
std::vector<std::string> HardwareSection(int16_t modelCode);
// Whether the unit must be sent in for the update: XP/7 models always, serial-port models
// that report serial value 0.
bool NeedsInterfaceUpdate(int16_t modelCode, int32_t serialValue);
std::vector<std::string> UpdateBlock();

}  // namespace velmaris

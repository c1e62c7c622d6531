#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/WindowsDevices.h"

namespace velmaris {

// How the report words what Windows says: its texts, guarded as the component's are; its problem
// numbers and errors; and the readings of it that failed.

// A name Windows keeps, on one line and cut at 100 characters.
std::string Shown(const std::string& text);

// A port's name, or what stands for it where it could not be read.
std::string PortName(const std::string& name);
// A device's name, or what stands for it where Windows gave none.
std::string DeviceName(const std::string& name);

// Windows' device problem number (CM_PROB_*) in words, with the number as the Device Manager
// shows it: "No tiene instalado su driver (código 28)".
std::string ProblemText(uint32_t problem);

// A Win32 error, or the device setup API's own error: "Acceso denegado (error 5 de Windows)",
// "Error 1234 de Windows", "Error 0xE000020B de Windows".
std::string WindowsErrorText(uint32_t code);

// Why a reading failed.
std::string Why(const UnreadFact& fact);

// What a whole list's reading was, as the start of a line that says it failed `times` times:
// "No se pudo leer la lista de dispositivos".
std::string WhatWasNotRead(DeviceFact fact, size_t times);

// What one value of a port or device was: "su identificador de dispositivo".
const char* WhatOfIt(DeviceFact fact);

// The text, ending in a full stop.
std::string Sentence(std::string text);

// "1 puerto", "3 puertos".
std::string Count(size_t count, const char* one, const char* many);

}  // namespace velmaris

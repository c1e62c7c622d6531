#include "diagnosis/WindowsWords.h"

#include "common/ComponentText.h"
#include "value/Conversions.h"

namespace velmaris {

namespace {

constexpr size_t kWindowsTextLimit = 100;

struct Words {
  uint32_t code;
  const char* text;
};

// Windows' device problem numbers (CM_PROB_*) in the report's words.
const Words kProblems[] = {
    {1, "No está configurado"},
    {3, "Faltan memoria o recursos del sistema"},
    {kProblemCannotStart, "No puede iniciar"},
    {12, "No encuentra recursos libres"},
    {14, "Necesita reiniciar el equipo"},
    {18, "Hay que reinstalar su driver"},
    {19, "Su configuración en el registro está dañada"},
    {21, "Windows lo está quitando"},
    {kProblemDisabled, "Está deshabilitado"},
    {24, "No está presente o no funciona"},
    {kProblemNoDriver, "No tiene instalado su driver"},
    {29, "El hardware lo tiene deshabilitado"},
    {31, "Su driver no pudo cargarlo"},
    {32, "Su driver está deshabilitado"},
    {37, "Su driver falló al iniciar"},
    {39, "Su driver falta o está dañado"},
    {kProblemFailed, "Windows lo detuvo porque informó un fallo"},
    {45, "No está conectado"},
    {47, "Está preparado para quitarlo"},
    {48, "Su driver está bloqueado"},
    {52, "Windows no pudo verificar la firma de su driver"},
};

// Win32 error codes.
const Words kWindowsErrors[] = {
    {2, "No existe"},       {5, "Acceso denegado"},       {8, "Memoria insuficiente"},
    {13, "Dato no válido"}, {14, "Memoria insuficiente"},
};

// Configuration manager results (CR_*).
const Words kConfigManagerResults[] = {
    {0x02, "Memoria insuficiente"},      {0x05, "El dispositivo ya no está"},
    {0x0D, "El dispositivo ya no está"}, {0x33, "Acceso denegado"},
    {0x34, "Función no disponible"},
};

template <size_t N>
const char* Lookup(const Words (&table)[N], uint32_t code) {
  for (const Words& words : table) {
    if (words.code == code) return words.text;
  }
  return nullptr;
}

// A Win32 error in decimal, as Windows shows it; the device setup API's own errors, which carry
// the customer bit, in hexadecimal, as they are documented.
std::string WindowsErrorNumber(uint32_t code) {
  return code < 0x10000 ? std::to_string(code) : HexCode(code);
}

}  // namespace

std::string Shown(const std::string& text) { return BoundedText(text, kWindowsTextLimit); }

std::string PortName(const std::string& name) {
  return name.empty() ? "(nombre sin leer)" : Shown(name);
}

std::string DeviceName(const std::string& name) {
  return name.empty() ? "(sin nombre)" : Shown(name);
}

std::string ProblemText(uint32_t problem) {
  const char* words = Lookup(kProblems, problem);
  return std::string(words ? words : "Tiene un problema") + " (código " + std::to_string(problem) +
         ")";
}

std::string WindowsErrorText(uint32_t code) {
  const std::string number = WindowsErrorNumber(code);
  const char* words = Lookup(kWindowsErrors, code);
  return words ? std::string(words) + " (error " + number + " de Windows)"
               : "Error " + number + " de Windows";
}

std::string Why(const UnreadFact& fact) {
  switch (fact.cause) {
    case UnreadFact::Cause::WindowsError:
      return WindowsErrorText(fact.code);
    case UnreadFact::Cause::ConfigManager: {
      const std::string number = std::to_string(fact.code);
      const char* words = Lookup(kConfigManagerResults, fact.code);
      return words ? std::string(words) + " (código CR " + number + ")" : "Código CR " + number;
    }
    case UnreadFact::Cause::Program:
      break;
  }
  const std::string description = Shown(fact.description);
  return description.empty() ? "Error del programa" : description;
}

std::string WhatWasNotRead(DeviceFact fact, size_t times) {
  switch (fact) {
    case DeviceFact::PortMap:
      return "No se pudo leer el mapa de puertos del registro";
    case DeviceFact::PortDevices:
      return "No se pudo leer las clases Puertos (COM y LPT) y Módems";
    case DeviceFact::DeviceList:
      return "No se pudo leer la lista de dispositivos";
    case DeviceFact::DeviceStatus:
      return "No se pudo leer el estado de " + Count(times, "dispositivo", "dispositivos");
    case DeviceFact::AbsentPorts:
      return "No se pudo leer la lista de puertos no conectados";
    default:
      break;
  }
  return "No se pudo leer lo que ve Windows";
}

const char* WhatOfIt(DeviceFact fact) {
  switch (fact) {
    case DeviceFact::PortName:
      return "su nombre de puerto";
    case DeviceFact::FriendlyName:
      return "su nombre descriptivo";
    case DeviceFact::DeviceInstance:
      return "su identificador de dispositivo";
    case DeviceFact::DriverKey:
      return "la clave de su driver";
    case DeviceFact::DriverProvider:
      return "el proveedor de su driver";
    case DeviceFact::DriverVersion:
      return "la versión de su driver";
    case DeviceFact::DriverDate:
      return "la fecha de su driver";
    default:
      break;
  }
  return "su estado";
}

std::string Sentence(std::string text) {
  if (text.empty() || text.back() != '.') text += '.';
  return text;
}

std::string Count(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace velmaris

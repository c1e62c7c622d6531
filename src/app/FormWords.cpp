#include "app/FormWords.h"

#include "app/ProgramVersion.h"
#include "link/AcquisitionControl.h"

namespace velmaris {

std::string VersionLine() {
  return "Herramienta de Diagnóstico Version: " + std::to_string(VELMARIS_VERSION_MAJOR) + "." +
         std::to_string(VELMARIS_VERSION_MINOR);
}

std::string InstallAdvice() {
  return std::string(" - Esta aplicación requiere tener instalado Velmaris version ") +
         kRequiredRelease + " o superior";
}

std::string FailureMessage(const std::string& source, const std::string& description) {
  return "Se produjo un error: " + description + "\r\nOrigen: " + source;
}

}  // namespace velmaris

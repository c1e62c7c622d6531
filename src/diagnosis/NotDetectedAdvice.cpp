#include "diagnosis/NotDetectedAdvice.h"

#include "diagnosis/DownloadsPage.h"

namespace velmaris {

std::vector<std::string> NotDetectedCauses() {
  return {"Se escanearon los puertos USB y COM1 al COM20.",
          "No se detectó ningún dispositivo Velmaris.",
          "Esto puede deberse a varias razones.",
          "* No está conectado a esta PC.",
          "* El equipo está apagado o no funciona.",
          "* Cable de conexión dañado."};
}

std::vector<std::string> OldUsbUnitsNote() {
  return {"* En esta versión de Windows no son compatibles algunas electrónicas del ",
          "  año 2017 o anteriores que tienen conexión USB"};
}

std::vector<std::string> DriverInstallNote() {
  return {
      "* En esta versión de Windows las electrónicas del año 2017 o anteriores",
      "  requieren la instalación de un controlador (driver). ",
      std::string("  Puede descargarse de la página de descargas de software en ") + kDownloadsPage,
      "  Luego de instalar el driver exitosamente, vuelve a ejecutar este diagnóstico."};
}

}  // namespace velmaris

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/WindowsDevicesSection.h"

namespace velmaris {
namespace {

using ::testing::ElementsAreArray;
using Lines = std::vector<std::string>;

const Lines kHeading = {"================================", "LO QUE WINDOWS VE EN ESTE EQUIPO",
                        "================================"};
const char* const kPortsHeading = "Puertos serie (COM) que tiene Windows:";
const char* const kDevicesHeading = "Dispositivos con problemas (puertos, USB o sin clase):";
const Lines kRenumbering = {"* Para que se escanee, dale un número del COM1 al COM20:",
                            "  Administrador de dispositivos > Puertos (COM y LPT) >",
                            "  el puerto > Propiedades > Configuración de puerto >",
                            "  Opciones avanzadas > Número de puerto COM.",
                            "  Luego vuelve a ejecutar este diagnóstico."};
// The usual end of a scan: USB and COM1 to COM21 tried.
constexpr int16_t kAfterCom21 = 22;

Lines Join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

UnreadFact WindowsError(DeviceFact fact, uint32_t code) {
  return {fact, UnreadFact::Cause::WindowsError, code, {}};
}

UnreadFact StatusUnread(uint32_t result) {
  return {DeviceFact::DeviceStatus, UnreadFact::Cause::ConfigManager, result, {}};
}

WindowsDevices ManyPortsAndDevices() {
  WindowsDevices devices;
  for (int port = 30; port > 15; --port)
    devices.ports.push_back({"COM" + std::to_string(port), ""});
  for (uint32_t device = 1; device <= 13; ++device) {
    devices.problemDevices.push_back({"Adaptador " + std::to_string(device), DeviceClass::Usb, 10});
  }
  return devices;
}

Lines TwelveAdapters() {
  Lines lines;
  for (int device = 1; device <= 12; ++device) {
    lines.push_back("* Adaptador " + std::to_string(device));
    lines.push_back("  No puede iniciar (código 10).");
  }
  return lines;
}

struct Case {
  const char* what;
  WindowsDevices devices;
  int16_t firstPortNotTried;
  Lines expected;  // after the heading
};

const Case kCases[] = {
    {"no ports and no troubled device",
     {},
     kAfterCom21,
     {kPortsHeading, "* Ninguno.", kDevicesHeading, "* Ninguno."}},

    {"ports within the scan, from both sources, merged and in number order",
     {{{"COM10", ""},
       {"COM3", ""},
       {"LPT1", "Puerto de impresora (LPT1)"},
       {"com3", "USB-SERIAL CH340 (COM3)"},
       {"COM1", "Puerto de comunicaciones (COM1)"},
       {"COM21", ""}},
      {},
      {}},
     kAfterCom21,
     {kPortsHeading, "* COM1: Puerto de comunicaciones (COM1)", "* COM3: USB-SERIAL CH340 (COM3)",
      "* COM10: sin nombre descriptivo", "* COM21: sin nombre descriptivo", kDevicesHeading,
      "* Ninguno."}},

    {"ports beyond the scan, and a name that is no COM number",
     {{{"COM23", "Adaptador USB a serie (COM23)"}, {"COM2", ""}, {"CNCA0", ""}, {"COM22", ""}},
      {},
      {}},
     kAfterCom21,
     Join({{kPortsHeading, "* COM2: sin nombre descriptivo", "* COM22: sin nombre descriptivo",
            "  COM22 no se escaneó.", "* COM23: Adaptador USB a serie (COM23)",
            "  COM23 no se escaneó.", "* CNCA0: sin nombre descriptivo", "  CNCA0 no se escaneó."},
           kRenumbering,
           {kDevicesHeading, "* Ninguno."}})},

    {"a scan that went further tried the ports up to its end",
     {{{"COM22", ""}}, {}, {}},
     23,
     {kPortsHeading, "* COM22: sin nombre descriptivo", kDevicesHeading, "* Ninguno."}},

    {"devices without a driver or that cannot start; other classes left out",
     {{},
      {{"FT232R USB UART", DeviceClass::NoClass, 28},
       {"Tarjeta de sonido", DeviceClass::Other, 28},
       {"USB Serial Port", DeviceClass::Ports, 10},
       {"", DeviceClass::Usb, 43},
       {"Concentrador", DeviceClass::Usb, 99}},
      {}},
     kAfterCom21,
     {kPortsHeading, "* Ninguno.", kDevicesHeading, "* FT232R USB UART",
      "  No tiene instalado su driver (código 28).", "* USB Serial Port",
      "  No puede iniciar (código 10).", "* (sin nombre)",
      "  Windows lo detuvo porque informó un fallo (código 43).", "* Concentrador",
      "  Tiene un problema (código 99)."}},

    {"long lists are cut, saying how many more there are", ManyPortsAndDevices(), kAfterCom21,
     Join({{kPortsHeading},
           {"* COM16: sin nombre descriptivo", "* COM17: sin nombre descriptivo",
            "* COM18: sin nombre descriptivo", "* COM19: sin nombre descriptivo",
            "* COM20: sin nombre descriptivo", "* COM21: sin nombre descriptivo",
            "* COM22: sin nombre descriptivo", "  COM22 no se escaneó.",
            "* COM23: sin nombre descriptivo", "  COM23 no se escaneó.",
            "* COM24: sin nombre descriptivo", "  COM24 no se escaneó.",
            "* COM25: sin nombre descriptivo", "  COM25 no se escaneó.",
            "* COM26: sin nombre descriptivo", "  COM26 no se escaneó.",
            "* COM27: sin nombre descriptivo", "  COM27 no se escaneó.",
            "* Y 3 puertos más, 3 sin escanear."},
           kRenumbering,
           {kDevicesHeading},
           TwelveAdapters(),
           {"* Y 1 dispositivo más."}})},

    {"failed readings say which and why, and never claim there is nothing",
     {{},
      {},
      {WindowsError(DeviceFact::PortMap, 5), WindowsError(DeviceFact::PortDevices, 1234),
       WindowsError(DeviceFact::DeviceList, 8), StatusUnread(0x0D), StatusUnread(0x0D),
       StatusUnread(0x0D), StatusUnread(0x99)}},
     kAfterCom21,
     {kPortsHeading, "* No se pudo leer el mapa de puertos del registro:",
      "  Acceso denegado (error 5 de Windows).", "* No se pudo leer la clase Puertos (COM y LPT):",
      "  Error 1234 de Windows.", kDevicesHeading,
      "* No se pudo leer la lista de dispositivos:", "  Memoria insuficiente (error 8 de Windows).",
      "* No se pudo leer el estado de 3 dispositivos:",
      "  El dispositivo ya no está (código CR 13).",
      "* No se pudo leer el estado de 1 dispositivo:", "  Código CR 153."}},

    {"a failed reading beside what could be read",
     {{{"COM4", ""}}, {}, {StatusUnread(0x34)}},
     kAfterCom21,
     {kPortsHeading, "* COM4: sin nombre descriptivo", kDevicesHeading,
      "* No se pudo leer el estado de 1 dispositivo:", "  Función no disponible (código CR 52)."}},

    {"names are kept on one line and short",
     {{{"COM5", "Adaptador\r\nsegunda línea"}},
      {{std::string(98, 'x') + "ñandú", DeviceClass::Usb, 28}},
      {}},
     kAfterCom21,
     {kPortsHeading, "* COM5: Adaptador  segunda línea", kDevicesHeading,
      "* " + std::string(98, 'x') + "ñ…", "  No tiene instalado su driver (código 28)."}},
};

TEST(WindowsDevicesSection, SaysWhatWindowsSees) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_THAT(WindowsDevicesSection(c.devices, c.firstPortNotTried),
                ElementsAreArray(Join({kHeading, c.expected})));
  }
}

TEST(WindowsDevicesSection, AQueryThatFailsIsOneUnreadFact) {
  const WindowsDevices devices =
      AskWindowsDevices([]() -> WindowsDevices { throw std::runtime_error("sin memoria"); });
  EXPECT_THAT(WindowsDevicesSection(devices, kAfterCom21),
              ElementsAreArray(
                  Join({kHeading, {"* No se pudo leer lo que ve Windows:", "  sin memoria."}})));
  EXPECT_EQ(WindowsDevicesSection(AskWindowsDevices(nullptr), kAfterCom21)[3],
            "* No se pudo leer lo que ve Windows:");
}

}  // namespace
}  // namespace velmaris

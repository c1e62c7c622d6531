#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "WindowsDevicesFacts.h"
#include "diagnosis/KnownBadDrivers.h"
#include "diagnosis/Verdict.h"
#include "diagnosis/WindowsDevicesSection.h"

namespace velmaris {
namespace {

using namespace fakes;
using ::testing::ElementsAreArray;
using Lines = std::vector<std::string>;

const Lines kHeading = {"================================", "LO QUE WINDOWS VE EN ESTE EQUIPO",
                        "================================"};
const char* const kPortsHeading = "Puertos serie (COM) que tiene Windows:";
const char* const kHeldHeading =
    "Números del COM1 al COM20 que guardan dispositivos no conectados:";
const char* const kDevicesHeading =
    "Dispositivos con problemas (puertos, módems, USB o sin clase):";
const char* const kMapOnly = "  Solo está en el mapa de puertos: no tiene dispositivo.";
const Lines kNoneHeld = {kHeldHeading, "* Ninguno."};
const Lines kRenumbering = {"* Para que se escanee, dale un número del COM1 al COM20:",
                            "  Administrador de dispositivos > Puertos (COM y LPT) >",
                            "  el puerto > Propiedades > Configuración de puerto >",
                            "  Opciones avanzadas > Número de puerto COM.",
                            "  Luego vuelve a ejecutar este diagnóstico."};
// The usual end of a scan: USB and COM1 to COM21 tried.
constexpr int16_t kAfterCom21 = 22;

const char* const kFtdiLine = "  Driver: FTDI, versión 2.12.28.0, fecha 2017-08-30.";
// The last line of a port the check did not reach.
const char* const kTimeUp = "  Sin comprobar: se acabó el tiempo de la comprobación.";
const Lines kBluetoothNote = {"  Es un puerto Bluetooth: al abrirlo se espera el enlace de radio,",
                              "  lo que puede hacer lento el escaneo."};
const char* const kBluetoothNotChecked = "  Por eso no se comprobó si otro programa lo usa.";

Lines Join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

UnreadFact StatusUnread(uint32_t result) {
  return {DeviceFact::DeviceStatus, UnreadFact::Cause::ConfigManager, result, {}};
}

// COM1 to COM12 in the device map only, and what the list says of them.
std::vector<SerialPort> TwelveMappedPorts() {
  std::vector<SerialPort> ports;
  for (int port = 1; port <= 12; ++port) ports.push_back(Mapped("COM" + std::to_string(port)));
  return ports;
}

Lines TwelveMappedPortLines() {
  Lines lines = {kPortsHeading};
  for (int port = 1; port <= 12; ++port) {
    lines.insert(lines.end(),
                 {"* COM" + std::to_string(port) + ": sin nombre descriptivo", kMapOnly, kTimeUp});
  }
  return lines;
}

WindowsDevices ManyPortsAndDevices() {
  WindowsDevices devices;
  for (int port = 30; port > 15; --port)
    devices.ports.push_back(Mapped("COM" + std::to_string(port)));
  for (uint32_t device = 1; device <= 13; ++device) {
    devices.problemDevices.push_back({"Adaptador " + std::to_string(device), DeviceClass::Usb, 10});
  }
  return devices;
}

Lines ManyPorts() {
  Lines lines;
  for (int port = 16; port <= 27; ++port) {
    const std::string name = "COM" + std::to_string(port);
    lines.push_back("* " + name + ": sin nombre descriptivo");
    lines.push_back(kMapOnly);
    lines.push_back(port > 21 ? "  " + name + " no se escaneó." : kTimeUp);
  }
  return lines;
}

Lines TwelveAdapters() {
  Lines lines;
  for (int device = 1; device <= 12; ++device) {
    lines.push_back("* Adaptador " + std::to_string(device));
    lines.push_back("  No puede iniciar (código 10).");
  }
  return lines;
}

WindowsDevices WithHeldPorts() {
  WindowsDevices devices;
  devices.ports = {Device("COM23", "USB Serial Port (COM23)")};
  devices.heldPorts = {{"COM3", "USB Serial Port (COM3)", {}},
                       {"COM25", "Prolific USB-to-Serial (COM25)", {}},
                       {"COM20", "", {}},
                       {"", "Puerto olvidado", {WindowsError(DeviceFact::PortName, 5)}}};
  return devices;
}

WindowsDevices WithBluetoothAndModems() {
  WindowsDevices devices;
  SerialPort bluetooth = Bluetooth("COM7");
  bluetooth.friendlyName = "Vínculo serie estándar a través de Bluetooth (COM7)";
  devices.ports = {
      bluetooth, Device("COM4", "USB Modem (COM4)", {true, "Conexant", "", ""}, PortDevice::Modem),
      Device("COM9", "Adaptador sin driver", {}, PortDevice::Port)};
  devices.problemDevices = {{"USB Modem", DeviceClass::Modem, 28}};
  return devices;
}

WindowsDevices WithFailedReadingsOfOneEntry() {
  WindowsDevices devices;
  SerialPort driverUnread = Device("COM5", "Adaptador (COM5)", {});
  driverUnread.unread = {WindowsError(DeviceFact::DriverKey, 5)};
  SerialPort valuesUnread = Device("COM6", "", {true, "FTDI", "", "8-30-2017"});
  valuesUnread.unread = {WindowsError(DeviceFact::FriendlyName, 0xE000020B),
                         WindowsError(DeviceFact::DriverVersion, 13)};
  SerialPort nameUnread = Device("", "Adaptador misterioso", kFtdi);
  nameUnread.unread = {WindowsError(DeviceFact::PortName, 5)};
  devices.ports = {driverUnread, valuesUnread, nameUnread};
  devices.problemDevices = {
      {"", DeviceClass::Usb, 10, {}, {WindowsError(DeviceFact::FriendlyName, 8)}}};
  return devices;
}

// The same COM name on two devices, the later without a friendly name, and on the device map.
WindowsDevices SameNameTwice() {
  WindowsDevices devices;
  devices.ports = {Mapped("COM8"), Device("COM8", "Primer adaptador (COM8)"),
                   Device("COM8", "", {true, "Otro", "1.0", "1-2-2020"})};
  return devices;
}

// One port for each thing the check can find, then ports it leaves alone.
WindowsDevices EveryOutcome() {
  WindowsDevices devices;
  for (int port = 1; port <= 9; ++port)
    devices.ports.push_back(Mapped("COM" + std::to_string(port)));
  devices.ports.push_back(Bluetooth("COM10"));
  devices.ports.push_back(Bluetooth("COM25"));
  devices.ports.push_back(Mapped("COM30"));
  return devices;
}

const PortChecks kEveryOutcome = {{{1, PortState::Free, 0},
                                   {2, PortState::InUse, 32},
                                   {3, PortState::Gone, 2},
                                   {4, PortState::NoAnswer, 121},
                                   {5, PortState::DriverFails, 31},
                                   {6, PortState::Error, 87},
                                   {7, PortState::Error, 8},
                                   {9, PortState::NotChecked, 0}}};

Lines MappedLines(int port, const std::string& last) {
  return {"* COM" + std::to_string(port) + ": sin nombre descriptivo", kMapOnly, last};
}

WindowsDevices WithPortWhoseNameIsUnread() {
  WindowsDevices devices;
  devices.ports = TwelveMappedPorts();
  SerialPort nameUnread = Device("", "Adaptador misterioso");
  nameUnread.unread = {WindowsError(DeviceFact::PortName, 5)};
  devices.ports.push_back(nameUnread);
  return devices;
}

WindowsDevices WithCom30BeyondTheCut() {
  WindowsDevices devices;
  devices.ports = TwelveMappedPorts();
  devices.ports.push_back(Mapped("COM30"));
  return devices;
}

WindowsDevices ThirteenAdaptersAndASoundCard() {
  WindowsDevices devices;
  devices.problemDevices = ManyPortsAndDevices().problemDevices;
  devices.problemDevices.push_back({"Tarjeta de sonido", DeviceClass::Other, 28});
  return devices;
}

WindowsDevices ThirteenHeldNumbers() {
  WindowsDevices devices;
  for (int port = 1; port <= 13; ++port) {
    devices.heldPorts.push_back({"COM" + std::to_string(port), "USB Serial Port", {}});
  }
  return devices;
}

Lines TwelveHeldNumbers() {
  Lines lines = {kHeldHeading};
  for (int port = 1; port <= 12; ++port) {
    lines.push_back("* COM" + std::to_string(port) + ": USB Serial Port, no conectado.");
  }
  return lines;
}

struct Case {
  const char* what;
  WindowsDevices devices;
  int16_t firstPortNotTried;
  Lines expected;  // after the heading and the verdict
  PortChecks checks{};
};

const Case kCases[] = {
    {"no ports and no troubled device",
     {},
     kAfterCom21,
     Join({{kPortsHeading, "* Ninguno."}, kNoneHeld, {kDevicesHeading, "* Ninguno."}})},

    {"ports within the scan, from both sources, merged and in number order",
     {{Mapped("COM10"), Mapped("COM3"), Device("LPT1", "Puerto de impresora (LPT1)"),
       Device("com3", "USB-SERIAL CH340 (COM3)"),
       Device("COM1", "Puerto de comunicaciones (COM1)",
              {true, "(Tipos de puerto estándar)", "10.0.19041.1", "6-21-2006"}),
       Mapped("COM21")},
      {},
      {}},
     kAfterCom21,
     Join(
         {{kPortsHeading, "* COM1: Puerto de comunicaciones (COM1)",
           "  Driver: (Tipos de puerto estándar), versión 10.0.19041.1, fecha 2006-06-21.", kTimeUp,
           "* COM3: USB-SERIAL CH340 (COM3)", kFtdiLine, kTimeUp, "* COM10: sin nombre descriptivo",
           kMapOnly, kTimeUp, "* COM21: sin nombre descriptivo", kMapOnly, kTimeUp},
          kNoneHeld,
          {kDevicesHeading, "* Ninguno."}})},

    {"ports beyond the scan, and a name that is no COM number",
     {{Device("COM23", "Adaptador USB a serie (COM23)"), Mapped("COM2"), Mapped("CNCA0"),
       Mapped("COM22")},
      {},
      {}},
     kAfterCom21,
     Join({{kPortsHeading, "* COM2: sin nombre descriptivo", kMapOnly, kTimeUp,
            "* COM22: sin nombre descriptivo", kMapOnly, "  COM22 no se escaneó.",
            "* COM23: Adaptador USB a serie (COM23)", kFtdiLine, "  COM23 no se escaneó.",
            "* CNCA0: sin nombre descriptivo", kMapOnly, "  CNCA0 no se escaneó."},
           kNoneHeld,
           kRenumbering,
           {kDevicesHeading, "* Ninguno."}})},

    {"a scan that went further tried the ports up to its end",
     {{Mapped("COM22")}, {}, {}},
     23,
     Join({{kPortsHeading, "* COM22: sin nombre descriptivo", kMapOnly, kTimeUp},
           kNoneHeld,
           {kDevicesHeading, "* Ninguno."}})},

    {"COM numbers within the scan held by devices not connected, offered for renumbering",
     WithHeldPorts(), kAfterCom21,
     Join({{kPortsHeading, "* COM23: USB Serial Port (COM23)", kFtdiLine, "  COM23 no se escaneó.",
            kHeldHeading, "* COM3: USB Serial Port (COM3), no conectado.",
            "* COM20: (sin nombre), no conectado.",
            "* (nombre sin leer): Puerto olvidado, no conectado.",
            "  No se pudo leer su nombre de puerto: Acceso denegado (error 5 de Windows)."},
           {kRenumbering.begin(), kRenumbering.end() - 1},
           {"  Sirve también un número que guarda un dispositivo no conectado.",
            kRenumbering.back(), kDevicesHeading, "* Ninguno."}})},

    {"a Bluetooth port, a modem with its port and with a problem, a port without a driver",
     WithBluetoothAndModems(), kAfterCom21,
     Join({{kPortsHeading, "* COM4: USB Modem (COM4)", "  Windows lo instaló como módem.",
            "  Driver: Conexant, versión desconocida, fecha desconocida.", kTimeUp,
            "* COM7: Vínculo serie estándar a través de Bluetooth (COM7)",
            "  Driver: Microsoft, versión 10.0.19041.1, fecha 2006-06-21."},
           kBluetoothNote,
           {kBluetoothNotChecked, "* COM9: Adaptador sin driver", "  No tiene driver instalado.",
            kTimeUp},
           kNoneHeld,
           {kDevicesHeading, "* USB Modem", "  No tiene instalado su driver (código 28)."}})},

    {"a port of the device map that a Bluetooth device then joins keeps its note",
     {{Mapped("COM7"), Bluetooth("COM7")}, {}, {}},
     kAfterCom21,
     Join({{kPortsHeading, "* COM7: Vínculo serie a través de Bluetooth (COM7)",
            "  Driver: Microsoft, versión 10.0.19041.1, fecha 2006-06-21."},
           kBluetoothNote,
           {kBluetoothNotChecked},
           kNoneHeld,
           {kDevicesHeading, "* Ninguno."}})},

    {"the check's outcome is the last line below each port it was to open", EveryOutcome(),
     kAfterCom21,
     Join({{kPortsHeading},
           MappedLines(1, "  Comprobación: libre, ningún programa lo usa."),
           MappedLines(2, "  Comprobación: en uso por otro programa."),
           MappedLines(3, "  Comprobación: ya no está desde que Windows lo listó."),
           MappedLines(4, "  Comprobación: no respondió a tiempo."),
           MappedLines(5, "  Comprobación: su driver falla."),
           MappedLines(6, "  Comprobación: Error 87 de Windows."),
           MappedLines(7, "  Comprobación: Memoria insuficiente (error 8 de Windows)."),
           MappedLines(8, kTimeUp),
           MappedLines(9, kTimeUp),
           {"* COM10: Vínculo serie a través de Bluetooth (COM10)",
            "  Driver: Microsoft, versión 10.0.19041.1, fecha 2006-06-21."},
           kBluetoothNote,
           {kBluetoothNotChecked, "* COM25: Vínculo serie a través de Bluetooth (COM25)",
            "  Driver: Microsoft, versión 10.0.19041.1, fecha 2006-06-21."},
           kBluetoothNote,
           {"  COM25 no se escaneó."},
           MappedLines(30, "  COM30 no se escaneó."),
           kNoneHeld,
           kRenumbering,
           {kDevicesHeading, "* Ninguno."}}),
     kEveryOutcome},

    {"a check that could not be made says so below each port it was to open",
     {{Mapped("COM1"), Device("COM4", "")}, {}, {}},
     kAfterCom21,
     Join({{kPortsHeading, "* COM1: sin nombre descriptivo", kMapOnly,
            "  Sin comprobar: no se pudo hacer la comprobación.", "* COM4: sin nombre descriptivo",
            kFtdiLine, "  Sin comprobar: no se pudo hacer la comprobación."},
           kNoneHeld,
           {kDevicesHeading, "* Ninguno."}}),
     {{}, false}},

    {"a check that Windows kept from starting names its error below each port",
     {{Mapped("COM1")}, {}, {}},
     kAfterCom21,
     Join({{kPortsHeading, "* COM1: sin nombre descriptivo", kMapOnly,
            "  Sin comprobar: no se pudo hacer la comprobación: Memoria insuficiente (error 8 de "
            "Windows)."},
           kNoneHeld,
           {kDevicesHeading, "* Ninguno."}}),
     {{}, false, 8}},

    {"failed readings of one port or device are named beside what was read",
     WithFailedReadingsOfOneEntry(), kAfterCom21,
     Join({{kPortsHeading, "* COM5: Adaptador (COM5)",
            "  No se pudo leer la clave de su driver: Acceso denegado (error 5 de Windows).",
            kTimeUp, "* COM6", "  Driver: FTDI, versión desconocida, fecha 2017-08-30.",
            "  No se pudo leer su nombre descriptivo: Error 0xE000020B de Windows.",
            "  No se pudo leer la versión de su driver: Dato no válido (error 13 de Windows).",
            kTimeUp, "* (nombre sin leer): Adaptador misterioso", kFtdiLine,
            "  No se pudo leer su nombre de puerto: Acceso denegado (error 5 de Windows)."},
           kNoneHeld,
           {kDevicesHeading, "* (sin nombre)", "  No puede iniciar (código 10).",
            "  No se pudo leer su nombre descriptivo: Memoria insuficiente (error 8 de "
            "Windows)."}})},

    {"the same COM name on two devices keeps the first device and its name", SameNameTwice(),
     kAfterCom21,
     Join({{kPortsHeading, "* COM8: Primer adaptador (COM8)", kFtdiLine, kTimeUp},
           kNoneHeld,
           {kDevicesHeading, "* Ninguno."}})},

    {"devices without a driver or that cannot start; other classes left out",
     {{},
      {{"FT232R USB UART", DeviceClass::NoClass, 28},
       {"Tarjeta de sonido", DeviceClass::Other, 28},
       {"USB Serial Port", DeviceClass::Ports, 10},
       {"", DeviceClass::Usb, 43},
       {"Concentrador", DeviceClass::Usb, 99}},
      {}},
     kAfterCom21,
     Join({{kPortsHeading, "* Ninguno."},
           kNoneHeld,
           {kDevicesHeading, "* FT232R USB UART", "  No tiene instalado su driver (código 28).",
            "* USB Serial Port", "  No puede iniciar (código 10).", "* (sin nombre)",
            "  Windows lo detuvo porque informó un fallo (código 43).", "* Concentrador",
            "  Tiene un problema (código 99)."}})},

    {"long lists are cut, saying how many more there are", ManyPortsAndDevices(), kAfterCom21,
     Join({{kPortsHeading},
           ManyPorts(),
           {"* Y 3 puertos más, 3 sin escanear."},
           kNoneHeld,
           kRenumbering,
           {kDevicesHeading},
           TwelveAdapters(),
           {"* Y 1 dispositivo más."}})},

    {"a port not scanned beyond the cut still brings the renumbering advice",
     WithCom30BeyondTheCut(), kAfterCom21,
     Join({TwelveMappedPortLines(),
           {"* Y 1 puerto más, 1 sin escanear."},
           kNoneHeld,
           kRenumbering,
           {kDevicesHeading, "* Ninguno."}})},

    {"a port without a name beyond the cut is counted, but not as not scanned",
     WithPortWhoseNameIsUnread(), kAfterCom21,
     Join({TwelveMappedPortLines(),
           {"* Y 1 puerto más."},
           kNoneHeld,
           {kDevicesHeading, "* Ninguno."}})},

    {"the held numbers are cut at 12 too", ThirteenHeldNumbers(), kAfterCom21,
     Join({{kPortsHeading, "* Ninguno."},
           TwelveHeldNumbers(),
           {"* Y 1 número más.", kDevicesHeading, "* Ninguno."}})},

    {"held names that are no COM number from COM1 are no held numbers",
     {{},
      {},
      {},
      {{"LPT1", "Puerto de impresora", {}}, {"CNCA0", "com0com", {}}, {"COM0", "", {}}}},
     kAfterCom21,
     Join({{kPortsHeading, "* Ninguno."}, kNoneHeld, {kDevicesHeading, "* Ninguno."}})},

    {"the more count of devices counts only the classes listed", ThirteenAdaptersAndASoundCard(),
     kAfterCom21,
     Join({{kPortsHeading, "* Ninguno."},
           kNoneHeld,
           {kDevicesHeading},
           TwelveAdapters(),
           {"* Y 1 dispositivo más."}})},

    {"failed readings say which and why, and never claim there is nothing",
     {{},
      {},
      {WindowsError(DeviceFact::PortMap, 5), WindowsError(DeviceFact::PortDevices, 1234),
       WindowsError(DeviceFact::DeviceList, 8), StatusUnread(0x0D), StatusUnread(0x0D),
       StatusUnread(0x0D), StatusUnread(0x99), WindowsError(DeviceFact::AbsentPorts, 0xE000020B)}},
     kAfterCom21,
     {kPortsHeading, "* No se pudo leer el mapa de puertos del registro:",
      "  Acceso denegado (error 5 de Windows).",
      "* No se pudo leer las clases Puertos (COM y LPT) y Módems:", "  Error 1234 de Windows.",
      kHeldHeading, "* No se pudo leer la lista de puertos no conectados:",
      "  Error 0xE000020B de Windows.", kDevicesHeading,
      "* No se pudo leer la lista de dispositivos:", "  Memoria insuficiente (error 8 de Windows).",
      "* No se pudo leer el estado de 3 dispositivos:",
      "  El dispositivo ya no está (código CR 13).",
      "* No se pudo leer el estado de 1 dispositivo:", "  Código CR 153."}},

    {"without the device list, a port of the device map is not said to have no device",
     {{Mapped("COM4")}, {}, {WindowsError(DeviceFact::PortDevices, 8)}},
     kAfterCom21,
     Join({{kPortsHeading, "* COM4: sin nombre descriptivo", kTimeUp,
            "* No se pudo leer las clases Puertos (COM y LPT) y Módems:",
            "  Memoria insuficiente (error 8 de Windows)."},
           kNoneHeld,
           {kDevicesHeading, "* Ninguno."}})},

    {"a failed reading beside what could be read",
     {{Device("COM4", "")}, {}, {StatusUnread(0x34)}},
     kAfterCom21,
     Join({{kPortsHeading, "* COM4: sin nombre descriptivo", kFtdiLine, kTimeUp},
           kNoneHeld,
           {kDevicesHeading, "* No se pudo leer el estado de 1 dispositivo:",
            "  Función no disponible (código CR 52)."}})},

    {"names from Windows are guarded as the component's texts: one line each, and short",
     {{Device("COM5", "Adaptador\r\nsegunda\u2028línea\u0085",
              {true, "FT\u2029DI", "2.0", "13-1-2020"})},
      {{std::string(98, 'x') + "ñandú", DeviceClass::Usb, 28}},
      {}},
     kAfterCom21,
     Join({{kPortsHeading, "* COM5: Adaptador¶¶segunda¶línea¶",
            "  Driver: FT¶DI, versión 2.0, fecha 13-1-2020.", kTimeUp},
           kNoneHeld,
           {kDevicesHeading, "* " + std::string(98, 'x') + "ña[…]",
            "  No tiene instalado su driver (código 28)."}})},

    {"a driver's date is written year first, whatever its day",
     {{Device("COM5", "", {true, "FTDI", "2.12.36.4", "12-31-2019"})}, {}, {}},
     kAfterCom21,
     Join({{kPortsHeading, "* COM5: sin nombre descriptivo",
            "  Driver: FTDI, versión 2.12.36.4, fecha 2019-12-31.", kTimeUp},
           kNoneHeld,
           {kDevicesHeading, "* Ninguno."}})},
};

// The verdict opens the section, right after its heading, and the lists follow.
TEST(WindowsDevicesSection, SaysWhatWindowsSees) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const Lines verdict = Verdict(c.devices, c.firstPortNotTried, c.checks, KnownBadDrivers());
    EXPECT_THAT(WindowsDevicesSection(c.devices, c.firstPortNotTried, c.checks),
                ElementsAreArray(Join({kHeading, verdict, c.expected})));
  }
}

TEST(WindowsDevicesSection, AReadingThatFailsIsTheSectionsOneEntry) {
  const WindowsDevicesReader failing = []() -> WindowsDevices {
    throw std::runtime_error("sin memoria");
  };
  EXPECT_THAT(WindowsDevicesSection(WhatWindowsSees(failing), kAfterCom21, {}),
              ElementsAreArray(
                  Join({kHeading, {"* No se pudo leer lo que ve Windows:", "  sin memoria."}})));
}

}  // namespace
}  // namespace velmaris

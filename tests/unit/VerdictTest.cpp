#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WindowsDevicesFacts.h"
#include "diagnosis/KnownBadDrivers.h"
#include "diagnosis/PortsToCheck.h"
#include "diagnosis/Verdict.h"
#include "platform/PortCheck.h"

namespace velmaris {
namespace {

using namespace fakes;
using ::testing::ElementsAreArray;
using Lines = std::vector<std::string>;

// The usual end of a scan: USB and COM1 to COM21 tried.
constexpr int16_t kAfterCom21 = 22;

const std::vector<KnownBadDriver> kBadReleases = {{"Acme Serial", "1.2.3.4"}};
const char* const kUsbDeviceId = "USB\\VID_0403&PID_6001\\A50285BI";
const char* const kListsBelow = "Las listas de abajo dicen lo que ve Windows.";
const char* const kCannotDecide = "No se puede decidir la causa más probable:";

const Lines kAdapterInUse = {"Cierra los programas que puedan usarlo, primero Velmaris,",
                             "y vuelve a ejecutar este diagnóstico. Si sigue en uso,",
                             "desconecta el adaptador diez segundos o reinicia Windows."};
const Lines kReplug = {"Desconéctalo y vuelve a conectarlo. Si sigue igual,",
                       "reinstala su driver.", "Luego vuelve a ejecutar este diagnóstico."};
const Lines kAdapterFree = {"El adaptador está y nadie lo usa. Revisa que la unidad esté",
                            "encendida, que su cable vaya a ese adaptador y que sea el",
                            "cable propio de la unidad."};
const Lines kBadRelease = {"Esa versión falla a menudo: vuelve al driver anterior en el",
                           "Administrador de dispositivos > el puerto > Propiedades >",
                           "Controlador > Revertir al controlador anterior.",
                           "Luego vuelve a ejecutar este diagnóstico."};
const Lines kNothingSeen = {"Causa más probable: Windows no ve la unidad ni un adaptador.",
                            "Unidad USB: revisa su alimentación y su cable (de datos, no",
                            "uno que solo carga), prueba otro puerto USB e instala el",
                            "driver del adaptador. Unidad en el puerto serie de la PC:",
                            "revisa el cable y que la unidad esté encendida."};
const Lines kNoCause = {"Ninguna causa destaca sobre las demás.", kListsBelow};

Lines Join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

SerialPort WithUnread(SerialPort port, DeviceFact fact) {
  port.unread.push_back(WindowsError(fact, 5));
  return port;
}

SerialPort WithDriver(SerialPort port, std::string provider, std::string version) {
  port.driver = {true, std::move(provider), std::move(version), "1-2-2024"};
  return port;
}

WindowsDevices Ports(std::vector<SerialPort> ports) {
  WindowsDevices devices;
  devices.ports = std::move(ports);
  return devices;
}

WindowsDevices Troubled(std::vector<ProblemDevice> problemDevices,
                        std::vector<SerialPort> ports = {}) {
  WindowsDevices devices;
  devices.ports = std::move(ports);
  devices.problemDevices = std::move(problemDevices);
  return devices;
}

WindowsDevices Unread(WindowsDevices devices, std::vector<DeviceFact> lists) {
  for (DeviceFact list : lists) devices.unread.push_back(WindowsError(list, 5));
  return devices;
}

PortChecks Found(std::vector<PortCheckResult> results) { return {std::move(results), true}; }

struct Row {
  const char* what;
  WindowsDevices devices;
  PortChecks checks;
  Lines expected;
  int16_t firstPortNotTried = kAfterCom21;
};

const Row kRows[] = {
    // 1. An adapter's port in use.
    {"an adapter's port that another program holds",
     Ports({BuiltIn("COM1"), Adapter("COM8", "USB Serial Port (COM8)")}),
     Found({{1, PortState::Free}, {8, PortState::InUse, 32}}),
     Join({{"Causa más probable: otro programa usa este puerto:", "  COM8: USB Serial Port (COM8)"},
           kAdapterInUse})},

    {"several adapters in use: three named, lowest first",
     Ports({Adapter("COM12", "D (COM12)"), Adapter("COM3", "A (COM3)"), Adapter("COM8", "C (COM8)"),
            Adapter("COM5", "B (COM5)")}),
     Found({{3, PortState::InUse, 5},
            {5, PortState::InUse, 32},
            {8, PortState::InUse, 33},
            {12, PortState::InUse, 32}}),
     {"Causa más probable: otros programas usan estos puertos:",
      "  COM3: A (COM3); COM5: B (COM5); COM8: C (COM8); y 1 más",
      "Cierra los programas que puedan usarlos, primero Velmaris,",
      "y vuelve a ejecutar este diagnóstico. Si siguen en uso,",
      "desconecta los adaptadores diez segundos o reinicia Windows."}},

    {"exactly three named, and no more said",
     Ports({Adapter("COM3", "A (COM3)"), Adapter("COM5", "B (COM5)"), Device("COM8", "C (COM8)")}),
     Found({{3, PortState::InUse, 5}, {5, PortState::InUse, 32}, {8, PortState::InUse, 33}}),
     {"Causa más probable: otros programas usan estos puertos:",
      "  COM3: A (COM3); COM5: B (COM5); COM8: C (COM8)",
      "Cierra los programas que puedan usarlos, primero Velmaris,",
      "y vuelve a ejecutar este diagnóstico. Si siguen en uso,",
      "desconecta los adaptadores diez segundos o reinicia Windows."}},

    {"a port of the FTDI bus driver is an adapter's",
     Ports({Device("COM8", "USB Serial Port (COM8)")}), Found({{8, PortState::InUse, 32}}),
     Join({{"Causa más probable: otro programa usa este puerto:", "  COM8: USB Serial Port (COM8)"},
           kAdapterInUse})},

    {"an adapter in use comes before a device with a problem",
     Troubled({{"FT232R USB UART", DeviceClass::NoClass, 28, kUsbDeviceId}},
              {Adapter("COM8", "USB Serial Port (COM8)")}),
     Found({{8, PortState::InUse, 32}}),
     Join({{"Causa más probable: otro programa usa este puerto:", "  COM8: USB Serial Port (COM8)"},
           kAdapterInUse})},

    // 2. A device that could be the unit or its adapter, with a problem.
    {"a device without class that USB enumerated, without its driver",
     Troubled({{"FT232R USB UART", DeviceClass::NoClass, 28, kUsbDeviceId}}),
     {},
     {"Causa más probable: dispositivo con problema (código 28):", "  FT232R USB UART",
      "Instala su driver.", "Luego vuelve a ejecutar este diagnóstico."}},

    {"devices with a problem are named by the first one's problem",
     Troubled({{"Tarjeta de sonido", DeviceClass::Other, 10, "HDAUDIO\\FUNC_01"},
               {"USB Serial Port", DeviceClass::Ports, 10, kFtdiId},
               {"Concentrador", DeviceClass::Usb, 28, "USB\\ROOT_HUB20\\4&1"},
               {"", DeviceClass::Usb, 10, "USB\\VID_1A86&PID_7523\\6"}}),
     {},
     Join({{"Causa más probable: dispositivos con problema (código 10):",
            "  USB Serial Port; (sin nombre)"},
           kReplug})},

    {"a disabled device",
     Troubled({{"USB Modem", DeviceClass::Modem, 22, "USB\\VID_0572\\1"}}),
     {},
     {"Causa más probable: dispositivo con problema (código 22):", "  USB Modem",
      "Está deshabilitado: en el Administrador de dispositivos,",
      "haz clic derecho en él > Habilitar dispositivo.",
      "Luego vuelve a ejecutar este diagnóstico."}},

    {"a USB device that failed",
     Troubled({{"Dispositivo USB desconocido", DeviceClass::Usb, 43, "USB\\VID_0000&PID_0002\\5"}}),
     {},
     {"Causa más probable: dispositivo con problema (código 43):", "  Dispositivo USB desconocido",
      "El dispositivo USB falló: prueba otro cable y otro puerto",
      "USB de la PC, sin concentrador (hub).", "Luego vuelve a ejecutar este diagnóstico."}},

    {"any other problem: its driver is reinstalled",
     Troubled({{"USB Serial Port", DeviceClass::Ports, 31, kFtdiId}}),
     {},
     {"Causa más probable: dispositivo con problema (código 31):", "  USB Serial Port",
      "Reinstala su driver.", "Luego vuelve a ejecutar este diagnóstico."}},

    {"devices that cannot be the unit decide nothing: Bluetooth, other classes, not USB",
     Troubled({{"Vínculo Bluetooth", DeviceClass::Ports, 28, kBluetoothId},
               {"Tarjeta de sonido", DeviceClass::Other, 28, "HDAUDIO\\FUNC_01"},
               {"Controlador PCI", DeviceClass::NoClass, 28, "PCI\\VEN_8086&DEV_1C3A\\3"}}),
     {},
     kNoCause},

    // 3. A known bad release of a port's driver.
    {"a port's driver is a known bad release, its version read as four numbers",
     Ports({WithDriver(Adapter("COM25", "USB-SERIAL CH340 (COM25)"), "ACME SERIAL", "1.2.03.4"),
            WithDriver(Adapter("COM26", "USB-SERIAL CH340 (COM26)"), "Acme Serial", "1.2.3.40")}),
     {},
     Join({{"Causa más probable: este puerto tiene un driver que falla:",
            "  COM25: USB-SERIAL CH340 (COM25), versión 1.2.03.4"},
           kBadRelease})},

    {"a device with a problem comes before a known bad driver",
     Troubled({{"USB Serial Port", DeviceClass::Ports, 10, kFtdiId}},
              {WithDriver(Adapter("COM25", "CH340 (COM25)"), "Acme Serial", "1.2.3.4")}),
     {},
     Join({{"Causa más probable: dispositivo con problema (código 10):", "  USB Serial Port"},
           kReplug})},

    // 4. The check found an adapter's driver failing.
    {"an adapter's port whose driver fails", Ports({Adapter("COM4", "USB Serial Port (COM4)")}),
     Found({{4, PortState::DriverFails, 31}}),
     Join({{"Causa más probable: falla el driver de este adaptador:",
            "  COM4: USB Serial Port (COM4)"},
           kReplug})},

    {"a known bad driver comes before a driver that fails",
     Ports({Adapter("COM4", "A (COM4)"),
            WithDriver(Adapter("COM6", "B (COM6)"), "Acme Serial", "1.2.3.4")}),
     Found({{4, PortState::DriverFails, 998}, {6, PortState::Free}}),
     Join({{"Causa más probable: este puerto tiene un driver que falla:",
            "  COM6: B (COM6), versión 1.2.3.4"},
           kBadRelease})},

    // 5. An adapter the scan did not try.
    {"an adapter on a port the scan did not try",
     Ports({BuiltIn("COM1"), Adapter("COM25", "USB Serial Port (COM25)"),
            Adapter("COM23", "USB Serial Port (COM23)")}),
     Found({{1, PortState::Free}}),
     {"Causa más probable: el escaneo no prueba estos adaptadores:",
      "  COM23: USB Serial Port (COM23); COM25: USB Serial Port (COM25)",
      "Dale otro número siguiendo los pasos de abajo."}},

    {"a driver that fails comes before an adapter not scanned",
     Ports({Adapter("COM4", "A (COM4)"), Adapter("COM25", "B (COM25)")}),
     Found({{4, PortState::DriverFails, 31}}),
     Join({{"Causa más probable: falla el driver de este adaptador:", "  COM4: A (COM4)"},
           kReplug})},

    // 6. An adapter that is free, and no unit answered through it.
    {"an adapter's port that is free, before a port of the PC's own in use",
     Ports({BuiltIn("COM1"), Adapter("COM4", "USB Serial Port (COM4)")}),
     Found({{1, PortState::InUse, 5}, {4, PortState::Free}}),
     Join({{"Causa más probable: la unidad no responde por este adaptador:",
            "  COM4: USB Serial Port (COM4)"},
           kAdapterFree})},

    {"an adapter not scanned comes before a free one",
     Ports({Adapter("COM4", "A (COM4)"), Adapter("COM25", "B (COM25)")}),
     Found({{4, PortState::Free}}),
     {"Causa más probable: el escaneo no prueba este adaptador:", "  COM25: B (COM25)",
      "Dale otro número siguiendo los pasos de abajo."}},

    {"a scan that went further tried COM22: its adapter was checked",
     Ports({Adapter("COM22", "USB Serial Port (COM22)")}), Found({{22, PortState::Free}}),
     Join({{"Causa más probable: la unidad no responde por este adaptador:",
            "  COM22: USB Serial Port (COM22)"},
           kAdapterFree}),
     23},

    {"an open given up for no answer is no free port",
     Ports({Adapter("COM4", "USB Serial Port (COM4)")}), Found({{4, PortState::NoAnswer, 0}}),
     kNoCause},

    // 7. A port of the PC's own in use.
    {"built-in ports in use, one only in the device map",
     Ports({BuiltIn("COM1"), Mapped("COM2"),
            Device("COM3", "PCI Serial", kFtdi, PortDevice::Port, "PCI\\VEN_9710&DEV_9865\\4")}),
     Found({{1, PortState::InUse, 5}, {2, PortState::InUse, 32}, {3, PortState::InUse, 32}}),
     {"Causa más probable: otros programas usan puertos de la PC:",
      "  COM1: Puerto de comunicaciones (COM1); COM2",
      "Cierra los programas que puedan usarlos, primero Velmaris,",
      "y vuelve a ejecutar este diagnóstico. Si siguen en uso,", "reinicia Windows."}},

    // 8. Neither an adapter nor a device with a problem.
    {"nothing at all", {}, {}, kNothingSeen},

    {"only the PC's own ports, free", Ports({BuiltIn("COM1"), Mapped("COM2")}),
     Found({{1, PortState::Free}, {2, PortState::Free}}), kNothingSeen},

    // 9. Nothing stands out.
    {"an adapter that is gone since Windows listed it",
     Ports({Adapter("COM4", "USB Serial Port (COM4)")}), Found({{4, PortState::Gone, 2}}),
     kNoCause},

    {"a device without class that is no USB device has a problem",
     Troubled({{"Controlador PCI", DeviceClass::NoClass, 28, "PCI\\VEN_8086&DEV_1C3A\\3"}}),
     {},
     kNoCause},

    // Bluetooth links never decide.
    {"a Bluetooth port, even reported in use, and a Bluetooth device with a problem",
     Troubled({{"Vínculo serie", DeviceClass::Ports, 10, kBluetoothId}}, {Bluetooth("COM7")}),
     Found({{7, PortState::InUse, 32}}), kNothingSeen},

    {"a Bluetooth port whose driver is a known bad release",
     Ports({WithDriver(Bluetooth("COM7"), "Acme Serial", "1.2.3.4")}), Found({}), kNothingSeen},

    // A reading the deciding rule needs has failed.
    {"without the Ports class, no adapter can be told",
     Unread(Ports({Mapped("COM4")}), {DeviceFact::PortDevices}),
     Found({{4, PortState::InUse, 5}}),
     {kCannotDecide, "  No se pudo leer las clases Puertos (COM y LPT) y Módems.", kListsBelow}},

    {"a port in use whose instance id was not read might be an adapter",
     Troubled({{"FT232R USB UART", DeviceClass::NoClass, 28, kUsbDeviceId}},
              {WithUnread(Device("COM8", "Puerto (COM8)"), DeviceFact::DeviceInstance)}),
     Found({{8, PortState::InUse, 32}}),
     {kCannotDecide, "  COM8: no se pudo leer su identificador de dispositivo.", kListsBelow}},

    {"an adapter the check did not reach in time",
     Ports({Adapter("COM3", "A (COM3)"), Adapter("COM8", "B (COM8)")}),
     Found({{3, PortState::NoAnswer, 0}, {8, PortState::NotChecked, 0}}),
     {kCannotDecide, "  COM8 sin comprobar: se acabó el tiempo de la comprobación.", kListsBelow}},

    {"a check that could not be made, with more reasons than are named",
     Ports({Adapter("COM1", "A"), Adapter("COM2", "B"), Adapter("COM3", "C"), Adapter("COM4", "D"),
            Adapter("COM5", "E")}),
     {{}, false},
     {kCannotDecide, "  COM1 sin comprobar: no se pudo hacer la comprobación.",
      "  COM2 sin comprobar: no se pudo hacer la comprobación.",
      "  COM3 sin comprobar: no se pudo hacer la comprobación.", "  Y 2 motivos más.",
      kListsBelow}},

    {"a check that Windows kept from starting says why",
     Ports({Adapter("COM4", "D")}),
     {{}, false, 1450},
     {kCannotDecide,
      "  COM4 sin comprobar: no se pudo hacer la comprobación: Error 1450 de Windows.",
      kListsBelow}},

    {"a port whose name was not read may have been tried",
     Ports({WithUnread(Adapter("", "Adaptador misterioso"), DeviceFact::PortName)}),
     {},
     {kCannotDecide, "  Adaptador misterioso: no se pudo leer su nombre de puerto.", kListsBelow}},

    {"a device list not read leaves devices with a problem unknown",
     Unread(Ports({Adapter("COM25", "USB (COM25)")}),
            {DeviceFact::DeviceStatus, DeviceFact::DeviceStatus}),
     {},
     {kCannotDecide, "  No se pudo leer el estado de 2 dispositivos.", kListsBelow}},

    {"a driver version not read might be a known bad one",
     Ports({WithUnread(Adapter("COM25", "USB (COM25)"), DeviceFact::DriverVersion)}),
     {},
     {kCannotDecide, "  COM25: no se pudo leer la versión de su driver.", kListsBelow}},

    {"without the device map, a port of the PC's own might be in use",
     Unread(Ports({BuiltIn("COM1")}), {DeviceFact::PortMap}),
     Found({{1, PortState::Free}}),
     {kCannotDecide, "  No se pudo leer el mapa de puertos del registro.", kListsBelow}},

    {"a failure that no rule up to the deciding one needs is no matter",
     Unread(Troubled({{"", DeviceClass::Usb, 28, {}, {WindowsError(DeviceFact::FriendlyName, 5)}}},
                     {WithUnread(Adapter("COM8", "USB (COM8)"), DeviceFact::DriverDate)}),
            {DeviceFact::AbsentPorts}),
     Found({{8, PortState::InUse, 32}}),
     Join({{"Causa más probable: otro programa usa este puerto:", "  COM8: USB (COM8)"},
           kAdapterInUse})},

    {"a certain match decides despite a list a later rule needs",
     Unread(Ports({Adapter("COM8", "USB (COM8)")}), {DeviceFact::DeviceList}),
     Found({{8, PortState::InUse, 32}}),
     Join({{"Causa más probable: otro programa usa este puerto:", "  COM8: USB (COM8)"},
           kAdapterInUse})},
};

TEST(Verdict, NamesTheFirstCauseThatApplies) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    const Lines verdict = Verdict(row.devices, row.firstPortNotTried, row.checks, kBadReleases);
    EXPECT_THAT(verdict, ElementsAreArray(row.expected));
    EXPECT_GE(verdict.size(), 2u);
    EXPECT_LE(verdict.size(), 6u);
  }
}

TEST(Verdict, KnownBadReleasesMatchByProviderWithoutCaseAndVersionAsFourNumbers) {
  const struct {
    DriverFacts driver;
    bool bad;
  } rows[] = {
      {{true, "acme serial", "1.2.3.4", ""}, true},
      {{true, "Acme Serial", "01.2.3.04", ""}, true},
      {{true, "Acme Serial", "1.2.3.4.0", ""}, false},
      {{true, "Acme Serial", "1.2.3", ""}, false},
      {{true, "Acme Serial", "1.2.3.4 ", ""}, false},
      {{true, "Acme", "1.2.3.4", ""}, false},
      {{false, "Acme Serial", "1.2.3.4", ""}, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.driver.provider + " " + row.driver.version);
    EXPECT_EQ(IsKnownBad(row.driver, kBadReleases), row.bad);
  }
  // The releases this program warns of.
  EXPECT_TRUE(IsKnownBad({true, "WCH.CN", "3.8.2023.02", ""}, KnownBadDrivers()));
  EXPECT_TRUE(IsKnownBad({true, "wch.cn", "3.9.2024.9", ""}, KnownBadDrivers()));
  EXPECT_FALSE(IsKnownBad({true, "wch.cn", "3.8.2023.3", ""}, KnownBadDrivers()));
}

TEST(PortStateOfOpen, EachWindowsErrorTheCheckNames) {
  const struct {
    uint32_t error;
    PortState state;
  } rows[] = {
      {0, PortState::Free},         {5, PortState::InUse},         {32, PortState::InUse},
      {33, PortState::InUse},       {2, PortState::Gone},          {3, PortState::Gone},
      {433, PortState::Gone},       {1167, PortState::Gone},       {121, PortState::NoAnswer},
      {31, PortState::DriverFails}, {998, PortState::DriverFails}, {87, PortState::Error},
      {1450, PortState::Error},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.error);
    EXPECT_EQ(PortStateOfOpen(row.error), row.state);
  }
}

TEST(PortsToCheck, ThePortsTheScanTriedThatWindowsHasEachOnceLowestFirst) {
  const struct {
    const char* what;
    std::vector<SerialPort> ports;
    int16_t firstPortNotTried;
    std::vector<int16_t> checked;
  } rows[] = {
      {"from both sources, named in any case, each once; no Bluetooth, printer or other name",
       {Mapped("COM21"), Adapter("COM8", "USB (COM8)"), Mapped("com3"), Mapped("COM8"),
        Mapped("COM03"), Bluetooth("COM7"), Mapped("LPT1"), Mapped("CNCA0"), Mapped("COM22"),
        Mapped("COM1")},
       kAfterCom21,
       {1, 3, 8, 21}},
      {"a scan that ended early tried fewer", {Mapped("COM1"), Mapped("COM5")}, 5, {1}},
      {"a scan that tried no COM port", {Mapped("COM1")}, 1, {}},
      {"a port whose name was not read",
       {WithUnread(Device("", "X"), DeviceFact::PortName)},
       kAfterCom21,
       {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    WindowsDevices devices;
    devices.ports = row.ports;
    EXPECT_THAT(PortsToCheck(devices, row.firstPortNotTried), ElementsAreArray(row.checked));
  }
}

}  // namespace
}  // namespace velmaris

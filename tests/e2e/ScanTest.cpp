// The scan on real one-second ticks: the real exe, the simulated component, a Wine version each.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "AppUnderTest.h"
#include "diagnosis/DownloadsPage.h"

namespace velmaris::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

std::vector<std::string> After(const std::vector<std::string>& lines, size_t count) {
  return {lines.begin() + static_cast<std::ptrdiff_t>(std::min(count, lines.size())), lines.end()};
}

// The operation of each component call in the log ("put PortNumber", "get LinkOpen" ...).
std::vector<std::string> OperationNames(const std::vector<std::string>& log) {
  std::vector<std::string> names;
  for (const std::string& entry : test::Operations(log)) {
    names.push_back(entry.substr(0, entry.find(' ', entry.find(' ') + 1)));
  }
  return names;
}

std::vector<std::string> PortsWritten(const std::vector<std::string>& log) {
  std::vector<std::string> ports;
  for (const std::string& entry : log) {
    if (entry.rfind("put PortNumber", 0) != 0) continue;
    const size_t value = entry.find("value=") + 6;
    ports.push_back(entry.substr(value, entry.find(' ', value) - value));
  }
  return ports;
}

constexpr size_t kHeadLines = 4;

const std::vector<std::string> kWindowsHeading = {
    "================================", "LO QUE WINDOWS VE EN ESTE EQUIPO",
    "================================"};
const char* const kDevicesHeading =
    "Dispositivos con problemas (puertos, módems, USB o sin clase):";

// Serial ports and their devices in the prefix while this object lives, as drivers would add
// them: a name in the device map, or a device of the Ports class with its port name, friendly
// name and driver key. The prefix is the whole run's: the tests that add ports take turns.
class PrefixPorts {
 public:
  struct Device {
    const wchar_t* instance;      // the device's instance id, below Enum
    const wchar_t* port;          // its port name
    const wchar_t* friendlyName;  // nullptr: there, with no text at all, not even its null
    const wchar_t* provider;      // nullptr: no driver key
    const wchar_t* version = L"";
    const wchar_t* date = L"";  // as Windows stores it: M-D-YYYY
  };

  PrefixPorts(std::initializer_list<const wchar_t*> mapped, std::initializer_list<Device> devices) {
    for (const wchar_t* port : mapped) {
      SetText(kPortMap, (std::wstring(L"\\Device\\VelmarisTest") + port).c_str(), port);
    }
    for (const Device& device : devices) {
      const std::wstring key = std::wstring(kEnum) + L"\\" + device.instance;
      SetText(key, L"ClassGUID", kPortsClass);
      if (device.friendlyName != nullptr) {
        SetText(key, L"FriendlyName", device.friendlyName);
      } else {
        SetValue(key, L"FriendlyName", nullptr, 0);
      }
      SetText(key + L"\\Device Parameters", L"PortName", device.port);
      if (device.provider == nullptr) continue;
      const std::wstring driver = std::wstring(kPortsClass) + L"\\" + device.port;
      SetText(key, L"Driver", driver);
      const std::wstring driverKey = std::wstring(kClasses) + L"\\" + driver;
      SetText(driverKey, L"ProviderName", device.provider);
      SetText(driverKey, L"DriverVersion", device.version);
      SetText(driverKey, L"DriverDate", device.date);
    }
  }
  ~PrefixPorts() {
    for (const auto& [path, name] : values_) {
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key) ==
          ERROR_SUCCESS) {
        RegDeleteValueW(key, name.c_str());
        RegCloseKey(key);
      }
    }
    for (auto key = created_.rbegin(); key != created_.rend(); ++key) {
      RegDeleteKeyW(HKEY_LOCAL_MACHINE, key->c_str());
    }
  }
  PrefixPorts(const PrefixPorts&) = delete;
  PrefixPorts& operator=(const PrefixPorts&) = delete;

 private:
  static constexpr const wchar_t* kPortMap = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
  static constexpr const wchar_t* kEnum = L"System\\CurrentControlSet\\Enum";
  static constexpr const wchar_t* kClasses = L"System\\CurrentControlSet\\Control\\Class";
  static constexpr const wchar_t* kPortsClass = L"{4D36E978-E325-11CE-BFC1-08002BE10318}";

  // Sets a text value, creating the keys on its path that are not there yet; the destructor
  // removes the value and those keys, the deepest first.
  void SetText(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    SetValue(path, name, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  void SetValue(const std::wstring& path, const wchar_t* name, const wchar_t* text, DWORD bytes) {
    for (size_t end = path.find(L'\\');; end = path.find(L'\\', end + 1)) {
      const std::wstring part = path.substr(0, end);
      HKEY key = nullptr;
      DWORD disposition = 0;
      ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, part.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &key, &disposition),
                ERROR_SUCCESS);
      if (disposition == REG_CREATED_NEW_KEY) created_.push_back(part);
      if (end == std::wstring::npos) {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
        values_.push_back({path, name});
      }
      RegCloseKey(key);
      if (end == std::wstring::npos) break;
    }
  }

  std::vector<std::wstring> created_;
  std::vector<std::pair<std::wstring, std::wstring>> values_;
};

TEST(Scan, FindsTheUnitOnCom3InTheFifthTickAndThenOnlyWatchesTheLink) {
  AppUnderTest app({"com3-unit", "win7"});
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(app.WaitUntil([&] { return Text(app.StatusBox()) == L"CONECTADO"; }, 20000))
      << Utf8(Text(app.StatusBox()));
  ASSERT_TRUE(app.WaitUntil(
      [&] { return IsWindowVisible(app.Button(L"Reparar Prescalers 1:1")) != FALSE; }, 5000));
  EXPECT_FALSE(IsWindowVisible(app.Button(L"Detectar Acc")));

  EXPECT_THAT(
      After(Lines(Text(app.ReportPane())), kHeadLines),
      ElementsAre("Código de Modelo: 19", "Nombre del Modelo: Nexo 2013/14", "Número de Serie: 12C",
                  "Versión de Firmware: 3.10", "Prescaler RPM1: 1", "Prescaler RPM2: 1",
                  "===========================", "COMPATIBILIDAD DEL SOFTWARE",
                  "===========================", "Esta versión de Windows es compatible con las ",
                  "últimas versiones del software Velmaris (año 2022 en adelante) ",
                  "================================", "COMPATIBILIDAD DEL HARDWARE",
                  "================================",
                  "Esta interface es compatible con todos los Windows"));

  // Ticks 1 to 3 fail on USB, COM1 and COM2, tick 4 opens COM3, tick 5 reads the unit.
  const std::vector<std::string> log = app.Log();
  EXPECT_THAT(PortsWritten(log), ElementsAre("0", "1", "2", "3"));
  const std::vector<std::string> startupAndTicks = OperationNames(log);
  const std::vector<std::string> expected = {
      "put LinkOpen", "put LinkParameter", "put LinkOpen",                     // start-up
      "get LinkOpen", "put PortNumber",    "put LinkOpen",  "get LinkOpen",    // 1: USB
      "get LinkOpen", "put PortNumber",    "put LinkOpen",  "get LinkOpen",    // 2: COM1
      "get LinkOpen", "put PortNumber",    "put LinkOpen",  "get LinkOpen",    // 3: COM2
      "get LinkOpen", "put PortNumber",    "put LinkOpen",  "get LinkOpen",    // 4: COM3 opens
      "get LinkOpen", "get DeviceInfo",    "get Prescaler", "get Prescaler"};  // 5
  ASSERT_GE(startupAndTicks.size(), expected.size()) << app.LogText();
  EXPECT_THAT(
      std::vector<std::string>(startupAndTicks.begin(), startupAndTicks.begin() + expected.size()),
      ElementsAreArray(expected));

  const size_t before = OperationNames(app.Log()).size();
  Sleep(3500);
  const std::vector<std::string> later = After(OperationNames(app.Log()), before);
  EXPECT_GE(later.size(), 2u);
  EXPECT_LE(later.size(), 5u);
  for (const std::string& operation : later) EXPECT_EQ(operation, "get LinkOpen");
  EXPECT_EQ(Lines(Text(app.ReportPane())).size(), kHeadLines + 15) << "the report is written once";
}

TEST(Scan, MaintenanceButtonsMakeExactlyTheirCalls) {
  AppUnderTest app({"koranet-unit", "win10"});
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(
      app.WaitUntil([&] { return IsWindowVisible(app.Button(L"Detectar Acc")) != FALSE; }, 20000));
  const std::vector<std::string> report = Lines(Text(app.ReportPane()));
  EXPECT_THAT(report, ::testing::Contains("==== KORANET ===="));
  EXPECT_THAT(report, ::testing::Contains("Número de Serie: 1234"));
  EXPECT_THAT(report, ::testing::Contains("Prescaler RPM1: 4"));

  size_t before = app.Log().size();
  app.Click(app.Button(L"Reparar Prescalers 1:1"));
  ASSERT_TRUE(app.WaitUntil(
      [&] { return app.LogText().find("call SavePrescalers") != std::string::npos; }, 5000));
  std::vector<std::string> calls;
  for (const std::string& entry : After(app.Log(), before)) {
    if (entry.rfind("get LinkOpen", 0) != 0) calls.push_back(test::WithoutDetail(entry));
  }
  EXPECT_THAT(calls, ElementsAre("put Prescaler index vt=VT_I4 value=0 vt=VT_UI1 value=1",
                                 "put Prescaler index vt=VT_I4 value=1 vt=VT_UI1 value=1",
                                 "call SavePrescalers"));

  before = app.Log().size();
  app.Click(app.Button(L"Detectar Acc"));
  app.Click(app.Button(L"Detectar Acc"));
  ASSERT_TRUE(app.WaitUntil(
      [&] {
        const auto log = After(app.Log(), before);
        return std::count_if(log.begin(), log.end(), [](const std::string& e) {
                 return e.rfind("call ResetAccessories", 0) == 0;
               }) == 2;
      },
      5000));
  EXPECT_EQ(Lines(Text(app.ReportPane())), report) << "the commands write nothing";
  EXPECT_EQ(Text(app.StatusBox()), L"CONECTADO");
}

// Runs the no-unit scan to its end: the advice is written as ever and followed, in the same tick,
// by what Windows sees, whose lines come back in windowsLines.
void ExpectNotDetected(AppUnderTest& app, const std::vector<std::string>& closingBlock,
                       std::vector<std::string>& windowsLines) {
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(app.WaitUntil([&] { return Text(app.StatusBox()) == L"NO DETECTADO"; }, 40000))
      << Utf8(Text(app.StatusBox()));
  std::vector<std::string> advice = {"Se escanearon los puertos USB y COM1 al COM20.",
                                     "No se detectó ningún dispositivo Velmaris.",
                                     "Esto puede deberse a varias razones.",
                                     "* No está conectado a esta PC.",
                                     "* El equipo está apagado o no funciona.",
                                     "* Cable de conexión dañado."};
  advice.insert(advice.end(), closingBlock.begin(), closingBlock.end());
  ASSERT_TRUE(app.WaitUntil(
      [&] {
        const std::vector<std::string> lines = Lines(Text(app.ReportPane()));
        return std::find(lines.begin(), lines.end(), kDevicesHeading) != lines.end();
      },
      5000))
      << Utf8(Text(app.ReportPane()));

  std::vector<std::string> ports;
  for (int port = 0; port <= 21; ++port) ports.push_back(std::to_string(port));
  EXPECT_THAT(PortsWritten(app.Log()), ElementsAreArray(ports));
  const size_t calls = OperationNames(app.Log()).size();
  Sleep(2500);
  EXPECT_EQ(OperationNames(app.Log()).size(), calls) << "no tick after the advice";
  EXPECT_FALSE(IsWindowVisible(app.Button(L"Reparar Prescalers 1:1")));

  const std::vector<std::string> report = After(Lines(Text(app.ReportPane())), kHeadLines);
  ASSERT_GT(report.size(), advice.size() + kWindowsHeading.size());
  EXPECT_THAT(std::vector<std::string>(report.begin(), report.begin() + advice.size()),
              ElementsAreArray(advice));
  windowsLines = After(report, advice.size());
  EXPECT_THAT(std::vector<std::string>(windowsLines.begin(), windowsLines.begin() + 3),
              ElementsAreArray(kWindowsHeading));
}

// Another program's open of a serial port, unshared, for as long as this object lives.
class HeldPort {
 public:
  explicit HeldPort(const wchar_t* device)
      : handle_(CreateFileW(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr)) {}
  ~HeldPort() {
    if (held()) CloseHandle(handle_);
  }
  HeldPort(const HeldPort&) = delete;
  HeldPort& operator=(const HeldPort&) = delete;
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

// The lines from the one that begins a port's entry, at most `count`.
std::vector<std::string> Entry(const std::vector<std::string>& lines, const std::string& first,
                               size_t count) {
  const auto at = std::find(lines.begin(), lines.end(), first);
  EXPECT_NE(at, lines.end()) << first << "\n" << ::testing::PrintToString(lines);
  return {at, at + std::min<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(count), lines.end() - at)};
}

// The verdict stands right below the section's heading.
std::vector<std::string> Verdict(const std::vector<std::string>& windowsLines, size_t count) {
  const std::vector<std::string> below = After(windowsLines, kWindowsHeading.size());
  return {below.begin(),
          below.begin() + static_cast<std::ptrdiff_t>(std::min(count, below.size()))};
}

TEST(Scan, NoUnitAtLevelEightEndsWithTheOldUsbUnitsNoteAndWhatWindowsSees) {
  // COM1 (Wine's own) and COM8 are plain files of the prefix (the test's COM links); COM5 is in
  // the device map only and opens nothing; COM7 is a Bluetooth link of Windows' own stack, with
  // a friendly name that is there but empty; COM8 is a USB adapter that another program holds;
  // COM23 lies beyond the scan.
  const PrefixPorts ports({L"COM5", L"COM23"},
                          {{L"VELMARIS_TEST\\PORT\\0023", L"COM23",
                            L"Adaptador USB a serie (COM23)", L"FTDI", L"2.12.28.0", L"8-30-2017"},
                           {L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_VELMARIS\\7&0&0_0007",
                            L"COM7", nullptr, nullptr},
                           {L"FTDIBUS\\VID_0403+PID_6001+VELMARIS8A\\0000", L"COM8",
                            L"USB Serial Port (COM8)", L"FTDI", L"2.12.36.4", L"3-1-2021"}});
  const HeldPort heldByAnotherProgram(L"\\\\.\\COM8");
  ASSERT_TRUE(heldByAnotherProgram.held()) << GetLastError();
  AppUnderTest app({"no-unit", "win10"});
  std::vector<std::string> windowsLines;
  ExpectNotDetected(app,
                    {"* En esta versión de Windows no son compatibles algunas electrónicas del ",
                     "  año 2017 o anteriores que tienen conexión USB"},
                    windowsLines);

  EXPECT_THAT(Verdict(windowsLines, 5),
              ElementsAre("Causa más probable: otro programa usa este puerto:",
                          "  COM8: USB Serial Port (COM8)",
                          "Cierra los programas que puedan usarlo, primero Velmaris,",
                          "y vuelve a ejecutar este diagnóstico. Si sigue en uso,",
                          "desconecta el adaptador diez segundos o reinicia Windows."));
  EXPECT_EQ(Entry(windowsLines, "* COM1: sin nombre descriptivo", 3).back(),
            "  Comprobación: libre, ningún programa lo usa.");
  EXPECT_THAT(Entry(windowsLines, "* COM5: sin nombre descriptivo", 3),
              ElementsAre("* COM5: sin nombre descriptivo",
                          "  Solo está en el mapa de puertos: no tiene dispositivo.",
                          "  Comprobación: ya no está desde que Windows lo listó."));
  // An empty name is no failed reading; a Bluetooth link is not opened.
  EXPECT_THAT(Entry(windowsLines, "* COM7: sin nombre descriptivo", 5),
              ElementsAre("* COM7: sin nombre descriptivo", "  No tiene driver instalado.",
                          "  Es un puerto Bluetooth: al abrirlo se espera el enlace de radio,",
                          "  lo que puede hacer lento el escaneo.",
                          "  Por eso no se comprobó si otro programa lo usa."));
  EXPECT_THAT(Entry(windowsLines, "* COM8: USB Serial Port (COM8)", 3),
              ElementsAre("* COM8: USB Serial Port (COM8)",
                          "  Driver: FTDI, versión 2.12.36.4, fecha 2021-03-01.",
                          "  Comprobación: en uso por otro programa."));
  EXPECT_THAT(Entry(windowsLines, "* COM23: Adaptador USB a serie (COM23)", 3),
              ElementsAre("* COM23: Adaptador USB a serie (COM23)",
                          "  Driver: FTDI, versión 2.12.28.0, fecha 2017-08-30.",
                          "  COM23 no se escaneó."));
  EXPECT_THAT(windowsLines,
              ::testing::Contains("* Para que se escanee, dale un número del COM1 al COM20:"));
  EXPECT_THAT(windowsLines, ::testing::Contains(kDevicesHeading));

  EmptyTheClipboard();
  const std::wstring copied = app.CopyReport();
  ASSERT_FALSE(copied.empty());
  EXPECT_EQ(copied, Text(app.ReportPane()));
  EXPECT_EQ(Lines(copied).back(), windowsLines.back());
}

TEST(Scan, NoUnitOnWindowsXpEndsWithTheDriverNote) {
  // A USB adapter that Windows numbered beyond the scan, and nothing held.
  const PrefixPorts ports(
      {}, {{L"USB\\VID_1A86&PID_7523\\5&1A2B3C&0&2", L"COM25", L"USB-SERIAL CH340 (COM25)",
            L"wch.cn", L"3.4.2014.8", L"1-30-2019"}});
  const std::string downloads = kDownloadsPage;
  AppUnderTest app({"no-unit", "winxp"});
  std::vector<std::string> windowsLines;
  ExpectNotDetected(
      app,
      {"* En esta versión de Windows las electrónicas del año 2017 o anteriores",
       "  requieren la instalación de un controlador (driver). ",
       "  Puede descargarse de la página de descargas de software en " + downloads,
       "  Luego de instalar el driver exitosamente, vuelve a ejecutar este diagnóstico."},
      windowsLines);
  EXPECT_THAT(Verdict(windowsLines, 3),
              ElementsAre("Causa más probable: el escaneo no prueba este adaptador:",
                          "  COM25: USB-SERIAL CH340 (COM25)",
                          "Dale otro número siguiendo los pasos de abajo."));
  EXPECT_EQ(Entry(windowsLines, "* COM25: USB-SERIAL CH340 (COM25)", 3).back(),
            "  COM25 no se escaneó.");
  // The installed component closes the section, so support sees which release it is.
  EXPECT_EQ(windowsLines.back(),
            "Componente de adquisición: " + Utf8(test::PathFromEnvironment(L"QELSIM_DLL")) +
                ", versión " + test::RequiredEnvironment("QELSIM_VERSION") + ".");
}

}  // namespace
}  // namespace velmaris::e2e

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

std::vector<std::string> Lines(const std::wstring& text) {
  std::vector<std::string> lines;
  const std::string utf8 = Utf8(text);
  size_t start = 0;
  for (size_t end; (end = utf8.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(utf8.substr(start, end - start));
  }
  lines.push_back(utf8.substr(start));
  return lines;
}

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

// Serial ports in the prefix while this object lives, as drivers would add them: COM5 in the
// device map only; COM23 of a USB-to-serial adapter in the device map and, with its friendly name
// and its driver's key, as a device of the Ports class; and COM7, a Bluetooth link of Windows'
// own stack, as a device without a driver key and with an empty friendly name.
class ExtraSerialPorts {
 public:
  ExtraSerialPorts() {
    SetText(kPortMap, L"\\Device\\VelmarisTest5", L"COM5");
    SetText(kPortMap, L"\\Device\\VelmarisTest23", L"COM23");
    const std::wstring adapter = std::wstring(kEnum) + L"\\VELMARIS_TEST\\PORT\\0023";
    SetText(adapter, L"ClassGUID", kPortsClass);
    SetText(adapter, L"FriendlyName", L"Adaptador USB a serie (COM23)");
    SetText(adapter, L"Driver", std::wstring(kPortsClass) + L"\\0023");
    SetText(adapter + L"\\Device Parameters", L"PortName", L"COM23");
    const std::wstring driver = std::wstring(kClasses) + L"\\" + kPortsClass + L"\\0023";
    SetText(driver, L"ProviderName", L"FTDI");
    SetText(driver, L"DriverVersion", L"2.12.28.0");
    SetText(driver, L"DriverDate", L"8-30-2017");  // as Windows stores it: M-D-YYYY
    const std::wstring bluetooth =
        std::wstring(kEnum) +
        L"\\BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_VELMARIS\\7&0&0_0007";
    SetText(bluetooth, L"ClassGUID", kPortsClass);
    // A name that is there with no text at all, not even its terminating null.
    SetValue(bluetooth, L"FriendlyName", nullptr, 0);
    SetText(bluetooth + L"\\Device Parameters", L"PortName", L"COM7");
  }
  ~ExtraSerialPorts() {
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
  ExtraSerialPorts(const ExtraSerialPorts&) = delete;
  ExtraSerialPorts& operator=(const ExtraSerialPorts&) = delete;

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

TEST(Scan, NoUnitAtLevelEightEndsWithTheOldUsbUnitsNoteAndWhatWindowsSees) {
  const ExtraSerialPorts extraPorts;
  AppUnderTest app({"no-unit", "win10"});
  std::vector<std::string> windowsLines;
  ExpectNotDetected(app,
                    {"* En esta versión de Windows no son compatibles algunas electrónicas del ",
                     "  año 2017 o anteriores que tienen conexión USB"},
                    windowsLines);
  // COM5 was tried and has no friendly name, nor a device; COM23 was not tried, and its driver is
  // named; COM7 is a Bluetooth link whose empty name is no failed reading. Wine's few devices
  // report no problem, or their reading fails: either way the section ends with the devices part.
  const auto Following = [&](const std::string& line, size_t count) {
    const auto at = std::find(windowsLines.begin(), windowsLines.end(), line);
    EXPECT_NE(at, windowsLines.end()) << line << "\n" << ::testing::PrintToString(windowsLines);
    const auto end = at + std::min<std::ptrdiff_t>(count, windowsLines.end() - at);
    return std::vector<std::string>(at, end);
  };
  EXPECT_THAT(Following("* COM5: sin nombre descriptivo", 2),
              ElementsAre("* COM5: sin nombre descriptivo",
                          "  Solo está en el mapa de puertos: no tiene dispositivo."));
  EXPECT_THAT(Following("* COM7: sin nombre descriptivo", 4),
              ElementsAre("* COM7: sin nombre descriptivo", "  No tiene driver instalado.",
                          "  Es un puerto Bluetooth: al abrirlo se espera el enlace de radio,",
                          "  lo que puede hacer lento el escaneo."));
  EXPECT_THAT(Following("* COM23: Adaptador USB a serie (COM23)", 3),
              ElementsAre("* COM23: Adaptador USB a serie (COM23)",
                          "  Driver: FTDI, versión 2.12.28.0, fecha 2017-08-30.",
                          "  COM23 no se escaneó."));
  EXPECT_THAT(windowsLines,
              ::testing::Contains("* Para que se escanee, dale un número del COM1 al COM20:"));
  EXPECT_THAT(windowsLines, ::testing::Contains(kDevicesHeading));

  EmptyTheClipboard();
  app.Click(app.Button(L"Copiar Informe"));
  std::wstring copied;
  ASSERT_TRUE(app.WaitUntil([&] { return !(copied = ClipboardText()).empty(); }, 10000));
  EXPECT_EQ(copied, Text(app.ReportPane()));
  EXPECT_EQ(Lines(copied).back(), windowsLines.back());
}

TEST(Scan, NoUnitOnWindowsXpEndsWithTheDriverNote) {
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
}

}  // namespace
}  // namespace velmaris::e2e

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Fakes.h"
#include "FormFixture.h"
#include "WindowsDevicesFacts.h"
#include "app/frmQel.h"
#include "diagnosis/DownloadsPage.h"
#include "diagnosis/WindowsDevicesSection.h"

namespace velmaris {
namespace {

using fakes::IdentificationArray;
using fakes::ReportLines;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr uint32_t kRed = 0x0000FF;
constexpr uint32_t kGreen = 0x008000;
using fakes::kHeadLines;
constexpr int kTickLimit = 200;

struct TickState {
  std::string status;
  uint32_t colour;
  std::string portTried;  // the port the tick wrote to PortNumber, "" when it wrote none
};

// The ports written to PortNumber, in order, from a call log.
std::vector<std::string> PortNumbersIn(const std::vector<std::string>& calls) {
  std::vector<std::string> ports;
  for (const std::string& call : calls) {
    if (call.rfind("PortNumber=", 0) == 0) ports.push_back(call.substr(11));
  }
  return ports;
}

struct PortScan : fakes::FormTest {
  std::vector<TickState> ticks;

  void Tick() {
    const size_t before = control.calls.size();
    form.Timer1_Timer();
    const std::vector<std::string> tried = PortNumbersIn(
        std::vector<std::string>(control.calls.begin() + before, control.calls.end()));
    ticks.push_back({view.status, view.statusColour, tried.empty() ? "" : tried.back()});
  }

  void TickUntilTimerStops() {
    while (view.timerEnabled && ticks.size() < kTickLimit) Tick();
  }

  std::vector<std::string> PortNumbersWritten() const { return PortNumbersIn(control.calls); }

  std::vector<std::string> Appended() const {
    const std::vector<std::string> lines = ReportLines(view.report);
    return {lines.begin() + kHeadLines, lines.end()};
  }

  static Value Unit(int16_t model = 21) {
    return IdentificationArray(Value::integer(model, 16, true), Value::text("3.10"),
                               Value::integer(300, 16, true));
  }
};

const std::vector<std::string> kCauses = {
    "Se escanearon los puertos USB y COM1 al COM20.", "No se detectó ningún dispositivo Velmaris.",
    "Esto puede deberse a varias razones.",           "* No está conectado a esta PC.",
    "* El equipo está apagado o no funciona.",        "* Cable de conexión dañado.",
};

std::vector<std::string> AdviceFor(int16_t level) {
  std::vector<std::string> lines = kCauses;
  if (level > 7) {
    lines.insert(lines.end(),
                 {"* En esta versión de Windows no son compatibles algunas electrónicas del ",
                  "  año 2017 o anteriores que tienen conexión USB"});
  } else {
    lines.insert(lines.end(),
                 {"* En esta versión de Windows las electrónicas del año 2017 o anteriores",
                  "  requieren la instalación de un controlador (driver). ",
                  std::string("  Puede descargarse de la página de descargas de software en ") +
                      kDownloadsPage,
                  "  Luego de instalar el driver exitosamente, vuelve a ejecutar este "
                  "diagnóstico."});
  }
  return lines;
}

// The advice, then what Windows sees, with the scan ended before firstPortNotTried.
std::vector<std::string> NotDetectedReport(int16_t level, const WindowsDevices& devices,
                                           int16_t firstPortNotTried,
                                           const PortChecks& checks = {}) {
  std::vector<std::string> lines = AdviceFor(level);
  const std::vector<std::string> section =
      WindowsDevicesSection(devices, firstPortNotTried, checks);
  lines.insert(lines.end(), section.begin(), section.end());
  lines.push_back(fakes::kInstalledComponentLine);
  return lines;
}

TEST_F(PortScan, NoPortOpensTriesUsbAndCom1ToCom21ThenGivesUp) {
  windowsDevices.ports = {{"COM21", ""}, {"COM22", "USB Serial Port (COM22)"}};
  Load();
  TickUntilTimerStops();
  ASSERT_EQ(ticks.size(), 22u);
  std::vector<std::string> expectedPorts;
  for (int port = 0; port <= 21; ++port) expectedPorts.push_back(std::to_string(port));
  EXPECT_THAT(PortNumbersWritten(), ElementsAreArray(expectedPorts));

  EXPECT_EQ(ticks[0].status, "ESCANEANDO PUERTO USB");
  for (size_t k = 2; k <= 21; ++k) {
    EXPECT_EQ(ticks[k - 1].status, "ESCANEANDO PUERTO COM" + std::to_string(k - 1));
    EXPECT_EQ(ticks[k - 1].portTried, std::to_string(k - 1));
  }
  // COM20's failed open is the first pass beyond the last port, COM21's the second: the end.
  for (const TickState& tick : ticks) EXPECT_EQ(tick.colour, kRed);
  EXPECT_EQ(ticks.back().status, "NO DETECTADO");
  // The last tick reads what Windows sees and checks COM21, which was tried; what Windows sees
  // follows the advice once the check ends. COM22 was not tried.
  EXPECT_THAT(Appended(), ElementsAreArray(AdviceFor(8)));
  EXPECT_THAT(portCheck.started, ElementsAre(ElementsAre(21)));
  portCheck.results = {{21, PortState::Free}};
  const size_t calls = control.calls.size();
  form.Raise(FormEvent::PortCheck_Done);
  EXPECT_THAT(Appended(),
              ElementsAreArray(NotDetectedReport(8, windowsDevices, 22, {portCheck.results})));
  EXPECT_THAT(Appended(), ::testing::Contains("  COM22 no se escaneó."));
  EXPECT_THAT(Appended(), ::testing::Not(::testing::Contains("  COM21 no se escaneó.")));
  EXPECT_EQ(control.calls.size(), calls) << "the check's end calls no component";
  EXPECT_EQ(levelQueries, 2);
  EXPECT_EQ(devicesQueries, 1);
  EXPECT_EQ(ReportLines(reportWhenDevicesAsked).size(), kHeadLines + AdviceFor(8).size())
      << "asked once the advice is written";
  EXPECT_EQ(statusWhenDevicesAsked, "NO DETECTADO");
  EXPECT_FALSE(timerWhenDevicesAsked) << "the scan has ended before Windows is read";
  EXPECT_FALSE(view.timerEnabled);
  // The last tick wrote "ESCANEANDO PUERTO COM21" before the advice replaced it.
  EXPECT_THAT(std::vector<std::string>(control.calls.end() - 4, control.calls.end()),
              ElementsAre("LinkOpen", "PortNumber=21", "LinkOpen=True", "LinkOpen"));
}

TEST_F(PortScan, TheDriverNoteNamesTheDownloadsPage) {
#ifdef VELMARIS_DEFAULT_DOWNLOADS_PAGE
  EXPECT_STREQ(kDownloadsPage, "http://www.velmaris.com.ar/descargas.html");
#else
  GTEST_SKIP() << "this build names a downloads page of its own";
#endif
}

TEST_F(PortScan, AdviceBlockFollowsTheWindowsLevel) {
  for (int16_t windowsLevel : {8, 10, 7, 6, 0}) {
    SCOPED_TRACE(windowsLevel);
    fakes::FakeForm fresh;
    fresh.level = windowsLevel;
    fresh.form.Form_Load();
    for (int tick = 0; tick < kTickLimit && fresh.view.timerEnabled; ++tick) {
      fresh.form.Timer1_Timer();
    }
    EXPECT_THAT(fresh.portCheck.started, ElementsAre(::testing::IsEmpty()))
        << "no port to check: the check's end writes all";
    fresh.form.PortCheck_Done();
    const std::vector<std::string> lines = ReportLines(fresh.view.report);
    EXPECT_THAT(std::vector<std::string>(lines.begin() + kHeadLines, lines.end()),
                ElementsAreArray(NotDetectedReport(windowsLevel, {}, 22)));
    EXPECT_EQ(fresh.levelQueries, 2);
  }
}

TEST_F(PortScan, UnitOnCom3IsConnectedInTickFive) {
  control.openablePorts = {3};
  control.deviceInfo[3] = Unit();
  Load();
  for (int k = 0; k < 10; ++k) Tick();
  EXPECT_EQ(ticks[0].status, "ESCANEANDO PUERTO USB");
  EXPECT_EQ(ticks[1].status, "ESCANEANDO PUERTO COM1");
  EXPECT_EQ(ticks[2].status, "ESCANEANDO PUERTO COM2");
  EXPECT_EQ(ticks[3].status, "ESCANEANDO PUERTO COM2");
  EXPECT_EQ(ticks[3].colour, kRed);
  EXPECT_EQ(ticks[3].portTried, "3");
  for (size_t k = 4; k < ticks.size(); ++k) {
    EXPECT_EQ(ticks[k].status, "CONECTADO");
    EXPECT_EQ(ticks[k].colour, kGreen);
    EXPECT_EQ(ticks[k].portTried, "") << "the scan stays on the unit's port";
  }
  const std::vector<std::string> report = Appended();
  ASSERT_EQ(report.size(), 17u);
  EXPECT_EQ(report[0], "Código de Modelo: 21");
  EXPECT_TRUE(view.timerEnabled);
  EXPECT_TRUE(view.resetVisible);
  EXPECT_TRUE(view.detectVisible);
  EXPECT_EQ(levelQueries, 1);
  EXPECT_EQ(devicesQueries, 0) << "what Windows sees is only for a scan without a unit";
}

TEST_F(PortScan, ConnectedTicksReadOnlyLinkOpen) {
  control.openablePorts = {3};
  control.deviceInfo[3] = Unit();
  Load();
  for (int k = 0; k < 5; ++k) Tick();
  control.calls.clear();
  const std::string report = view.report;
  for (int k = 0; k < 5; ++k) Tick();
  EXPECT_EQ(control.calls, std::vector<std::string>(5, "LinkOpen"));
  EXPECT_EQ(view.report, report);
}

TEST_F(PortScan, SilentCom1DelaysEverythingByOneTick) {
  control.openablePorts = {1, 3};
  control.deviceInfo[3] = Unit();
  Load();
  for (int k = 0; k < 6; ++k) Tick();
  EXPECT_EQ(ticks[1].status, "ESCANEANDO PUERTO USB");
  EXPECT_EQ(ticks[2].status, "ESCANEANDO PUERTO USB");
  EXPECT_EQ(ticks[2].portTried, "") << "the silent COM1 is closed";
  EXPECT_EQ(ticks[3].portTried, "2");
  EXPECT_EQ(ticks[3].status, "ESCANEANDO PUERTO COM2");
  EXPECT_EQ(ticks[4].status, "ESCANEANDO PUERTO COM2");
  EXPECT_EQ(ticks[5].status, "CONECTADO");
  EXPECT_THAT(control.calls,
              ::testing::Contains("LinkOpen=False").Times(1));  // COM1 closed in its 2nd tick
}

// The component may settle on another port and write it back through the by-reference
// argument: the scan goes on from there.
TEST_F(PortScan, APortWrittenBackByTheComponentIsWhereTheScanGoesOn) {
  struct Case {
    int16_t writtenBack;
    const char* status;
    int16_t next;
  } cases[] = {
      {7, "ESCANEANDO PUERTO COM7", 8},
      {-3, "ESCANEANDO PUERTO COM-3", -2},  // below zero is no USB port
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.writtenBack);
    fakes::FakeForm fresh;
    fresh.control.portWriteBack = c.writtenBack;
    fresh.Load();
    fresh.form.Timer1_Timer();
    EXPECT_EQ(fresh.view.status, c.status);
    fresh.control.portWriteBack.reset();
    fresh.form.Timer1_Timer();
    EXPECT_THAT(PortNumbersIn(fresh.control.calls), ElementsAre("0", std::to_string(c.next)));
  }
}

TEST_F(PortScan, SilentPort20MovesTheEndToCom22) {
  control.openablePorts = {20};
  windowsDevices.ports = {{"COM22", ""}, {"COM23", ""}};
  Load();
  TickUntilTimerStops();
  ASSERT_EQ(ticks.size(), 24u);
  EXPECT_EQ(ticks[20].portTried, "20");  // COM20 opened
  EXPECT_EQ(ticks[21].portTried, "");    // and gave nothing: not counted, so COM21's failed
  EXPECT_EQ(ticks[22].status,
            "ESCANEANDO PUERTO COM21");  // open is the first pass, COM22's the last
  EXPECT_EQ(PortNumbersWritten().back(), "22");
  EXPECT_EQ(ticks.back().status, "NO DETECTADO");
  EXPECT_THAT(portCheck.started, ElementsAre(ElementsAre(22)));
  form.Raise(FormEvent::PortCheck_Done);
  EXPECT_THAT(Appended(), ::testing::Contains("  COM23 no se escaneó."));
  EXPECT_THAT(Appended(), ::testing::Not(::testing::Contains("  COM22 no se escaneó.")));
}

TEST_F(PortScan, SilentStartUpPortIsClosedAndUsbNeverTried) {
  control.defaultPort = 99;  // the component's own port, outside the scan
  control.openablePorts = {99};
  view.status = "antes";
  Load();
  Tick();
  EXPECT_THAT(control.calls, ElementsAre("LinkOpen", "DeviceInfo", "LinkOpen=False"));
  EXPECT_EQ(ticks[0].status, "antes");
  TickUntilTimerStops();
  EXPECT_EQ(ticks.size(), 22u);
  EXPECT_THAT(PortNumbersWritten(), ::testing::Not(::testing::Contains("0")));
  EXPECT_EQ(PortNumbersWritten().front(), "1");
  EXPECT_EQ(PortNumbersWritten().back(), "21");
}

TEST_F(PortScan, UnitOnUsbConnectsWithoutAnyScanText) {
  control.openablePorts = {0};
  control.deviceInfo[0] = Unit(19);
  Load();
  Tick();
  EXPECT_EQ(ticks[0].status, "");
  EXPECT_EQ(ticks[0].portTried, "0");
  Tick();
  EXPECT_EQ(ticks[1].status, "CONECTADO");
  EXPECT_EQ(ticks[1].colour, kGreen);
  EXPECT_EQ(Appended().front(), "Código de Modelo: 19");
}

TEST_F(PortScan, OnlyTheExactStatusMarksTheConnectedState) {
  control.openablePorts = {0};
  control.deviceInfo[0] = Unit();
  Load();
  Tick();
  for (const char* status : {"conectado", "CONECTADO ", " CONECTADO", "CONECTADOS"}) {
    view.status = status;
    control.calls.clear();
    Tick();
    EXPECT_THAT(control.calls, ::testing::Contains("DeviceInfo")) << status;
  }
  EXPECT_EQ(ReportLines(view.report).size(), kHeadLines + 4 * 17);
}

TEST_F(PortScan, LeavingConnectedRetriesTheUnitsPort) {
  control.openablePorts = {3};
  control.deviceInfo[3] = Unit();
  Load();
  for (int k = 0; k < 5; ++k) Tick();
  const std::string firstReport = view.report;

  control.open = false;  // the link drops and the port opens again: nothing new
  Tick();
  EXPECT_THAT(PortNumbersWritten().back(), "3");
  Tick();
  EXPECT_EQ(view.status, "CONECTADO");
  EXPECT_EQ(view.report, firstReport);

  control.open = false;  // the link drops for good: the scan resumes past the unit's port
  control.openablePorts = {4};
  control.deviceInfo[4] = Unit(19);
  Tick();
  EXPECT_EQ(view.status, "ESCANEANDO PUERTO COM3");
  EXPECT_EQ(view.statusColour, kRed);
  Tick();
  EXPECT_EQ(ticks.back().portTried, "4");
  Tick();
  EXPECT_EQ(view.status, "CONECTADO");
  const std::vector<std::string> lines = Appended();
  ASSERT_EQ(lines.size(), 17u + 15u);
  EXPECT_EQ(lines[17], "Código de Modelo: 19");
}

// Whatever way the reading fails, the scan has ended as ever, and the section says so.
TEST(PortScanWithoutDevices, AFailingReadingOfWindowsDevicesIsReportedNotRaised) {
  const std::pair<WindowsDevicesReader, const char*> readers[] = {
      {[]() -> WindowsDevices { throw Failure(kToolSource, "sin memoria"); }, "  sin memoria."},
      {[]() -> WindowsDevices { throw 42; }, "  Error del programa."},
      {nullptr, "  bad_function_call."},
  };
  for (const auto& [reader, why] : readers) {
    SCOPED_TRACE(why);
    fakes::FakeView view;
    fakes::FakeControl control;
    fakes::FakePortCheck portCheck;
    fakes::FakeComponentLookup component;
    frmQel form(
        view, control, [] { return int16_t{8}; }, reader, portCheck, component);
    form.Form_Load();
    for (int tick = 0; tick < kTickLimit && view.timerEnabled; ++tick) {
      form.Raise(FormEvent::Timer1_Timer);
    }
    EXPECT_THAT(portCheck.started, ElementsAre(::testing::IsEmpty()))
        << "without the facts no port is known to check";
    form.Raise(FormEvent::PortCheck_Done);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.status, "NO DETECTADO");
    EXPECT_FALSE(view.timerEnabled);
    const std::vector<std::string> lines = ReportLines(view.report);
    // The component is read on its own, and still named.
    EXPECT_THAT(
        std::vector<std::string>(lines.end() - 6, lines.end()),
        ElementsAre("================================", "LO QUE WINDOWS VE EN ESTE EQUIPO",
                    "================================", "* No se pudo leer lo que ve Windows:", why,
                    fakes::kInstalledComponentLine));
  }
}

TEST_F(PortScan, TheChecksEndWritesTheSectionWithTheVerdictFirst) {
  windowsDevices.ports = {fakes::Mapped("COM1"), fakes::Adapter("COM8", "USB Serial Port (COM8)"),
                          fakes::Bluetooth("COM9"), fakes::Adapter("COM25", "USB (COM25)")};
  Load();
  TickUntilTimerStops();
  EXPECT_THAT(portCheck.started, ElementsAre(ElementsAre(1, 8)))
      << "the ports tried, lowest first, but no Bluetooth link";
  EXPECT_THAT(Appended(), ElementsAreArray(AdviceFor(8)));

  portCheck.results = {{1, PortState::Free}, {8, PortState::InUse, 32}};
  form.Raise(FormEvent::PortCheck_Done);
  const std::vector<std::string> expected =
      NotDetectedReport(8, windowsDevices, 22, {portCheck.results});
  const std::vector<std::string> lines = Appended();
  EXPECT_THAT(lines, ElementsAreArray(expected));
  const size_t verdict = AdviceFor(8).size() + 3;  // past the section's heading
  ASSERT_GT(lines.size(), verdict + 1);
  EXPECT_EQ(lines[verdict], "Causa más probable: otro programa usa este puerto:");
  EXPECT_EQ(lines[verdict + 1], "  COM8: USB Serial Port (COM8)");
  EXPECT_THAT(lines, ::testing::Contains("  Comprobación: en uso por otro programa."));

  form.Raise(FormEvent::PortCheck_Done);
  EXPECT_EQ(Appended().size(), expected.size()) << "the section is written once";
}

TEST_F(PortScan, ACheckThatCannotStartLeavesEveryPortUncheckedAndSaysWhy) {
  windowsDevices.ports = {fakes::Mapped("COM1"), fakes::Adapter("COM4", "USB (COM4)")};
  portCheck.failing = Failure(kToolSource, "sin hilo");
  Load();
  TickUntilTimerStops();
  const std::vector<std::string> expected = NotDetectedReport(8, windowsDevices, 22, {{}, false});
  EXPECT_THAT(Appended(), ElementsAreArray(expected)) << "written in the scan's last tick";
  EXPECT_THAT(Appended(),
              ::testing::Contains("  Sin comprobar: no se pudo hacer la comprobación."));
  EXPECT_TRUE(view.messages.empty());
  form.Raise(FormEvent::PortCheck_Done);
  EXPECT_EQ(Appended().size(), expected.size());
}

TEST_F(PortScan, ResultsThatCannotBeReadAreACheckNotMade) {
  windowsDevices.ports = {fakes::Adapter("COM4", "USB (COM4)")};
  Load();
  TickUntilTimerStops();
  portCheck.results = {{4, PortState::Free}};
  portCheck.failingResults = Failure(kToolSource, "sin resultados");
  form.Raise(FormEvent::PortCheck_Done);
  EXPECT_THAT(Appended(),
              ::testing::Contains("  Sin comprobar: no se pudo hacer la comprobación."));
  EXPECT_TRUE(view.messages.empty());
}

// Windows refused a thread or a timer: the ports are unchecked with its error, read here instead.
TEST_F(PortScan, ACheckThatWindowsCannotStartGivesTheSectionItsError) {
  windowsDevices.ports = {fakes::Mapped("COM1"), fakes::Adapter("COM4", "USB (COM4)")};
  portCheck.notStarting = 8;  // ERROR_NOT_ENOUGH_MEMORY
  Load();
  TickUntilTimerStops();
  EXPECT_THAT(Appended(),
              ElementsAreArray(NotDetectedReport(8, windowsDevices, 22, {{}, false, 8})))
      << "written in the scan's last tick";
  EXPECT_EQ(devicesQueries, 1);
  EXPECT_EQ(statusWhenDevicesAsked, "NO DETECTADO");
}

TEST_F(PortScan, AFailingComponentCallEndsTheTickAtThatStep) {
  Load();
  control.failing.emplace("LinkOpen=", Failure("QelCtrlInertial", "no abre"));
  EXPECT_THROW(Tick(), Failure);
  EXPECT_THAT(control.calls, ElementsAre("LinkOpen", "PortNumber=0", "LinkOpen=True failed"));
  EXPECT_EQ(view.status, "");
  control.failing.clear();
  Tick();
  EXPECT_EQ(ticks.back().portTried, "0") << "the failed port is tried again";
}

}  // namespace
}  // namespace velmaris

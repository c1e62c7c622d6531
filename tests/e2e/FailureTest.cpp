// Failures in ticks under Wine: the user is told once, the tool goes on, nothing is lost.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppUnderTest.h"

namespace velmaris::e2e {
namespace {

using ::testing::ElementsAre;

std::wstring AnswerMessage(AppUnderTest& app) {
  const AppUnderTest::Message message = app.AnswerMessage();
  EXPECT_EQ(message.title, test::WindowCaption());
  return message.text;
}

TEST(Failures, AComponentFailingEveryTickIsReportedOnceAndTheToolGoesOn) {
  AppUnderTest app({"failing-deviceinfo"});
  ASSERT_NE(app.WaitForWindow(), nullptr);
  HWND box = app.WaitForMessageBox(15000);
  ASSERT_NE(box, nullptr);
  // While the message is up the timer keeps firing, but no tick runs.
  const size_t readsWhileShown = CountEntries(app.Log(), "get DeviceInfo");
  Sleep(2500);
  EXPECT_EQ(CountEntries(app.Log(), "get DeviceInfo"), readsWhileShown);
  EXPECT_EQ(AnswerMessage(app),
            L"Se produjo un error: Error de comunicación con la interface\r\nOrigen: "
            L"QelCtrlInertial");

  // Later ticks fail the same way, silently.
  ASSERT_TRUE(app.WaitUntil(
      [&] { return CountEntries(app.Log(), "get DeviceInfo") >= readsWhileShown + 3; }, 10000));
  EXPECT_EQ(app.MessageBoxOf(), nullptr);

  ASSERT_EQ(app.CopyReport(), Text(app.ReportPane()));
  EXPECT_TRUE(app.ExitBySalir());
}

TEST(Failures, AComponentFailingWithANewTextEveryTickRaisesAFewBoxesOnly) {
  AppUnderTest app({"changing-failure"});
  ASSERT_NE(app.WaitForWindow(), nullptr);
  for (int box = 1; box <= 3; ++box) {
    EXPECT_EQ(AnswerMessage(app), L"Se produjo un error: Error de comunicación con la interface #" +
                                      std::to_wstring(box) + L"\r\nOrigen: QelCtrlInertial");
  }
  const size_t failures = CountEntries(app.Log(), "get DeviceInfo");
  ASSERT_TRUE(app.WaitUntil(
      [&] { return CountEntries(app.Log(), "get DeviceInfo") >= failures + 4; }, 15000));
  EXPECT_EQ(app.MessageBoxOf(), nullptr) << "later texts differ, and are not shown";
  EXPECT_TRUE(app.ExitBySalir());
}

TEST(Failures, AnUnreadableSerialNumberStopsTheReportAfterTheModelName) {
  AppUnderTest app({"odd-serial-unit"});
  ASSERT_NE(app.WaitForWindow(), nullptr);
  EXPECT_EQ(AnswerMessage(app),
            L"Se produjo un error: No coinciden los tipos\r\nOrigen: VelmarisDiag");
  EXPECT_EQ(Text(app.StatusBox()), L"CONECTADO");
  const std::wstring report = Text(app.ReportPane());
  const size_t head = report.find(L"Código de Modelo:");
  ASSERT_NE(head, std::wstring::npos) << Utf8(report);
  EXPECT_EQ(report.substr(head),
            L"Código de Modelo: 20\r\nNombre del Modelo: Nexo 2013/14 con Sensor");
  EXPECT_FALSE(IsWindowVisible(app.Button(L"Reparar Prescalers 1:1")));
  Sleep(2500);
  EXPECT_EQ(Text(app.ReportPane()), report) << "the connected ticks write nothing more";
}

TEST(Failures, TheScanStopsAtTheLastPortNumberAndSaysWhy) {
  AppUnderTest app({"port-limit"});
  ASSERT_NE(app.WaitForWindow(), nullptr);
  EXPECT_EQ(AnswerMessage(app), L"Se produjo un error: Desbordamiento\r\nOrigen: VelmarisDiag");
  const std::vector<std::string> log = app.Log();
  EXPECT_EQ(CountEntries(log, "put PortNumber"), 1u);
  EXPECT_EQ(test::WithoutDetail(log.back()), "put LinkOpen vt=VT_BOOL value=False");
  const size_t calls = log.size();
  Sleep(2500);
  EXPECT_EQ(app.Log().size(), calls) << "no tick after the last port";
}

}  // namespace
}  // namespace velmaris::e2e

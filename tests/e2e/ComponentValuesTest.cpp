// What the component hands over, however odd, as the user sees it: the firmware element as
// Automation joins it to its label, values that never end, and texts that try to make lines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppUnderTest.h"

namespace velmaris::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The report lines after the head, split at CR LF.
std::vector<std::wstring> WrittenLines(HWND pane) {
  const std::wstring report = Text(pane);
  std::vector<std::wstring> lines;
  size_t start = 0;
  for (size_t end; (end = report.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
    lines.push_back(report.substr(start, end - start));
  lines.push_back(report.substr(start));
  return {lines.begin() + std::min<ptrdiff_t>(4, static_cast<ptrdiff_t>(lines.size())),
          lines.end()};
}

// The whole report of a unit found at start-up, once its last line is written.
std::vector<std::wstring> ReportOf(const char* scenario) {
  AppUnderTest app({scenario, "win7"});
  if (app.WaitForWindow() == nullptr) return {L"(no window)"};
  app.WaitUntil([&] { return IsWindowVisible(app.Button(L"Reparar Prescalers 1:1")) != FALSE; },
                20000);
  return WrittenLines(app.ReportPane());
}

TEST(ComponentValues, TheFirmwareLineIsWhatAutomationJoinsToTheLabel) {
  EXPECT_EQ(ReportOf("double-firmware-unit").at(3), L"Versión de Firmware: 1234567.89123457");
  const std::vector<std::wstring> lines = ReportOf("null-firmware-unit");
  EXPECT_EQ(lines.at(3), L"Versión de Firmware: ");
  EXPECT_EQ(lines.size(), 15u) << "the report goes on to its end";
}

TEST(ComponentValues, AValueReferringBackToItselfIsATypeMismatchAndTheWindowAnswers) {
  AppUnderTest app({"self-referencing-unit"});
  ASSERT_NE(app.WaitForWindow(), nullptr);
  const AppUnderTest::Message message = app.AnswerMessage(20000);
  EXPECT_EQ(message.title, test::WindowCaption());
  EXPECT_EQ(message.text, L"Se produjo un error: No coinciden los tipos\r\nOrigen: VelmarisDiag");
  EXPECT_EQ(Text(app.StatusBox()), L"CONECTADO");
  DWORD_PTR answer = 0;
  EXPECT_NE(SendMessageTimeoutW(app.window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer), 0)
      << "the window answers";
  EXPECT_THAT(WrittenLines(app.ReportPane()), IsEmpty()) << "no identification line";
  EXPECT_EQ(app.CopyReport(), Text(app.ReportPane()));
  EXPECT_TRUE(app.ExitBySalir());
}

TEST(ComponentValues, ComponentTextsMakeNoLinesOfTheirOwn) {
  AppUnderTest app({"hostile-texts-unit"});
  ASSERT_NE(app.WaitForWindow(), nullptr);
  const AppUnderTest::Message message = app.AnswerMessage(20000);
  EXPECT_EQ(message.text, L"Se produjo un error: Puerto¶ocupado¶¶x\r\nOrigen: Qel¶¶Ctrl");
  std::wstring firmware;
  while (firmware.size() < 1000) firmware += L"4.02¶¶Código de Modelo: 99¶¶";
  firmware = L"Versión de Firmware: " + firmware.substr(0, 1000) + L"[…]";
  EXPECT_THAT(WrittenLines(app.ReportPane()),
              ElementsAre(L"Código de Modelo: 19", L"Nombre del Modelo: Nexo 2013/14",
                          L"Número de Serie: 12C", firmware));
}

}  // namespace
}  // namespace velmaris::e2e

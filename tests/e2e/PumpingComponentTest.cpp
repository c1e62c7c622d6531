// A component that lets the window's messages through in the middle of its calls, as one waiting
// on its port with a message loop of its own does: what the user does meanwhile is carried out
// after the call's event, once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "AppUnderTest.h"

namespace velmaris::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// Waits until the component is letting messages through in a LinkOpen read after `from`.
bool WaitForPumpingTick(AppUnderTest& app, size_t from) {
  return app.WaitUntil(
      [&] {
        return app.LogText().find("pumping messages during get LinkOpen", from) !=
               std::string::npos;
      },
      15000);
}

TEST(PumpingComponent, ClicksDuringATicksCallAreCarriedOutAfterTheTickOnce) {
  EmptyTheClipboard();
  AppUnderTest app({"pumping-unit", "win10"});
  ASSERT_NE(app.WaitForWindow(), nullptr);

  // The first tick reads LinkOpen, then finds the unit and writes its report: a copy clicked
  // during that read copies the report the tick wrote, not the head it found.
  ASSERT_TRUE(WaitForPumpingTick(app, 0));
  const std::wstring copied = app.CopyReport(15000);
  ASSERT_FALSE(copied.empty());
  EXPECT_THAT(Utf8(copied), HasSubstr("Nombre del Modelo: Nexo KoraNET"));
  EXPECT_EQ(copied, Text(app.ReportPane()));

  // A maintenance click during a later tick's read makes its calls once, after that read.
  const size_t from = app.LogText().size();
  const size_t entriesBefore = app.Log().size();
  ASSERT_TRUE(WaitForPumpingTick(app, from));
  app.Click(app.Button(L"Reparar Prescalers 1:1"));
  ASSERT_TRUE(app.WaitUntil(
      [&] { return app.LogText().find("call SavePrescalers", from) != std::string::npos; }, 15000));
  Sleep(3000);
  const std::string log = app.LogText().substr(from);
  const size_t pumping = log.find("pumping messages during get LinkOpen");
  EXPECT_LT(log.find("get LinkOpen -> VT_BOOL True", pumping), log.find("put Prescaler")) << log;
  std::vector<std::string> entries = app.Log();
  entries.erase(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(entriesBefore));
  EXPECT_EQ(CountEntries(entries, "put Prescaler"), 2u) << log;
  EXPECT_EQ(CountEntries(entries, "call SavePrescalers"), 1u) << log;
}

// "Salir" during a tick's call closes after the tick; the close box used while the control is
// being deactivated (it lets messages through then too) changes nothing: the program ends once,
// and the control's window is there until the control is done with it.
TEST(PumpingComponent, SalirThenTheCloseBoxDuringTheDeactivationEndTheProgramOnce) {
  AppUnderTest app({"pumping-unit", "win10"});
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(app.WaitUntilShown(15000));
  ASSERT_TRUE(WaitForPumpingTick(app, 0));
  app.Click(app.Button(L"Salir"));
  ASSERT_TRUE(app.WaitUntil(
      [&] {
        return app.LogText().find("pumping messages during InPlaceDeactivate") != std::string::npos;
      },
      15000));
  app.CloseByCloseBox();
  ASSERT_TRUE(app.WaitForExit(15000));

  const std::string log = app.LogText();
  const size_t tickRead = log.find("pumping messages during get LinkOpen");
  EXPECT_LT(log.find("get LinkOpen -> ", tickRead), log.find("InPlaceDeactivate")) << log;
  const std::vector<std::string> entries = app.Log();
  EXPECT_EQ(CountEntries(entries, "InPlaceDeactivate"), 1u) << log;
  EXPECT_EQ(CountEntries(entries, "Close"), 1u) << log;
  EXPECT_EQ(entries.back(), "SetClientSite null") << log;
  EXPECT_THAT(log, Not(HasSubstr("destroyed")));
  EXPECT_THAT(log, Not(HasSubstr("still hands out")));
}

// A quit posted to the program's thread from elsewhere ends it as a close does, whatever its code:
// the control is deactivated (letting messages through, as it does) and closed while the window
// is there, and nothing reaches the component after that.
TEST(PumpingComponent, AQuitFromElsewhereEndsTheProgramAsACloseDoes) {
  AppUnderTest app({"pumping-unit", "win10"});
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(WaitForPumpingTick(app, 0));
  PostThreadMessageW(GetWindowThreadProcessId(app.window(), nullptr), WM_QUIT, 7, 0);
  ASSERT_TRUE(app.WaitForExit(15000));
  EXPECT_EQ(app.ExitCode(), 0u);

  const std::string log = app.LogText();
  const std::vector<std::string> entries = app.Log();
  const auto deactivation = std::find(entries.begin(), entries.end(), "InPlaceDeactivate");
  ASSERT_NE(deactivation, entries.end()) << log;
  EXPECT_EQ(CountEntries(entries, "InPlaceDeactivate"), 1u) << log;
  EXPECT_EQ(CountEntries(entries, "Close"), 1u) << log;
  for (auto after = deactivation; after != entries.end(); ++after) {
    EXPECT_EQ(after->rfind("get ", 0), std::string::npos) << log;
    EXPECT_EQ(after->rfind("put ", 0), std::string::npos) << log;
  }
  EXPECT_EQ(entries.back(), "SetClientSite null") << log;
  EXPECT_THAT(log, Not(HasSubstr("destroyed")));
}

}  // namespace
}  // namespace velmaris::e2e

// The window with the keyboard only, as a user who never takes the mouse: real key strokes from
// this program, the focus read from the program's thread, the report and the clipboard as another
// program sees them. The keys go to the foreground window, so these tests run alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppUnderTest.h"

namespace velmaris::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The program's controls by their names in the form.
HWND Control(const AppUnderTest& app, const std::wstring& name) {
  if (name == L"txtEstado") return app.StatusBox();
  if (name == L"txtInfo") return app.ReportPane();
  if (name == L"cmdReset") return app.Button(L"Reparar Prescalers 1:1");
  if (name == L"cmdDetect") return app.Button(L"Detectar Acc");
  if (name == L"cmdCopy") return app.Button(L"Copiar Informe");
  return app.Button(L"Salir");
}

// Presses a key and waits for the focus to land on the named control.
void ExpectFocusAfter(AppUnderTest& app, WORD key, WORD modifier, const std::wstring& name) {
  app.PressKey(key, modifier);
  EXPECT_TRUE(app.WaitForFocus(Control(app, name))) << "focus on " << Utf8(name);
}

// The window up with its scan settled: a start-up error answered from the keyboard, or the
// KoraNET unit found and both maintenance buttons shown.
void StartAndSettle(AppUnderTest& app, bool startupError) {
  if (startupError) {
    HWND box = app.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    SetForegroundWindow(box);
    ASSERT_TRUE(app.WaitUntil([&] { return GetForegroundWindow() == box; }, 5000));
    app.PressKey(VK_RETURN);
    ASSERT_TRUE(app.WaitUntil([&] { return app.MessageBoxOf() == nullptr; }, 5000));
  }
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(app.WaitUntilShown());
  ASSERT_TRUE(app.BringToFront());
  EXPECT_TRUE(app.WaitForFocus(app.StatusBox())) << "the first control of the tab order";
  if (!startupError) {
    ASSERT_TRUE(
        app.WaitUntil([&] { return IsWindowVisible(Control(app, L"cmdDetect")) != FALSE; }, 15000));
  }
}

TEST(Keyboard, TabAndShiftTabFollowTheTabOrderBothWaysAndSkipHiddenButtons) {
  struct Row {
    const char* scenario;
    bool startupError;
    std::vector<std::wstring> tabOrder;
  } rows[] = {
      {"missing-linkparameter", true, {L"txtEstado", L"txtInfo", L"cmdExit", L"cmdCopy"}},
      {"koranet-unit",
       false,
       {L"txtEstado", L"cmdReset", L"txtInfo", L"cmdExit", L"cmdCopy", L"cmdDetect"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.scenario);
    AppUnderTest app({row.scenario});
    StartAndSettle(app, row.startupError);
    const size_t count = row.tabOrder.size();
    for (size_t step = 1; step <= count; ++step) {
      ExpectFocusAfter(app, VK_TAB, 0, row.tabOrder[step % count]);
    }
    for (size_t step = 1; step <= count; ++step) {
      ExpectFocusAfter(app, VK_TAB, VK_SHIFT, row.tabOrder[(count - step) % count]);
    }
  }
}

TEST(Keyboard, TypingEnterSpaceAndEscDoWhatTheyDoOnTheFormAndTheFocusSurvivesOtherWindows) {
  AppUnderTest app({"koranet-unit"});
  StartAndSettle(app, false);
  HWND pane = app.ReportPane();
  const std::wstring report = Text(pane);

  // Into the pane by the keyboard: nothing is selected, the caret is still at the start.
  ExpectFocusAfter(app, VK_TAB, 0, L"cmdReset");
  ExpectFocusAfter(app, VK_TAB, 0, L"txtInfo");
  app.Type(L"nota ñ");
  app.PressKey(VK_ESCAPE);
  app.PressKey(VK_RETURN);
  EXPECT_TRUE(app.WaitUntil([&] { return Text(pane) == L"nota ñ\r\n" + report; }, 5000))
      << Utf8(Text(pane));
  // Out and back in: the caret stayed where the typing left it.
  ExpectFocusAfter(app, VK_TAB, 0, L"cmdExit");
  ExpectFocusAfter(app, VK_TAB, VK_SHIFT, L"txtInfo");
  app.Type(L"X");
  EXPECT_TRUE(app.WaitUntil([&] { return Text(pane) == L"nota ñ\r\nX" + report; }, 5000))
      << Utf8(Text(pane));

  // Enter, then Space, on the focused "Copiar Informe" copies the report with the note.
  ExpectFocusAfter(app, VK_TAB, 0, L"cmdExit");
  ExpectFocusAfter(app, VK_TAB, 0, L"cmdCopy");
  for (WORD key : {VK_ESCAPE, VK_RETURN, VK_SPACE}) {
    EmptyTheClipboard();
    app.PressKey(key);
    if (key == VK_ESCAPE) continue;
    EXPECT_TRUE(app.WaitUntil([&] { return ClipboardText() == Text(pane); }, 5000)) << key;
  }

  // A message box of its own (the clipboard held by this program), answered by the keyboard.
  ASSERT_TRUE(OpenClipboard(nullptr));
  app.PressKey(VK_RETURN);
  HWND box = app.WaitForMessageBox(10000);
  CloseClipboard();
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(app.WaitUntil([&] { return GetForegroundWindow() == box; }, 5000));
  app.PressKey(VK_RETURN);
  EXPECT_TRUE(app.WaitForFocus(Control(app, L"cmdCopy"))) << "back after the message box";

  // Another program's window in front, then the program again.
  HWND other = CreateWindowExW(0, L"STATIC", L"otro", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100,
                               nullptr, nullptr, nullptr, nullptr);
  SetForegroundWindow(other);
  ASSERT_TRUE(app.WaitUntil([&] { return GetForegroundWindow() == other; }, 5000));
  ASSERT_TRUE(app.BringToFront());
  EXPECT_TRUE(app.WaitForFocus(Control(app, L"cmdCopy"))) << "back after another program";
  DestroyWindow(other);

  // Enter held on "Reparar Prescalers 1:1": one press, one repair, however long the key repeats.
  ExpectFocusAfter(app, VK_TAB, 0, L"cmdDetect");
  ExpectFocusAfter(app, VK_TAB, 0, L"txtEstado");
  ExpectFocusAfter(app, VK_TAB, 0, L"cmdReset");
  app.HoldKey(VK_RETURN, 15);
  ASSERT_TRUE(app.WaitUntil(
      [&] { return app.LogText().find("call SavePrescalers") != std::string::npos; }, 5000));
  Sleep(1000);
  const std::vector<std::string> log = app.Log();
  EXPECT_EQ(CountEntries(log, "call SavePrescalers"), 1u) << app.LogText();

  EXPECT_FALSE(app.WaitForExit(0)) << "Esc closed nothing";
  EXPECT_EQ(Text(pane), L"nota ñ\r\nX" + report);
}

int LineCount(HWND pane) { return static_cast<int>(SendMessageW(pane, EM_GETLINECOUNT, 0, 0)); }

// The whole lines the pane shows at once, read from outside: its formatting rectangle over the
// distance between its first two lines.
int RowsShown(HWND pane) {
  RECT format = {};
  SendMessageW(pane, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
  const auto top = [pane](int line) {
    const LRESULT start = SendMessageW(pane, EM_LINEINDEX, line, 0);
    return static_cast<short>(HIWORD(SendMessageW(pane, EM_POSFROMCHAR, start, 0)));
  };
  return (format.bottom - format.top) / (top(1) - top(0));
}

// The caret's place when nothing is selected; -1 while something is.
int Caret(HWND pane) {
  const LRESULT selection = SendMessageW(pane, EM_GETSEL, 0, 0);
  return LOWORD(selection) == HIWORD(selection) ? LOWORD(selection) : -1;
}

// The old serial unit's report is taller than the pane, whose head alone fits (as the start-up
// test sees): the pane scrolls then, and only then, and what the user writes or deletes decides
// again, the caret staying where the keys left it.
TEST(ReportPane, ScrollsOnlyWhileTheReportIsTallerThanItWhateverTheUserTypes) {
  AppUnderTest app({"serial-unit"});
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(app.WaitUntilShown());
  HWND pane = app.ReportPane();
  const std::wstring lastLine = L"Y SI TUVIERA CENTRAL ATMOSFÉRICA, TAMBIEN";
  ASSERT_TRUE(
      app.WaitUntil([&] { return Text(pane).find(lastLine) != std::wstring::npos; }, 20000));
  const std::wstring report = Text(pane);
  const int rows = RowsShown(pane);
  ASSERT_GT(LineCount(pane), rows);
  EXPECT_TRUE(test::HasVerticalScrollBar(pane));

  // A note at the start, then the lines below the pane's last row selected from the end upwards
  // and deleted: the rest fits exactly, without the bar.
  ASSERT_TRUE(app.BringToFront());
  ExpectFocusAfter(app, VK_TAB, 0, L"cmdReset");
  ExpectFocusAfter(app, VK_TAB, 0, L"txtInfo");
  app.Type(L"nota ");
  app.PressKey(VK_END, VK_CONTROL);
  for (int line = LineCount(pane); line > rows; --line) app.PressKey(VK_UP, VK_SHIFT);
  app.PressKey(VK_END, VK_SHIFT);
  app.PressKey(VK_DELETE);
  size_t next = 0;
  for (int line = 0; line < rows; ++line) next = report.find(L"\r\n", next) + 2;
  const std::wstring fitting = L"nota " + report.substr(0, next - 2);
  ASSERT_TRUE(app.WaitUntil([&] { return Text(pane) == fitting; }, 5000)) << Utf8(Text(pane));
  EXPECT_FALSE(test::HasVerticalScrollBar(pane));
  EXPECT_EQ(Caret(pane), static_cast<int>(fitting.size()));

  // One line more brings it back, with the caret where the typing left it.
  app.PressKey(VK_RETURN);
  app.Type(L"fin");
  ASSERT_TRUE(app.WaitUntil([&] { return Text(pane) == fitting + L"\r\nfin"; }, 5000))
      << Utf8(Text(pane));
  EXPECT_TRUE(test::HasVerticalScrollBar(pane));
  EXPECT_EQ(Caret(pane), static_cast<int>(fitting.size() + 5));
}

// Inside a component call that lets messages through, the keys are the form's as ever: Tab moves
// on from the status box and out of the report pane, writing nothing, and Esc closes nothing.
TEST(Keyboard, TabAndEscDuringAComponentCallAreTheFormsKeys) {
  AppUnderTest app({"pumping"});
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(app.WaitUntilShown());
  ASSERT_TRUE(app.BringToFront());
  ASSERT_TRUE(app.WaitForFocus(app.StatusBox()));
  const std::wstring report = Text(app.ReportPane());
  ASSERT_TRUE(
      app.WaitUntil([&] { return app.LogText().find("pumping") != std::string::npos; }, 10000));

  ExpectFocusAfter(app, VK_TAB, 0, L"txtInfo");
  app.PressKey(VK_ESCAPE);
  ExpectFocusAfter(app, VK_TAB, 0, L"cmdExit");
  const std::string log = app.LogText();
  EXPECT_EQ(log.find("get DeviceInfo -> ", log.find("pumping")), std::string::npos)
      << "the keys came within the call\n"
      << log;
  EXPECT_EQ(Text(app.ReportPane()), report);
  EXPECT_FALSE(app.WaitForExit(0));
}

// A component that lets messages through during a call: the close box, Alt+F4 and "Salir" used
// meanwhile close the program only once the call and its event have ended.
TEST(Keyboard, ACloseRequestDuringAComponentCallWaitsForTheCallToEnd) {
  enum class Route { CloseBox, AltF4, Salir };
  for (Route route : {Route::CloseBox, Route::AltF4, Route::Salir}) {
    SCOPED_TRACE(static_cast<int>(route));
    AppUnderTest app({"pumping"});
    ASSERT_NE(app.WaitForWindow(), nullptr);
    ASSERT_TRUE(app.WaitUntilShown());
    ASSERT_TRUE(app.BringToFront());
    ASSERT_TRUE(
        app.WaitUntil([&] { return app.LogText().find("pumping") != std::string::npos; }, 10000));
    if (route == Route::CloseBox) app.CloseByCloseBox();
    if (route == Route::AltF4) app.PressKey(VK_F4, VK_MENU);
    if (route == Route::Salir) app.Click(app.Button(L"Salir"));
    ASSERT_TRUE(app.WaitForExit(15000));

    const std::string log = app.LogText();
    const size_t pumping = log.find("pumping messages during get DeviceInfo");
    const size_t callEnded = log.find("get DeviceInfo -> ", pumping);
    EXPECT_LT(callEnded, log.find("InPlaceDeactivate", pumping)) << log;
    EXPECT_THAT(log, Not(HasSubstr("destroyed")));
  }
}

}  // namespace
}  // namespace velmaris::e2e

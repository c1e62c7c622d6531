// The window at the screen's DPI of this Wine prefix (VELMARIS_EXPECTED_DPI): every size is
// designed in twips, so in pixels the client area and every control follow the DPI.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include "AppUnderTest.h"
#include "app/win32/MainWindow.h"

namespace velmaris::e2e {
namespace {

// Like the program, this test must see real pixels, not the ones Windows scales for programs
// that are not DPI-aware. SetProcessDPIAware is newer than XP, hence looked up.
const bool dpiAware = [] {
  using SetAware = BOOL(WINAPI*)();
  const auto set = reinterpret_cast<SetAware>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDPIAware")));
  return set != nullptr && set() != FALSE;
}();

int ExpectedDpi() { return std::atoi(RequiredEnvironment("VELMARIS_EXPECTED_DPI").c_str()); }

int ScreenDpi(int axis) {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, axis);
  ReleaseDC(nullptr, screen);
  return dpi;
}

struct Place {
  const wchar_t* name;
  const wchar_t* caption;  // nullptr: an edit box; multiLine tells which
  bool multiLine;
  int left, top, width, height;  // twips
};

// The form as designed, in twips.
const Place kPlaces[] = {
    {L"txtEstado", nullptr, false, 120, 120, 6855, 375},
    {L"txtInfo", nullptr, true, 120, 600, 6855, 5295},
    {L"cmdReset", L"Reparar Prescalers 1:1", false, 120, 6000, 1935, 375},
    {L"cmdDetect", L"Detectar Acc", false, 2880, 6000, 1095, 375},
    {L"cmdCopy", L"Copiar Informe", false, 4080, 6000, 1575, 375},
    {L"cmdExit", L"Salir", false, 5760, 6000, 1095, 375},
};

int Pixels(int twips) { return MulDiv(twips, ExpectedDpi(), 1440); }

TEST(Dpi, ThisPrefixHasTheExpectedDpi) {
  ASSERT_TRUE(dpiAware);
  EXPECT_EQ(ScreenDpi(LOGPIXELSX), ExpectedDpi());
  EXPECT_EQ(ScreenDpi(LOGPIXELSY), ExpectedDpi());
}

TEST(Dpi, ClientAreaAndControlsAreTheirTwipsAtTheScreensDpi) {
  AppUnderTest app({"com3-unit"});
  HWND window = app.WaitForWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(app.WaitUntilShown());

  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, Pixels(7080));
  EXPECT_EQ(client.bottom, Pixels(6570));

  for (const Place& place : kPlaces) {
    SCOPED_TRACE(Utf8(place.name));
    HWND control = place.caption != nullptr ? app.Button(place.caption)
                   : place.multiLine        ? app.ReportPane()
                                            : app.StatusBox();
    ASSERT_NE(control, nullptr);
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, Pixels(place.left));
    EXPECT_EQ(rect.top, Pixels(place.top));
    EXPECT_EQ(rect.right - rect.left, Pixels(place.width));
    EXPECT_EQ(rect.bottom - rect.top, Pixels(place.height));
  }
}

// Fonts cannot be read across processes under Wine, so the window is built here.
TEST(Dpi, StatusFontKeepsItsPointSize) {
  auto window = MainWindow::Create(GetModuleHandleW(nullptr), ReadScreenDpi());
  HWND status = test::StatusBoxOf(window->handle());
  ASSERT_NE(status, nullptr);
  const std::optional<LOGFONTW> font = test::FontOf(status);
  ASSERT_TRUE(font.has_value());
  // 15.75 points: 21 pixels at 96 DPI, 31.5 rounded to 32 at 144.
  EXPECT_EQ(font->lfHeight, -std::lround(15.75 * ExpectedDpi() / 72));
  EXPECT_STREQ(font->lfFaceName, L"Courier New");
}

}  // namespace
}  // namespace velmaris::e2e

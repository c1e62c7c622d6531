// The real window class, in this test's own process: what cannot be read across processes under
// Wine (fonts, colours) and what needs no component at all.
#include <gtest/gtest.h>

#include <optional>

#include "../unit/Fakes.h"
#include "AppUnderTest.h"
#include "app/frmQel.h"
#include "app/win32/FormDescription.h"
#include "app/win32/MainWindow.h"
#include "common/ProgramIdentity.h"
#include "common/win32/Scoped.h"
#include "common/win32/Utf16.h"

namespace velmaris {
namespace {

using e2e::ClipboardText;

// Answers the first message box of this process with the given title, from another thread, as a
// user would; other tests' programs share the desktop.
DWORD WINAPI AnswerMessageBox(void* title) {
  for (int i = 0; i < 400; ++i) {
    if (HWND box =
            test::FindMessageBox(GetCurrentProcessId(), static_cast<const wchar_t*>(title))) {
      PostMessageW(box, WM_COMMAND, IDOK, 0);
      return 0;
    }
    Sleep(25);
  }
  return 1;
}

struct Window : ::testing::Test {
  std::unique_ptr<MainWindow> window =
      MainWindow::Create(GetModuleHandleW(nullptr), ReadScreenDpi());
  fakes::FakeControl control;
  fakes::FakePortCheck portCheck;
  fakes::FakeComponentLookup component;
  frmQel form{*window,   control,  [] { return int16_t{8}; }, [] { return WindowsDevices{}; },
              portCheck, component};

  COLORREF StatusTextColour() const {
    HDC dc = GetDC(window->handle());
    SendMessageW(window->handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(test::StatusBoxOf(window->handle())));
    const COLORREF colour = GetTextColor(dc);
    const COLORREF background = GetBkColor(dc);
    ReleaseDC(window->handle(), dc);
    EXPECT_EQ(background, GetSysColor(COLOR_BTNFACE));
    return colour;
  }
};

TEST_F(Window, StatusBoxUsesBoldCourierNewOnButtonFace) {
  HWND status = test::StatusBoxOf(window->handle());
  ASSERT_NE(status, nullptr);
  const std::optional<LOGFONTW> font = test::FontOf(status);
  ASSERT_TRUE(font.has_value());
  EXPECT_STREQ(font->lfFaceName, L"Courier New");
  EXPECT_EQ(font->lfWeight, FW_BOLD);
  EXPECT_EQ(font->lfHeight, -MulDiv(1575, ReadScreenDpi().y, 7200));  // 15.75 points
  EXPECT_EQ(font->lfCharSet, ANSI_CHARSET);
  EXPECT_FALSE(font->lfItalic || font->lfUnderline || font->lfStrikeOut);

  EXPECT_EQ(StatusTextColour(), GetSysColor(COLOR_WINDOWTEXT));
  window->SetStatusColour(0x0000FF);
  EXPECT_EQ(StatusTextColour(), COLORREF{0x0000FF});
  window->SetStatusColour(0x008000);
  EXPECT_EQ(StatusTextColour(), COLORREF{0x008000});
}

TEST_F(Window, ReportPaneKeepsAMegabyteOfPastedTextAndAppendsBelowIt) {
  form.Form_Load();
  std::string pasted = window->ReportText();
  const std::string pastedLine = "\r\n" + std::string(98, 'x');
  while (pasted.size() < (1 << 20)) pasted += pastedLine;
  window->SetReportText(pasted);
  form.AddInfoLine("Número de Serie: 12C");
  EXPECT_EQ(window->ReportText(), pasted + "\r\nNúmero de Serie: 12C");
  form.Raise(FormEvent::cmdCopy_Click);
  EXPECT_EQ(ClipboardText(), Widen(window->ReportText()));
}

// Holds the clipboard open, as another program might, after putting text on it, until released.
struct ClipboardHolder {
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

DWORD WINAPI HoldClipboard(void* parameter) {
  auto* holder = static_cast<ClipboardHolder*>(parameter);
  if (!OpenClipboard(nullptr)) return 1;
  EmptyClipboard();
  const wchar_t before[] = L"antes";
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof before);
  memcpy(GlobalLock(memory), before, sizeof before);
  GlobalUnlock(memory);
  SetClipboardData(CF_UNICODETEXT, memory);
  SetEvent(holder->ready);
  WaitForSingleObject(holder->release, 30000);
  CloseClipboard();
  return 0;
}

TEST_F(Window, CopyWhileAnotherProgramHoldsTheClipboardTellsTheUserAndLeavesItAlone) {
  form.Form_Load();
  ClipboardHolder holder;
  HANDLE holding = CreateThread(nullptr, 0, &HoldClipboard, &holder, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(holder.ready, 5000), WAIT_OBJECT_0);
  const std::wstring caption = test::WindowCaption();
  HANDLE answer = CreateThread(nullptr, 0, &AnswerMessageBox, const_cast<wchar_t*>(caption.c_str()),
                               0, nullptr);
  form.Raise(FormEvent::cmdCopy_Click);
  WaitForSingleObject(answer, 15000);
  DWORD answered = 1;
  GetExitCodeThread(answer, &answered);
  EXPECT_EQ(answered, 0u) << "the user was told";
  SetEvent(holder.release);
  WaitForSingleObject(holding, 5000);
  for (HANDLE handle : {holder.ready, holder.release, holding, answer}) CloseHandle(handle);
  EXPECT_EQ(ClipboardText(), L"antes");

  form.Raise(FormEvent::cmdCopy_Click);  // once the clipboard is free, the copy goes through
  EXPECT_EQ(ClipboardText(), Widen(window->ReportText()));
}

// Keys typed into the report pane, through the window's own message loop with its dialog
// navigation, as a user's keyboard would send them.
TEST_F(Window, ReportPaneTakesTypingBelowItsLastRowAndEnterButNotEscape) {
  form.Form_Load();
  std::string report = window->ReportText();
  for (int line = 0; line < 60; ++line) report += "\r\nlínea " + std::to_string(line);
  window->SetReportText(report);
  HWND pane = test::ReportPaneOf(window->handle());
  ShowWindow(window->handle(), SW_SHOW);
  SetFocus(pane);
  SendMessageW(pane, EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF);
  PostMessageW(pane, WM_CHAR, L'\r', 0);
  PostMessageW(pane, WM_CHAR, L'x', 0);
  PostMessageW(pane, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageW(pane, WM_CHAR, 0x1B, 0x00010001);
  PostMessageW(pane, WM_KEYUP, VK_ESCAPE, 0xC0010001);
  PostQuitMessage(0);  // taken once the keys are handled
  window->RunMessageLoop();
  ASSERT_TRUE(IsWindow(window->handle())) << "Esc must not close the window";
  EXPECT_EQ(window->ReportText(), report + "\r\nx");
}

// Whether the screen, as another program reads it, shows the pane's scroll bar: the square of its
// upper arrow, which holds only the pane's background where there is no bar. The window paints
// first; the screen is read until it agrees or a second has passed.
bool ScreenShowsScrollBar(HWND pane, bool shown) {
  RECT frame = {};
  GetWindowRect(pane, &frame);
  const int edge = GetSystemMetrics(SM_CXEDGE);
  const RECT arrow = {frame.right - edge - GetSystemMetrics(SM_CXVSCROLL), frame.top + edge,
                      frame.right - edge, frame.top + edge + GetSystemMetrics(SM_CYVSCROLL)};
  const int area = (arrow.right - arrow.left) * (arrow.bottom - arrow.top);
  for (int attempt = 0; attempt < 20; ++attempt) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    const WindowDc screen(nullptr);
    int drawn = 0;
    for (int x = arrow.left; x < arrow.right; ++x) {
      for (int y = arrow.top; y < arrow.bottom; ++y) {
        drawn += GetPixel(screen.get(), x, y) != GetSysColor(COLOR_WINDOW);
      }
    }
    if ((drawn > area / 10) == shown) return true;
    Sleep(50);
  }
  return false;
}

// Whether the report fits is decided at the pane's width without its scroll bar: a last row that
// only the bar's width would wrap calls for no bar, whether the bar is showing or not. What the
// pane decides is also what the screen shows.
TEST_F(Window, ReportPaneScrollsOnlyWhenTallerThanItIsWithoutTheBar) {
  HWND pane = test::ReportPaneOf(window->handle());
  // Other tests' programs share the desktop: none may cover the pane.
  SetWindowPos(window->handle(), HWND_TOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  RECT format = {};
  SendMessageW(pane, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
  const int width = format.right - format.left;
  HDC dc = GetDC(pane);
  SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(pane, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics = {};
  GetTextMetricsW(dc, &metrics);
  const auto extent = [dc](const std::wstring& text) {
    SIZE size = {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
  };
  std::wstring fullRow;
  for (std::wstring longer = L"x"; extent(longer) < width;
       longer += longer.size() % 8 == 7 ? L' ' : L'x') {
    fullRow = longer;
  }
  ASSERT_GT(extent(fullRow), width - GetSystemMetrics(SM_CXVSCROLL)) << "wraps beside the bar";
  ReleaseDC(pane, dc);

  std::wstring fits;
  for (int row = 1; row < (format.bottom - format.top) / metrics.tmHeight; ++row) {
    fits += L"línea " + std::to_wstring(row) + L"\r\n";
  }
  fits += fullRow;
  const struct {
    std::wstring report;
    bool scrolls;
  } steps[] = {{fits, false}, {fits + L"\r\nx", true}, {fits, false}};
  for (const auto& step : steps) {
    window->SetReportText(Narrow(step.report));
    EXPECT_EQ(test::HasVerticalScrollBar(pane), step.scrolls) << Narrow(step.report);
    EXPECT_TRUE(ScreenShowsScrollBar(pane, step.scrolls)) << Narrow(step.report);
  }
}

TEST_F(Window, StartupFailureLeavesTheTimerOffAndTheTextsInPlace) {
  control.failing.emplace("LinkOpen=", Failure("QelCtrlInertial", "no"));
  // The message box of the load event would wait for a click; answer it from a timer thread.
  HANDLE closer =
      CreateThread(nullptr, 0, &AnswerMessageBox, const_cast<wchar_t*>(L"Error"), 0, nullptr);
  form.Form_Load();
  WaitForSingleObject(closer, 15000);
  DWORD closed = 1;
  GetExitCodeThread(closer, &closed);
  CloseHandle(closer);
  EXPECT_EQ(closed, 0u) << "the message box was shown and answered";
  EXPECT_EQ(window->StatusText(), "");
  const std::string title = "INFORME DE DIAGNÓSTICO DE VELMARIS";
  EXPECT_EQ(window->ReportText().substr(0, title.size()), title);
}

}  // namespace
}  // namespace velmaris

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <memory>

#include "AppUnderTest.h"

namespace velmaris::e2e {
namespace {

using ::testing::HasSubstr;

const wchar_t* const kHead =
    L"INFORME DE DIAGNÓSTICO DE VELMARIS\r\n"
    L"=====================================\r\n"
    L"Herramienta de Diagnóstico Version: 2.3\r\n"
    L"=====================================";
const wchar_t* const kInstallAdvice =
    L" - Esta aplicación requiere tener instalado Velmaris version 3.6.0 o superior";

RECT ClientRectOf(HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

struct Expected {
  const wchar_t* caption;
  int left, top, width, height;
  bool visible;
};

void ExpectPlace(HWND control, const Expected& expected) {
  ASSERT_NE(control, nullptr) << Utf8(expected.caption);
  const RECT rect = ClientRectOf(control);
  EXPECT_EQ(rect.left, expected.left) << Utf8(expected.caption);
  EXPECT_EQ(rect.top, expected.top) << Utf8(expected.caption);
  EXPECT_EQ(rect.right - rect.left, expected.width) << Utf8(expected.caption);
  EXPECT_EQ(rect.bottom - rect.top, expected.height) << Utf8(expected.caption);
  EXPECT_EQ(IsWindowVisible(control) != FALSE, expected.visible) << Utf8(expected.caption);
}

// The name a screen reader announces for a control, read as it reads it: through Active
// Accessibility, from another process.
std::wstring AccessibleName(HWND control) {
  struct Com {
    Com() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~Com() { CoUninitialize(); }
  } com;
  Microsoft::WRL::ComPtr<IAccessible> accessible;
  if (FAILED(AccessibleObjectFromWindow(control, OBJID_CLIENT, __uuidof(IAccessible),
                                        reinterpret_cast<void**>(accessible.GetAddressOf())))) {
    return L"(no accessible object)";
  }
  VARIANT self = {};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  if (FAILED(accessible->get_accName(self, &name)) || name == nullptr) return L"(no name)";
  const std::unique_ptr<OLECHAR, decltype(&SysFreeString)> owned(name, &SysFreeString);
  return name;
}

// Calls the component received during start-up: everything before the first tick's read.
std::vector<std::string> StartupCalls(const std::vector<std::string>& log) {
  std::vector<std::string> calls;
  for (const std::string& entry : log) {
    if (entry.rfind("get LinkOpen", 0) == 0) break;
    if (test::IsOperation(entry)) calls.push_back(entry);
  }
  return calls;
}

// The control was deactivated, closed and let go of its site while the window still stood, and
// the site then had no window to hand out (the simulated control says so in its log otherwise).
void ExpectUnloadedLikeAForm(const std::vector<std::string>& log) {
  ASSERT_GE(log.size(), 3u);
  EXPECT_THAT(std::vector<std::string>(log.end() - 3, log.end()),
              ::testing::ElementsAre("InPlaceDeactivate", "Close", "SetClientSite null"));
}

TEST(Startup, OpensTheDesignedWindowWithTheReportHead) {
  AppUnderTest app({"com3-unit"});
  HWND window = app.WaitForWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(app.WaitUntilShown());
  EXPECT_EQ(app.MessageBoxOf(), nullptr);

  const LONG style = GetWindowLongW(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_MINIMIZEBOX);

  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 472);
  EXPECT_EQ(client.bottom, 438);

  ExpectPlace(app.StatusBox(), {L"txtEstado", 8, 8, 457, 25, true});
  ExpectPlace(app.ReportPane(), {L"txtInfo", 8, 40, 457, 353, true});
  ExpectPlace(app.Button(L"Reparar Prescalers 1:1"), {L"cmdReset", 8, 400, 129, 25, false});
  ExpectPlace(app.Button(L"Detectar Acc"), {L"cmdDetect", 192, 400, 73, 25, false});
  ExpectPlace(app.Button(L"Copiar Informe"), {L"cmdCopy", 272, 400, 105, 25, true});
  ExpectPlace(app.Button(L"Salir"), {L"cmdExit", 384, 400, 73, 25, true});

  HWND status = app.StatusBox();
  EXPECT_TRUE(GetWindowLongW(status, GWL_STYLE) & ES_READONLY);
  EXPECT_FALSE(GetWindowLongW(app.ReportPane(), GWL_STYLE) &
               (ES_READONLY | WS_VSCROLL | WS_HSCROLL));
  for (const wchar_t* caption :
       {L"Reparar Prescalers 1:1", L"Detectar Acc", L"Copiar Informe", L"Salir"}) {
    EXPECT_FALSE(GetWindowLongW(app.Button(caption), GWL_STYLE) & BS_DEFPUSHBUTTON);
  }

  // Every control has a name for a screen reader: the buttons their captions, the two boxes the
  // hidden label right before each. Windows looks no further back than that window, Wine takes
  // the first static before the box, so the order is checked too.
  const std::pair<HWND, const wchar_t*> names[] = {
      {status, L"Estado del escaneo"},
      {app.ReportPane(), L"Informe de diagnóstico"},
      {app.Button(L"Reparar Prescalers 1:1"), L"Reparar Prescalers 1:1"},
      {app.Button(L"Detectar Acc"), L"Detectar Acc"},
      {app.Button(L"Copiar Informe"), L"Copiar Informe"},
      {app.Button(L"Salir"), L"Salir"}};
  for (const auto& [control, name] : names) EXPECT_EQ(AccessibleName(control), name);
  for (int box = 0; box < 2; ++box) {
    HWND label = GetWindow(names[box].first, GW_HWNDPREV);
    EXPECT_TRUE(test::HasClass(label, L"STATIC")) << Utf8(names[box].second);
    EXPECT_EQ(Text(label), names[box].second);
    EXPECT_FALSE(GetWindowLongW(label, GWL_STYLE) & (WS_VISIBLE | WS_TABSTOP));
  }

  EXPECT_EQ(Text(app.ReportPane()), kHead);
  const std::wstring statusText = Text(status);
  if (app.LogText().find("PortNumber") == std::string::npos) {
    EXPECT_EQ(statusText, L"") << "no tick has run yet, so nothing may have written the status";
  }

  const std::vector<std::string> calls = StartupCalls(app.Log());
  ASSERT_EQ(calls.size(), 3u) << app.LogText();
  EXPECT_THAT(calls[0], HasSubstr("put LinkOpen vt=VT_BOOL value=False"));
  EXPECT_THAT(calls[1], HasSubstr("put LinkParameter vt=VT_I4 value=10"));
  EXPECT_THAT(calls[2], HasSubstr("put LinkOpen vt=VT_BOOL value=True"));

  // The ambient properties of a run-time form; the control works only in user mode.
  EXPECT_THAT(
      app.LogText(),
      HasSubstr("Ambient UserMode=VT_BOOL True UIDead=VT_BOOL False "
                "ShowGrabHandles=VT_BOOL False ShowHatching=VT_BOOL False "
                "MessageReflect=VT_BOOL False DisplayAsDefault=VT_BOOL False LocaleID=VT_I4 " +
                std::to_string(GetUserDefaultLCID()) +
                " DisplayName=VT_BSTR \"QelCtrlMain1\" Font=VT_DISPATCH "));
  EXPECT_THAT(app.LogText(), HasSubstr(" ForeColor=VT_I4 0x80000012 BackColor=VT_I4 0x8000000F "
                                       "Unknown=DISP_E_MEMBERNOTFOUND\n"));
}

TEST(Startup, CopyPutsTheWholeReportOnTheClipboardWithItsAccents) {
  AppUnderTest app({"no-unit"});
  ASSERT_NE(app.WaitForWindow(), nullptr);
  // A user clicks a window that shows (before that, its activation may take the button's focus).
  ASSERT_TRUE(app.WaitUntilShown());
  // Something else on the clipboard first, in another format, so the copy must replace it.
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  SetClipboardData(RegisterClipboardFormatW(L"VelmarisDiag test"), GlobalAlloc(GMEM_MOVEABLE, 4));
  CloseClipboard();

  const std::wstring copied = app.CopyReport();
  ASSERT_FALSE(copied.empty());
  EXPECT_EQ(copied, Text(app.ReportPane()));
  EXPECT_EQ(copied.substr(0, wcslen(kHead)), kHead);
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_FALSE(IsClipboardFormatAvailable(RegisterClipboardFormatW(L"VelmarisDiag test")));
  CloseClipboard();

  // What an X program pastes: the same text with its accents.
  const std::string xclipOut = RequiredEnvironment("VELMARIS_TEST_TMP") + "/xclip-" +
                               std::to_string(GetCurrentProcessId()) + ".txt";
  std::wstring command =
      L"/bin/sh -c \"xclip -selection clipboard -o > '" + Wide(xclipOut) + L"'\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  std::string pasted;
  app.WaitUntil(
      [&] {
        HANDLE file = CreateFileW(FromUnixPath(xclipOut).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        char buffer[4096];
        DWORD read = 0;
        pasted.clear();
        while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
          pasted.append(buffer, read);
        }
        CloseHandle(file);
        return !pasted.empty();
      },
      10000);
  DeleteFileW(FromUnixPath(xclipOut).c_str());
  std::string expected = Utf8(kHead);
  std::string pastedNoCr = pasted;
  pastedNoCr.erase(std::remove(pastedNoCr.begin(), pastedNoCr.end(), '\r'), pastedNoCr.end());
  expected.erase(std::remove(expected.begin(), expected.end(), '\r'), expected.end());
  EXPECT_EQ(pastedNoCr.substr(0, expected.size()), expected);
}

TEST(Startup, ComponentWithoutLinkParameterIsReportedBeforeTheWindowShows) {
  AppUnderTest app({"missing-linkparameter"});
  HWND box = app.WaitForMessageBox();
  ASSERT_NE(box, nullptr);
  ASSERT_NE(app.WaitForWindow(), nullptr);
  EXPECT_FALSE(IsWindowVisible(app.window()));
  EXPECT_EQ(Text(box), L"Error");
  HWND message = GetDlgItem(box, 0xFFFF);
  ASSERT_NE(message, nullptr);
  const std::wstring text = Text(message);
  ASSERT_GE(text.size(), wcslen(kInstallAdvice));
  EXPECT_EQ(text.substr(text.size() - wcslen(kInstallAdvice)), kInstallAdvice);

  PostMessageW(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(app.WaitUntilShown());
  EXPECT_EQ(Text(app.ReportPane()), kHead);
  Sleep(2500);  // two ticks' worth: the timer must never have started
  EXPECT_EQ(test::Operations(app.Log()).size(), 2u) << app.LogText();
  EXPECT_THAT(app.LogText(), HasSubstr("put LinkOpen vt=VT_BOOL value=False"));
  EXPECT_THAT(app.LogText(), ::testing::Not(HasSubstr("value=True")));
}

TEST(Startup, MissingComponentIsNamedInTheInstallAdviceAndTheWindowStillOpens) {
  AppUnderTest::Options options("com3-unit");
  options.componentInstalled = false;
  AppUnderTest app(options);
  HWND box = app.WaitForMessageBox();
  ASSERT_NE(box, nullptr) << app.LogText();
  EXPECT_EQ(Text(box), L"Error");
  EXPECT_EQ(Text(GetDlgItem(box, 0xFFFF)),
            std::wstring(L"QELCTRLLibCtl.QelCtrlMain") + kInstallAdvice);
  ASSERT_NE(app.WaitForWindow(), nullptr);
  EXPECT_FALSE(IsWindowVisible(app.window()));

  PostMessageW(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(app.WaitUntilShown());
  EXPECT_EQ(Text(app.ReportPane()), kHead);
  EXPECT_EQ(app.LogText(), "") << "the component was never loaded";
  EXPECT_TRUE(app.ExitBySalir());
}

TEST(Startup, CloseBoxEndsTheProgramWithoutClosingTheLink) {
  AppUnderTest app({"com3-unit"});
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(app.WaitUntil([&] { return app.LogText().find("get LinkOpen") != std::string::npos; },
                            10000));
  app.CloseByCloseBox();
  ASSERT_TRUE(app.WaitForExit());
  ExpectUnloadedLikeAForm(app.Log());
  const std::string log = app.LogText();
  EXPECT_EQ(log.find("put LinkOpen vt=VT_BOOL value=False"),
            log.rfind("put LinkOpen vt=VT_BOOL value=False"))
      << "only the start-up write of False\n"
      << log;
}

TEST(Startup, ExitButtonEndsTheProgram) {
  AppUnderTest app({"no-unit"});
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(app.WaitUntilShown());
  ASSERT_TRUE(app.ExitBySalir());
  ExpectUnloadedLikeAForm(app.Log());
}

TEST(Startup, AQuitMessageLeftByTheComponentDoesNotHideTheStartUpError) {
  AppUnderTest app({"left-quit"});
  HWND box = app.WaitForMessageBox();
  ASSERT_NE(box, nullptr) << app.LogText();
  const std::wstring text = Text(GetDlgItem(box, 0xFFFF));
  ASSERT_GE(text.size(), wcslen(kInstallAdvice));
  EXPECT_EQ(text.substr(text.size() - wcslen(kInstallAdvice)), kInstallAdvice);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(app.WaitForExit()) << "the quit message is honoured once the box is answered";
}

}  // namespace
}  // namespace velmaris::e2e

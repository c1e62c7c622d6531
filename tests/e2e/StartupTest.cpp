#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <oleacc.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "AppUnderTest.h"

namespace velmaris::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

const wchar_t* const kHead =
    L"INFORME DE DIAGNÓSTICO DE VELMARIS\r\n"
    L"=====================================\r\n"
    L"Herramienta de Diagnóstico Version: 2.3\r\n"
    L"=====================================";
const wchar_t* const kInstallAdvice =
    L" - Esta aplicación requiere tener instalado Velmaris version 3.6.0 o superior";
const wchar_t* const kProgId = L"QELCTRLLibCtl.QelCtrlMain";
const std::vector<std::string> kComponentHeading = {
    "================================", "EL COMPONENTE DE ADQUISICIÓN",
    "================================"};

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

// A start-up whose component fails, as the user meets it: the box as ever over the hidden window,
// whose report holds the four head lines only, as the load event leaves it; once the box is
// answered, the window shows them followed by the section on the component, whose lines after its
// heading land in `section`.
void ExpectComponentSection(AppUnderTest& app, const std::wstring& source,
                            std::vector<std::string>& section) {
  HWND box = app.WaitForMessageBox();
  ASSERT_NE(box, nullptr) << app.LogText();
  EXPECT_EQ(Text(box), L"Error");
  EXPECT_EQ(Text(GetDlgItem(box, 0xFFFF)), source + kInstallAdvice);
  ASSERT_NE(app.WaitForWindow(), nullptr);
  EXPECT_FALSE(IsWindowVisible(app.window()));
  EXPECT_EQ(Text(app.ReportPane()), kHead) << "the load event ends with its box";

  PostMessageW(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(app.WaitUntilShown());
  const std::wstring report = Text(app.ReportPane());
  const std::wstring head = std::wstring(kHead) + L"\r\n";
  ASSERT_EQ(report.substr(0, head.size()), head);
  const std::vector<std::string> lines = Lines(report.substr(head.size()));
  ASSERT_GT(lines.size(), kComponentHeading.size()) << Utf8(report);
  EXPECT_THAT(std::vector<std::string>(lines.begin(), lines.begin() + 3),
              ElementsAreArray(kComponentHeading));
  section.assign(lines.begin() + 3, lines.end());
  EXPECT_EQ(app.MessageBoxOf(), nullptr) << "the section raises no box of its own";
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
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
  std::vector<std::string> section;
  ExpectComponentSection(app, kProgId, section);
  // The operation as the contract names it, the error, and the installed file with its version.
  const std::string text = Joined(section);
  ASSERT_GE(section.size(), 2u);
  EXPECT_EQ(section[0], "Causa más probable: el componente de adquisición es antiguo:");
  EXPECT_EQ(section[1], "  no tiene la operación LinkParameter.");
  EXPECT_THAT(text, HasSubstr("0x80020003"));  // DISP_E_MEMBERNOTFOUND
  EXPECT_THAT(text, HasSubstr("qelsim.dll"));
  EXPECT_THAT(
      text, HasSubstr("Versión del archivo: " + test::RequiredEnvironment("QELSIM_VERSION") + "."));
  Sleep(2500);  // two ticks' worth: the timer must never have started
  EXPECT_EQ(test::Operations(app.Log()).size(), 2u) << app.LogText();
  EXPECT_THAT(app.LogText(), HasSubstr("put LinkOpen vt=VT_BOOL value=False"));
  EXPECT_THAT(app.LogText(), ::testing::Not(HasSubstr("value=True")));
}

TEST(Startup, MissingComponentIsNamedInTheInstallAdviceAndTheWindowStillOpens) {
  AppUnderTest::Options options("com3-unit");
  options.componentInstalled = false;
  AppUnderTest app(options);
  std::vector<std::string> section;
  ExpectComponentSection(app, kProgId, section);
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

// The registry view of the other width, as the program sees it: the 32-bit one from this 64-bit
// build, the 64-bit one from a 32-bit build.
#ifdef _WIN64
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
const char* const kOtherWidth = "32";
const char* const kOwnWidth = "64";
#else
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
const char* const kOtherWidth = "64";
const char* const kOwnWidth = "32";
#endif

void SetDefaultValue(const std::wstring& path, const std::wstring& value, REGSAM view = 0) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot write the registration");
  }
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

void DeleteClassesKey(const std::wstring& subkey, REGSAM view = 0) {
  HKEY classes = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_ALL_ACCESS | view, &classes) !=
      ERROR_SUCCESS) {
    return;
  }
  SHDeleteKeyW(classes, subkey.c_str());
  RegCloseKey(classes);
}

// The product's ProgID and class as the simulated component registers them in the shared prefix,
// changed for one test, then registered again by the component's own DllRegisterServer however
// the test ends. Every other run creates the component by this ProgID, so the tests that change
// it run alone.
class ChangedRegistration {
 public:
  ChangedRegistration() {
    wchar_t classId[64] = {};
    LONG size = sizeof classId;
    if (RegQueryValueW(HKEY_CLASSES_ROOT, (std::wstring(kProgId) + L"\\CLSID").c_str(), classId,
                       &size) != ERROR_SUCCESS) {
      throw std::runtime_error("the simulated component is not registered");
    }
    classKey_ = std::wstring(L"CLSID\\") + classId;
  }
  ~ChangedRegistration() {
    DeleteClassesKey(classKey_, kOtherView);
    const std::wstring dll = test::PathFromEnvironment(L"QELSIM_DLL");
    if (HMODULE module = LoadLibraryW(dll.c_str())) {
      using Register = HRESULT(STDAPICALLTYPE*)();
      const auto registerServer = reinterpret_cast<Register>(
          reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
      if (registerServer != nullptr) registerServer();
      FreeLibrary(module);
    }
  }
  ChangedRegistration(const ChangedRegistration&) = delete;
  ChangedRegistration& operator=(const ChangedRegistration&) = delete;

  void RemoveProgId() { DeleteClassesKey(kProgId); }
  void SetServer(const std::wstring& path) {
    SetDefaultValue(L"Software\\Classes\\" + classKey_ + L"\\InprocServer32", path);
  }
  // The class registered for programs of the other width only.
  void MoveClassToOtherView() {
    const std::wstring server = test::PathFromEnvironment(L"QELSIM_DLL");
    DeleteClassesKey(classKey_);
    SetDefaultValue(L"Software\\Classes\\" + classKey_ + L"\\InprocServer32", server, kOtherView);
  }

 private:
  std::wstring classKey_;
};

// A DLL's headers as a build for the other width writes them, with one empty code section.
void WriteDllOfTheOtherWidth(const std::string& path) {
  std::vector<uint8_t> file(0x400, 0);
  const auto put = [&file](size_t offset, uint32_t value, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) file[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  const bool wide = sizeof(void*) == 4;  // the other width of a 32-bit build is 64 bits
  file[0] = 'M';
  file[1] = 'Z';
  put(0x3C, 0x40, 4);
  put(0x40, 0x00004550, 4);              // "PE\0\0"
  put(0x44, wide ? 0x8664 : 0x14C, 2);   // machine
  put(0x46, 1, 2);                       // one section
  put(0x54, wide ? 0xF0 : 0xE0, 2);      // optional header size
  put(0x56, wide ? 0x2022 : 0x2102, 2);  // executable DLL
  const size_t optional = 0x58;
  put(optional, wide ? 0x20B : 0x10B, 2);  // PE32+ or PE32
  put(optional + 16, 0x1000, 4);           // entry point
  put(optional + 32, 0x1000, 4);           // section alignment
  put(optional + 36, 0x200, 4);            // file alignment
  put(optional + 40, 5, 2);                // Windows XP
  put(optional + 48, 5, 2);
  put(optional + 56, 0x2000, 4);             // image size
  put(optional + 60, 0x200, 4);              // headers' size
  put(optional + 68, 2, 2);                  // GUI subsystem
  put(optional + (wide ? 108 : 92), 16, 4);  // data directories
  const size_t section = optional + (wide ? 0xF0 : 0xE0);
  for (size_t i = 0; i < 5; ++i) file[section + i] = static_cast<uint8_t>(".text"[i]);
  put(section + 8, 0x10, 4);         // virtual size
  put(section + 12, 0x1000, 4);      // virtual address
  put(section + 16, 0x200, 4);       // raw size
  put(section + 20, 0x200, 4);       // raw offset
  put(section + 36, 0x60000020, 4);  // code, executable, readable
  file[0x200] = 0xC3;                // ret
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// Start-ups with the component's registration or file at fault, each as a user meets it: the box
// and the head lines as ever, then the section with the facts that tell the faults apart.
struct ComponentFaults : ::testing::Test {
  ChangedRegistration registration;
  std::vector<std::string> section;

  // The section of a start-up: its cause first, then its facts.
  void StartUp() {
    AppUnderTest app({"com3-unit"});
    ExpectComponentSection(app, kProgId, section);
    EXPECT_EQ(app.LogText(), "") << "the component was never created";
  }
  std::vector<std::string> Cause(size_t lines) const {
    return {section.begin(),
            section.begin() + static_cast<std::ptrdiff_t>(std::min(lines, section.size()))};
  }
};

TEST_F(ComponentFaults, AProgIdNotRegistered) {
  registration.RemoveProgId();
  StartUp();
  EXPECT_THAT(Cause(2),
              ElementsAre("Causa más probable: el componente de adquisición no está registrado:",
                          "  QELCTRLLibCtl.QelCtrlMain"));
  EXPECT_THAT(Joined(section), HasSubstr("0x800401F3"));  // CO_E_CLASSSTRING
}

TEST_F(ComponentFaults, AClassNamingAFileThatDoesNotExist) {
  registration.SetServer(L"C:\\Archivos de programa\\Velmaris\\QelCtrl.ocx");
  StartUp();
  EXPECT_THAT(Cause(2),
              ElementsAre("Causa más probable: falta el archivo del componente de adquisición:",
                          "  C:\\Archivos de programa\\Velmaris\\QelCtrl.ocx"));
}

TEST_F(ComponentFaults, AFileThatImportsFromADllThatDoesNotExist) {
  const std::wstring component = test::PathFromEnvironment(L"NEEDS_ABSENT_DLL");
  registration.SetServer(component);
  StartUp();
  EXPECT_THAT(Cause(3), ElementsAre("Causa más probable: falta una DLL que el componente",
                                    "de adquisición necesita para cargarse:",
                                    "  velmaris_absent.dll (la necesita " + Utf8(component) + ")"));
}

TEST_F(ComponentFaults, AFileOfTheOtherWidth) {
  const std::string path = test::RequiredEnvironment("VELMARIS_TEST_TMP") + "/QelCtrl-" +
                           std::to_string(GetCurrentProcessId()) + ".ocx";
  WriteDllOfTheOtherWidth(path);
  registration.SetServer(test::FromUnixPath(path));
  StartUp();
  DeleteFileW(test::FromUnixPath(path).c_str());
  EXPECT_THAT(Cause(2), ElementsAre("Causa más probable: el archivo del componente de adquisición",
                                    std::string("es de ") + kOtherWidth + " bits (" +
                                        (sizeof(void*) == 8 ? "x86" : "x64") +
                                        ") y este diagnóstico necesita uno de " + kOwnWidth +
                                        " bits (" + (sizeof(void*) == 8 ? "x64" : "x86") + "):"));
}

TEST_F(ComponentFaults, AClassRegisteredForProgramsOfTheOtherWidthOnly) {
  registration.MoveClassToOtherView();
  StartUp();
  EXPECT_THAT(Cause(2),
              ElementsAre("Causa más probable: el componente de adquisición está registrado",
                          std::string("solo para programas de ") + kOtherWidth +
                              " bits, y este diagnóstico es de " + kOwnWidth + " bits:"));
  EXPECT_THAT(Joined(section), HasSubstr("0x80040154"));  // REGDB_E_CLASSNOTREG
}

}  // namespace
}  // namespace velmaris::e2e

#include "AppUnderTest.h"

#include <stdexcept>

namespace velmaris::e2e {

namespace {

std::wstring TempFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  return folder;
}

// A Wine setting for one program only (its AppDefaults key, by file name).
void SetWineAppDefault(const std::wstring& exeName, const std::wstring& subkey,
                       const std::wstring& name, const std::wstring& value) {
  const std::wstring key = L"Software\\Wine\\AppDefaults\\" + exeName + subkey;
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &handle, nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot write Wine's settings");
  }
  RegSetValueExW(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
}

void RemoveWineAppDefaults(const std::wstring& exeName) {
  const std::wstring key = L"Software\\Wine\\AppDefaults\\" + exeName;
  RegDeleteKeyW(HKEY_CURRENT_USER, (key + L"\\DllOverrides").c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

// Wine hands out process ids again once a process has ended, so a run is also named by the time.
std::wstring UniqueRunName() {
  static int runCounter = 0;
  LARGE_INTEGER now = {};
  QueryPerformanceCounter(&now);
  return L"VelmarisDiag-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(now.QuadPart) + L"-" + std::to_wstring(++runCounter);
}

}  // namespace

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

std::wstring ClipboardText() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (OpenClipboard(nullptr)) {
      std::wstring text;
      if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
          text = chars;
          GlobalUnlock(data);
        }
      }
      CloseClipboard();
      return text;
    }
    Sleep(20);
  }
  throw std::runtime_error("clipboard busy");
}

void EmptyTheClipboard() {
  if (!OpenClipboard(nullptr)) throw std::runtime_error("clipboard busy");
  EmptyClipboard();
  CloseClipboard();
}

AppUnderTest::AppUnderTest(const Options& options) {
  const std::wstring folder = TempFolder();
  runName_ = UniqueRunName();
  const std::wstring& runName = runName_;
  logPath_ = folder + runName + L".log";
  DeleteFileW(logPath_.c_str());

  // A copy of its own lets this run have a Wine version of its own (AppDefaults key by name).
  exePath_ = folder + runName + L".exe";
  const std::wstring original = FromUnixPath(RequiredEnvironment("VELMARIS_EXE"));
  if (!CopyFileW(original.c_str(), exePath_.c_str(), FALSE)) {
    throw std::runtime_error("cannot copy VelmarisDiag.exe");
  }
  if (!options.windowsVersion.empty()) {
    SetWineAppDefault(runName + L".exe", L"", L"Version", Wide(options.windowsVersion));
  }
  if (!options.componentInstalled) {
    SetWineAppDefault(runName + L".exe", L"\\DllOverrides", L"qelsim", L"");  // disabled
  }

  const std::wstring scenario =
      FromUnixPath(RequiredEnvironment("QELSIM_SCENARIOS") + "/" + options.scenario + ".txt");
  SetEnvironmentVariableW(L"QELSIM_SCENARIO", scenario.c_str());
  SetEnvironmentVariableW(L"QELSIM_LOG", logPath_.c_str());

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  std::wstring commandLine = L"\"" + exePath_ + L"\"";
  if (!CreateProcessW(exePath_.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process_)) {
    throw std::runtime_error("cannot start VelmarisDiag.exe");
  }
}

AppUnderTest::~AppUnderTest() {
  if (process_.hProcess != nullptr) {
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.hProcess, 1);
      WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
  DeleteFileW(exePath_.c_str());
  DeleteFileW(logPath_.c_str());
  RemoveWineAppDefaults(runName_ + L".exe");
}

bool AppUnderTest::WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(25);
  }
  return true;
}

HWND AppUnderTest::WaitForWindow(DWORD timeoutMs) {
  WaitUntil([this] { return (window_ = test::FindProgramWindow(process_.dwProcessId)) != nullptr; },
            timeoutMs);
  return window_;
}

bool AppUnderTest::WaitUntilShown(DWORD timeoutMs) {
  return WaitUntil([this] { return window_ != nullptr && IsWindowVisible(window_) != FALSE; },
                   timeoutMs);
}

HWND AppUnderTest::MessageBoxOf() const { return test::FindMessageBox(process_.dwProcessId); }

HWND AppUnderTest::WaitForMessageBox(DWORD timeoutMs) {
  HWND box = nullptr;
  WaitUntil([&] { return (box = MessageBoxOf()) != nullptr && IsWindowVisible(box); }, timeoutMs);
  return box;
}

AppUnderTest::Message AppUnderTest::AnswerMessage(DWORD timeoutMs) {
  HWND box = WaitForMessageBox(timeoutMs);
  if (box == nullptr) return {};
  Message message{Text(box), Text(GetDlgItem(box, 0xFFFF))};
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  WaitUntil([&] { return MessageBoxOf() == nullptr; }, 5000);
  return message;
}

bool AppUnderTest::WaitForExit(DWORD timeoutMs) {
  return WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

DWORD AppUnderTest::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

HWND AppUnderTest::Button(const std::wstring& caption) const {
  return test::FindChildWindow(window_, L"BUTTON", caption);
}

HWND AppUnderTest::StatusBox() const { return test::StatusBoxOf(window_); }

HWND AppUnderTest::ReportPane() const { return test::ReportPaneOf(window_); }

void AppUnderTest::Click(HWND button) const { PostMessageW(button, BM_CLICK, 0, 0); }

void AppUnderTest::CloseByCloseBox() const { PostMessageW(window_, WM_SYSCOMMAND, SC_CLOSE, 0); }

std::wstring AppUnderTest::CopyReport(DWORD timeoutMs) {
  Click(Button(L"Copiar Informe"));
  std::wstring copied;
  WaitUntil([&] { return (copied = ClipboardText()) == Text(ReportPane()); }, timeoutMs);
  return copied;
}

bool AppUnderTest::ExitBySalir(DWORD timeoutMs) {
  Click(Button(L"Salir"));
  return WaitForExit(timeoutMs);
}

namespace {

INPUT KeyInput(WORD key, WORD scan, DWORD flags) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = scan;
  input.ki.dwFlags = flags;
  return input;
}

}  // namespace

bool AppUnderTest::BringToFront() {
  SetForegroundWindow(window_);
  return WaitUntil([this] { return GetForegroundWindow() == window_; }, 5000);
}

void AppUnderTest::PressKey(WORD key, WORD modifier) const {
  std::vector<INPUT> inputs;
  if (modifier != 0) inputs.push_back(KeyInput(modifier, 0, 0));
  inputs.push_back(KeyInput(key, 0, 0));
  inputs.push_back(KeyInput(key, 0, KEYEVENTF_KEYUP));
  if (modifier != 0) inputs.push_back(KeyInput(modifier, 0, KEYEVENTF_KEYUP));
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void AppUnderTest::HoldKey(WORD key, int downs) const {
  std::vector<INPUT> inputs(static_cast<size_t>(downs), KeyInput(key, 0, 0));
  inputs.push_back(KeyInput(key, 0, KEYEVENTF_KEYUP));
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void AppUnderTest::Type(const std::wstring& text) const {
  std::vector<INPUT> inputs;
  for (wchar_t c : text) {
    inputs.push_back(KeyInput(0, c, KEYEVENTF_UNICODE));
    inputs.push_back(KeyInput(0, c, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
  }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

HWND AppUnderTest::Focus() const {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window_, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

bool AppUnderTest::WaitForFocus(HWND control, DWORD timeoutMs) {
  return WaitUntil([&] { return Focus() == control; }, timeoutMs);
}

std::string AppUnderTest::LogText() const { return test::ReadCallLogText(logPath_); }

std::vector<std::string> AppUnderTest::Log() const { return test::ReadCallLog(logPath_); }

}  // namespace velmaris::e2e

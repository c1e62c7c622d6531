#include "AppUnderTest.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace velmaris::e2e {

namespace {

const wchar_t* const kCaption = L"Diagnóstico de Compatibilidad de Velmaris";

struct Search {
  DWORD processId;
  const wchar_t* windowClass;  // nullptr: the main window, found by caption
  HWND found = nullptr;
};

BOOL CALLBACK FindProcessWindow(HWND hwnd, LPARAM lParam) {
  auto* search = reinterpret_cast<Search*>(lParam);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner != search->processId) return TRUE;
  wchar_t className[64] = {};
  GetClassNameW(hwnd, className, 64);
  const bool match = search->windowClass != nullptr
                         ? lstrcmpW(className, search->windowClass) == 0 && IsWindowVisible(hwnd)
                         : Text(hwnd) == kCaption && lstrcmpW(className, L"#32770") != 0;
  if (!match) return TRUE;
  search->found = hwnd;
  return FALSE;
}

struct ChildSearch {
  const wchar_t* windowClass;
  std::wstring caption;
  bool wantMultiLine;
  HWND found = nullptr;
};

BOOL CALLBACK FindChild(HWND hwnd, LPARAM lParam) {
  auto* search = reinterpret_cast<ChildSearch*>(lParam);
  wchar_t className[64] = {};
  GetClassNameW(hwnd, className, 64);
  if (lstrcmpiW(className, search->windowClass) != 0) return TRUE;
  if (lstrcmpiW(className, L"EDIT") == 0) {
    const bool multiLine = (GetWindowLongW(hwnd, GWL_STYLE) & ES_MULTILINE) != 0;
    if (multiLine != search->wantMultiLine) return TRUE;
  } else if (Text(hwnd) != search->caption) {
    return TRUE;
  }
  search->found = hwnd;
  return FALSE;
}

HWND FindChildOf(HWND parent, const wchar_t* windowClass, const std::wstring& caption,
                 bool multiLine) {
  ChildSearch search{windowClass, caption, multiLine};
  EnumChildWindows(parent, &FindChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

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

std::wstring Text(HWND window) {
  const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT copied =
      SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<size_t>(copied));
  return text;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                      nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size);
  return out;
}

std::wstring FromUnixPath(const std::string& path) {
  std::wstring windows = L"Z:" + Wide(path);
  for (wchar_t& c : windows) {
    if (c == L'/') c = L'\\';
  }
  return windows;
}

std::string RequiredEnvironment(const char* name) {
  char value[4096] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  if (length == 0 || length >= sizeof value) {
    throw std::runtime_error(std::string("environment variable not set: ") + name);
  }
  return value;
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

HWND AppUnderTest::FindTopLevel(const wchar_t* windowClass) const {
  Search search{process_.dwProcessId, windowClass};
  EnumWindows(&FindProcessWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND AppUnderTest::WaitForWindow(DWORD timeoutMs) {
  WaitUntil([this] { return (window_ = FindTopLevel(nullptr)) != nullptr; }, timeoutMs);
  return window_;
}

HWND AppUnderTest::MessageBoxOf() const { return FindTopLevel(L"#32770"); }

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

HWND AppUnderTest::Button(const std::wstring& caption) const {
  return FindChildOf(window_, L"BUTTON", caption, false);
}

HWND AppUnderTest::StatusBox() const { return FindChildOf(window_, L"EDIT", L"", false); }

HWND AppUnderTest::ReportPane() const { return FindChildOf(window_, L"EDIT", L"", true); }

void AppUnderTest::Click(HWND button) const { PostMessageW(button, BM_CLICK, 0, 0); }

void AppUnderTest::CloseByCloseBox() const { PostMessageW(window_, WM_SYSCOMMAND, SC_CLOSE, 0); }

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

std::string AppUnderTest::LogText() const {
  std::ifstream file(Utf8(logPath_), std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

std::vector<std::string> AppUnderTest::Log() const {
  std::vector<std::string> lines;
  std::istringstream content(LogText());
  for (std::string line; std::getline(content, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace velmaris::e2e

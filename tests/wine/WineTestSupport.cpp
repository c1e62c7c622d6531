#include "WineTestSupport.h"

#include <fstream>
#include <sstream>
#include <utility>

#include "platform/win32/Utf16.h"

namespace velmaris::test {
namespace {

std::wstring TempFile(const wchar_t* prefix) {
  wchar_t folder[MAX_PATH] = {};
  wchar_t path[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, prefix, 0, path);
  return path;
}

std::wstring WindowsPath(std::wstring path) {
  if (!path.empty() && path[0] == L'/') {
    for (wchar_t& c : path)
      if (c == L'/') c = L'\\';
    path = L"Z:" + path;
  }
  return path;
}

std::wstring Environment(const wchar_t* name) {
  wchar_t buffer[4096] = {};
  const DWORD length = GetEnvironmentVariableW(name, buffer, 4096);
  return length > 0 && length < 4096 ? std::wstring(buffer, length) : std::wstring();
}

}  // namespace

HiddenWindow::HiddenWindow()
    : window_(CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                              480, 470, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr)) {}

HiddenWindow::~HiddenWindow() {
  if (window_) DestroyWindow(window_);
}

SimulatorSession::SimulatorSession(std::wstring scenario, bool ownScenario)
    : scenario_(std::move(scenario)), log_(TempFile(L"qsl")), ownScenario_(ownScenario) {
  DeleteFileW(log_.c_str());
  SetEnvironmentVariableW(L"QELSIM_SCENARIO", scenario_.c_str());
  SetEnvironmentVariableW(L"QELSIM_LOG", log_.c_str());
}

SimulatorSession::SimulatorSession(SimulatorSession&& other) noexcept
    : scenario_(std::move(other.scenario_)),
      log_(std::move(other.log_)),
      ownScenario_(other.ownScenario_) {
  other.scenario_.clear();
  other.log_.clear();
  other.ownScenario_ = false;
}

SimulatorSession SimulatorSession::FromText(const std::string& scenario) {
  const std::wstring path = TempFile(L"qss");
  std::ofstream(path.c_str(), std::ios::binary) << scenario;
  return SimulatorSession(path, true);
}

SimulatorSession SimulatorSession::FromShipped(const std::string& fileName) {
  return SimulatorSession(WindowsPath(Environment(L"QELSIM_SCENARIOS")) + L"\\" + Widen(fileName),
                          false);
}

SimulatorSession::~SimulatorSession() {
  if (log_.empty()) return;
  // A newer session may already have taken over the component.
  if (Environment(L"QELSIM_LOG") == log_) {
    SetEnvironmentVariableW(L"QELSIM_SCENARIO", nullptr);
    SetEnvironmentVariableW(L"QELSIM_LOG", nullptr);
  }
  DeleteFileW(log_.c_str());
  if (ownScenario_) DeleteFileW(scenario_.c_str());
}

std::vector<std::string> SimulatorSession::Log() const {
  std::vector<std::string> lines;
  std::ifstream file(log_.c_str(), std::ios::binary);
  std::string line;
  while (std::getline(file, line)) lines.push_back(line);
  return lines;
}

std::vector<std::string> SimulatorSession::Calls() const {
  std::vector<std::string> lines = Log();
  for (std::string& line : lines) {
    const size_t detail = line.find(" [dispid=");
    if (detail != std::string::npos) line.erase(detail);
  }
  return lines;
}

RECT ControlPlace() { return RECT{8, 512, 42, 546}; }

ContainerAmbience ControlAmbience() {
  return {L"QelCtrlMain1", static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)), 0x80000012,
          0x8000000F, ReadScreenDpi()};
}

}  // namespace velmaris::test

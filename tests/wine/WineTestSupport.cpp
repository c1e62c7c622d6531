#include "WineTestSupport.h"

#include <fstream>
#include <utility>

#include "CallLog.h"
#include "Environment.h"
#include "WinePath.h"
#include "app/win32/FormControls.h"
#include "app/win32/FormDescription.h"
#include "common/win32/Utf16.h"

namespace velmaris::test {
namespace {

std::wstring TempFile(const wchar_t* prefix) {
  wchar_t folder[MAX_PATH] = {};
  wchar_t path[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, prefix, 0, path);
  return path;
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
  return SimulatorSession(PathFromEnvironment(L"QELSIM_SCENARIOS") + L"\\" + Widen(fileName),
                          false);
}

SimulatorSession::~SimulatorSession() {
  if (log_.empty()) return;
  // A newer session may already have taken over the component.
  if (EnvironmentVariable(L"QELSIM_LOG") == log_) {
    SetEnvironmentVariableW(L"QELSIM_SCENARIO", nullptr);
    SetEnvironmentVariableW(L"QELSIM_LOG", nullptr);
  }
  DeleteFileW(log_.c_str());
  if (ownScenario_) DeleteFileW(scenario_.c_str());
}

std::vector<std::string> SimulatorSession::Log() const { return ReadCallLog(log_); }

std::vector<std::string> SimulatorSession::Calls() const { return WithoutDetails(Log()); }

TwipsRect ControlPlace() { return kAcquisitionControlPlace; }

ContainerAmbience ControlAmbience() {
  return {kAcquisitionControlName, FormFont(), kFormForeColor, kFormBackColor, ReadScreenDpi()};
}

}  // namespace velmaris::test

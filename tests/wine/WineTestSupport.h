#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/win32/Units.h"
#include "link/win32/AmbientProperties.h"

namespace velmaris::test {

// A parent window that is never shown.
class HiddenWindow {
 public:
  HiddenWindow();
  ~HiddenWindow();
  HiddenWindow(const HiddenWindow&) = delete;
  HiddenWindow& operator=(const HiddenWindow&) = delete;
  HWND get() const { return window_; }

 private:
  HWND window_;
};

// Points the simulated component at a scenario and a fresh call log for one test. The scenario
// is either inline text or a file shipped in tests/simulator/scenarios.
class SimulatorSession {
 public:
  static SimulatorSession FromText(const std::string& scenario);
  static SimulatorSession FromShipped(const std::string& fileName);
  ~SimulatorSession();
  SimulatorSession(SimulatorSession&& other) noexcept;
  SimulatorSession(const SimulatorSession&) = delete;
  SimulatorSession& operator=(const SimulatorSession&) = delete;

  // Every log line as written.
  std::vector<std::string> Log() const;
  // Log lines without their "[dispid=... flags=...]" detail.
  std::vector<std::string> Calls() const;

 private:
  SimulatorSession(std::wstring scenario, bool ownScenario);
  std::wstring scenario_;
  std::wstring log_;
  bool ownScenario_ = false;
};

// The place the window gives the control, in twips: below the client area.
TwipsRect ControlPlace();
// What the window tells the control about itself: its name, the GUI font, the form's colours.
ContainerAmbience ControlAmbience();

}  // namespace velmaris::test

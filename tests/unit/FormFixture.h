#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "Fakes.h"
#include "app/frmQel.h"

namespace velmaris::fakes {

// The form between a fake window and a fake control, answering `level` as the Windows version
// level and `windowsDevices` as what Windows sees, and counting how often each was asked; its
// port check is `portCheck`.
struct FakeForm {
  FakeView view;
  FakeControl control;
  int16_t level = 8;
  int levelQueries = 0;
  std::string reportWhenLevelAsked;
  WindowsDevices windowsDevices;
  int devicesQueries = 0;
  std::string reportWhenDevicesAsked;
  std::string statusWhenDevicesAsked;
  bool timerWhenDevicesAsked = false;
  FakePortCheck portCheck;
  FakeComponentLookup component;
  frmQel form{view,
              control,
              [this] {
                ++levelQueries;
                reportWhenLevelAsked = view.report;
                return level;
              },
              [this] {
                ++devicesQueries;
                reportWhenDevicesAsked = view.report;
                statusWhenDevicesAsked = view.status;
                timerWhenDevicesAsked = view.timerEnabled;
                return windowsDevices;
              },
              portCheck,
              component};

  // The form after its load event, with the load's own calls forgotten.
  void Load() {
    form.Form_Load();
    control.calls.clear();
  }

  // Ticks through the gate until the scan stops the timer.
  void ScanToTheEnd() {
    for (int tick = 0; tick < 200 && view.timerEnabled; ++tick) form.Raise(FormEvent::Timer1_Timer);
  }
};

struct FormTest : ::testing::Test, FakeForm {};

}  // namespace velmaris::fakes

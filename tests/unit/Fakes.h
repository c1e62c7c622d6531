#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "FakeComponentFiles.h"
#include "app/FormView.h"
#include "common/Failure.h"
#include "link/AcquisitionControl.h"
#include "link/ComponentFault.h"
#include "link/ComponentLookup.h"
#include "platform/PortCheck.h"

namespace velmaris::fakes {

// An in-memory acquisition control: logs every call as a short text and answers from a script.
class FakeControl : public AcquisitionControl {
 public:
  std::vector<std::string> calls;
  // Operation names ("LinkOpen=", "LinkParameter=", "PortNumber=", "DeviceInfo", "Prescaler",
  // "Prescaler=", "SavePrescalers", "ResetAccessories", "LinkOpen") or exact call log entries
  // ("Prescaler(1)=1") whose call fails.
  std::map<std::string, Failure> failing;
  // Operation names or call log entries whose call fails as the component's own calls do.
  std::map<std::string, ComponentFault> faulting;
  // Operation names or call log entries whose call throws std::bad_alloc instead.
  std::set<std::string> runningOutOfMemory;
  // When set, a PortNumber write hands this port back through the by-reference argument.
  std::optional<int16_t> portWriteBack;
  // Ports on which writing LinkOpen True opens the link; the start-up open uses defaultPort.
  std::vector<int16_t> openablePorts;
  bool everyPortOpens = false;
  int16_t defaultPort = -1;
  // DeviceInfo answers per port; a port without an entry answers Empty.
  std::map<int16_t, Value> deviceInfo;
  Value prescalers[2] = {Value::integer(1, 8, false), Value::integer(1, 8, false)};
  // When set, LinkOpen reads return these values, one per read, instead of the link state.
  std::deque<Value> linkOpenReads;
  // Runs once, inside the next call of an operation name or call log entry, as the window's
  // messages do when a component lets them through while it works.
  std::map<std::string, std::function<void()>> whileCalling;

  bool open = false;
  int16_t port = -1;

  Value LinkOpen() override {
    Call("LinkOpen", "LinkOpen");
    if (!linkOpenReads.empty()) {
      Value v = linkOpenReads.front();
      linkOpenReads.pop_front();
      return v;
    }
    return Value::boolean(open);
  }
  void SetLinkOpen(bool value) override {
    Call("LinkOpen=", std::string("LinkOpen=") + (value ? "True" : "False"));
    if (!value) {
      open = false;
      return;
    }
    const int16_t target = port < 0 ? defaultPort : port;
    open = everyPortOpens;
    for (int16_t p : openablePorts) open = open || p == target;
  }
  void SetLinkParameter(int32_t value) override {
    Call("LinkParameter=", "LinkParameter=" + std::to_string(value));
  }
  void SetPortNumber(int16_t& portIndex) override {
    Call("PortNumber=", "PortNumber=" + std::to_string(portIndex));
    if (portWriteBack) portIndex = *portWriteBack;
    port = portIndex;
  }
  Value DeviceInfo() override {
    Call("DeviceInfo", "DeviceInfo");
    const int16_t current = port < 0 ? defaultPort : port;
    auto it = deviceInfo.find(current);
    return it == deviceInfo.end() ? Value() : it->second;
  }
  Value Prescaler(int32_t channel) override {
    Call("Prescaler", "Prescaler(" + std::to_string(channel) + ")");
    return channel == 0 || channel == 1 ? prescalers[channel] : Value();
  }
  void SetPrescaler(int32_t channel, uint8_t value) override {
    Call("Prescaler=", "Prescaler(" + std::to_string(channel) + ")=" + std::to_string(value));
  }
  void SavePrescalers() override { Call("SavePrescalers", "SavePrescalers"); }
  void ResetAccessories() override { Call("ResetAccessories", "ResetAccessories"); }

 private:
  void Call(const std::string& operation, const std::string& entry) {
    for (const std::string& name : {operation, entry}) {
      auto pumping = whileCalling.find(name);
      if (pumping == whileCalling.end()) continue;
      const std::function<void()> messages = std::move(pumping->second);
      whileCalling.erase(pumping);
      messages();
    }
    if (runningOutOfMemory.count(operation) + runningOutOfMemory.count(entry) > 0) {
      calls.push_back(entry + " failed");
      throw std::bad_alloc();
    }
    auto fault = faulting.find(operation);
    if (fault == faulting.end()) fault = faulting.find(entry);
    if (fault != faulting.end()) {
      calls.push_back(entry + " failed");
      throw fault->second;
    }
    auto it = failing.find(operation);
    if (it == failing.end()) it = failing.find(entry);
    if (it != failing.end()) {
      calls.push_back(entry + " failed");
      throw it->second;
    }
    calls.push_back(entry);
  }
};

struct MessageBoxShown {
  std::string text;
  std::string title;
};

// An in-memory window.
class FakeView : public FormView {
 public:
  std::string report;
  std::string status;
  uint32_t statusColour = 0x80000008;  // the system's window-text colour until set
  bool resetVisible = false;
  bool detectVisible = false;
  bool timerEnabled = false;
  std::optional<std::string> clipboard;
  std::vector<MessageBoxShown> messages;
  int unloads = 0;
  // Clicks whose buttons are shown but disabled.
  std::set<FormEvent> disabled;
  int reportWrites = 0;
  // The message box is shown, then fails as it closes.
  bool messageBoxFails = false;
  // Runs while a message box is up, as the box's own message loop would run other events.
  std::function<void()> whileMessageShown;
  // Runs while the window unloads, as the control's deactivation may let messages through.
  std::function<void()> whileUnloading;

  std::string ReportText() override { return report; }
  void SetReportText(const std::string& text) override {
    ++reportWrites;
    report = text;
  }
  std::string StatusText() override { return status; }
  void SetStatusText(const std::string& text) override { status = text; }
  void SetStatusColour(uint32_t colour) override { statusColour = colour; }
  void ShowButton(MaintenanceButton button) override {
    (button == MaintenanceButton::Reset ? resetVisible : detectVisible) = true;
  }
  void EnableTimer(bool enabled) override { timerEnabled = enabled; }
  void PutOnClipboard(const std::string& text) override { clipboard = text; }
  void ShowInformation(const std::string& text, const std::string& title) override {
    messages.push_back({text, title});
    if (whileMessageShown) whileMessageShown();
    if (messageBoxFails) throw Failure("user32", "MessageBoxW");
  }
  // As the window answers: yes only for a click of a button that is shown and enabled.
  bool CanBeClicked(FormEvent click) override {
    if (disabled.count(click) > 0) return false;
    switch (click) {
      case FormEvent::cmdReset_Click:
        return resetVisible;
      case FormEvent::cmdDetect_Click:
        return detectVisible;
      case FormEvent::cmdCopy_Click:
      case FormEvent::cmdExit_Click:
        return true;
      default:
        return false;
    }
  }
  void Unload() override {
    ++unloads;
    if (whileUnloading) whileUnloading();
  }
};

// A port check that reads at once, with the reader it is given, and records the ports chosen
// from that reading; it answers `results`. The test raises FormEvent::PortCheck_Done itself, as
// the window does once a real check has its results.
class FakePortCheck : public PortCheck {
 public:
  std::vector<std::vector<int16_t>> started;
  WindowsDevices devices;
  std::vector<PortCheckResult> results;
  // When set, Start throws it, as when the check cannot start for a reason of the program's.
  std::optional<Failure> failing;
  // When set, Results throws it, as when the results cannot be read.
  std::optional<Failure> failingResults;
  // When not 0, Start answers this Windows error, as when Windows cannot start the check.
  uint32_t notStarting = 0;

  uint32_t Start(WindowsDevicesReader read, PortChooser choose) override {
    if (failing) throw *failing;
    if (notStarting != 0) return notStarting;
    devices = WhatWindowsSees(read);
    started.push_back(choose(devices));
    return 0;
  }
  WindowsDevices Devices() override { return devices; }
  std::vector<PortCheckResult> Results() override {
    if (failingResults) throw *failingResults;
    return results;
  }
};

inline constexpr const char* kInstalledComponent =
    "C:\\Archivos de programa\\Velmaris\\QelCtrl.ocx";
// What the section on what Windows sees ends with for that component.
inline constexpr const char* kInstalledComponentLine =
    "Componente de adquisición: C:\\Archivos de programa\\Velmaris\\QelCtrl.ocx, versión 3.6.2.17.";

// What Windows says of the component, as the test sets it (an installed component unless told
// otherwise); it records what was read.
class FakeComponentLookup : public ComponentLookup {
 public:
  ComponentRegistration registration{"QELCTRLLibCtl.QelCtrlMain",
                                     ClassesRoot::Machine,
                                     "{16A5E01E-273D-477B-9CF7-BACA07235591}",
                                     "",
                                     ClassesRoot::Machine,
                                     kInstalledComponent,
                                     kInstalledComponent};
  ComponentFile file{true, std::array<uint16_t, 4>{3, 6, 2, 17}};
  FakeComponentFiles files;
  int registrationReadings = 0;
  std::vector<std::string> filesRead;  // the paths ReadFile was given

  ComponentRegistration ReadRegistration() override {
    ++registrationReadings;
    return registration;
  }
  ComponentFile ReadFile(const std::string& path) override {
    filesRead.push_back(path);
    return file;
  }
  std::unique_ptr<ComponentFiles> FilesOf(const std::string&) override {
    return std::make_unique<FakeComponentFiles>(files);
  }
  uint16_t Machine() const override { return 0x14C; }
};

// An identification array as DeviceInfo hands it over: rows 0 to rows - 1 (at most 4), columns 0
// and 1,
// with the model code, firmware and serial number in column 1 and filler in column 0.
// Integers of the component's two usual widths.
inline Value I16(int64_t v) { return Value::integer(v, 16, true); }
inline Value I32(int64_t v) { return Value::integer(v, 32, true); }

inline Value IdentificationArray(Value model, Value firmware, Value serial, uint32_t rows = 4) {
  ValueArray array;
  array.bounds = {{0, rows}, {0, 2}};
  const Value column1[] = {model, firmware, Value::integer(7, 16, true), serial};
  for (uint32_t row = 0; row < rows; ++row) array.elements.push_back(Value::text("x"));
  for (uint32_t row = 0; row < rows; ++row) array.elements.push_back(column1[row]);
  return Value::array(std::move(array));
}

// Lines the load event writes before anything else.
inline constexpr size_t kHeadLines = 4;

// The report's lines, split at CR LF.
inline std::vector<std::string> ReportLines(const std::string& report) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = report.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(report.substr(start, end - start));
  }
  lines.push_back(report.substr(start));
  return lines;
}

}  // namespace velmaris::fakes

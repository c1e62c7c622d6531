#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/FormView.h"
#include "link/AcquisitionControl.h"
#include "link/Failure.h"

namespace velmaris::testing {

// An in-memory acquisition control: logs every call as a short text and answers from a script.
class FakeControl : public AcquisitionControl {
 public:
  std::vector<std::string> calls;
  // Operation names ("LinkOpen=", "LinkParameter=", "PortNumber=", "DeviceInfo", "Prescaler",
  // "Prescaler=", "SavePrescalers", "ResetAccessories", "LinkOpen") whose call fails.
  std::map<std::string, Failure> failing;
  // Ports on which writing LinkOpen True opens the link; the start-up open uses defaultPort.
  std::vector<int16_t> openablePorts;
  int16_t defaultPort = -1;
  // DeviceInfo answers per port; a port without an entry answers Empty.
  std::map<int16_t, Value> deviceInfo;
  Value prescalers[2] = {Value::integer(1, 8, false), Value::integer(1, 8, false)};
  // When set, LinkOpen reads return these values, one per read, instead of the link state.
  std::deque<Value> linkOpenReads;

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
    open = false;
    for (int16_t p : openablePorts) open = open || p == target;
  }
  void SetLinkParameter(int32_t value) override {
    Call("LinkParameter=", "LinkParameter=" + std::to_string(value));
  }
  void SetPortNumber(int16_t& portIndex) override {
    Call("PortNumber=", "PortNumber=" + std::to_string(portIndex));
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
    auto it = failing.find(operation);
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
  bool unloaded = false;
  int reportWrites = 0;

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
  }
  void Unload() override { unloaded = true; }
};

}  // namespace velmaris::testing

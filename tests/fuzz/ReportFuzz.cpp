// Fuzzes the identification report with identification values and prescaler readings built from
// the fuzzer's bytes, once called directly and once through a scan tick. The report may only
// grow by whole appended lines, the lines must keep their shape, and a failure must stop the
// step before cmdReset is shown.

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "Fakes.h"
#include "FuzzInvariants.h"
#include "FuzzValues.h"
#include "app/frmQel.h"
#include "common/Failure.h"
#include "link/PortScan.h"
#include "value/Conversions.h"

namespace velmaris::fuzzing {
namespace {

using fakes::FakeControl;
using fakes::FakeView;

// A window that checks every write of the report: the old text stays as it was and exactly one
// line is added after a CR LF. The added lines are kept in order.
class RecordingView : public FakeView {
 public:
  std::vector<std::string> added;
  bool recording = false;

  void SetReportText(const std::string& text) override {
    if (recording) {
      Require(text.size() >= report.size() + 2 && StartsWith(text, report) &&
                  text.compare(report.size(), 2, "\r\n") == 0,
              "a report write appends one line to the old text");
      added.push_back(text.substr(report.size() + 2));
    }
    FakeView::SetReportText(text);
  }
};

struct Inputs {
  Value identification;
  Value prescalers[2];
  bool prescalerFails[2] = {false, false};
  int16_t windowsLevel = 7;
  std::string pasted;  // text the user put into the report pane before the unit answered
};

Inputs Decode(FuzzedDataProvider& data) {
  ValueSource source(data);
  Inputs in;
  in.windowsLevel = data.ConsumeIntegral<int16_t>();
  for (int channel = 0; channel < 2; ++channel) {
    in.prescalerFails[channel] = data.ConsumeIntegralInRange(0, 15) == 0;
    in.prescalers[channel] = data.ConsumeBool()
                                 ? Value::integer(data.ConsumeIntegral<uint8_t>(), 8, false)
                                 : source.Scalar();
  }
  if (data.ConsumeIntegralInRange(0, 7) == 0) in.pasted = data.ConsumeRandomLengthString(200);
  if (data.ConsumeBool()) {
    // The usual shape: rows 0 to 3, columns 0 and 1.
    ValueArray array;
    array.bounds = {{0, 4}, {0, 2}};
    for (int i = 0; i < 8; ++i) array.elements.push_back(source.Any(1));
    in.identification = Value::array(std::move(array));
  } else {
    in.identification = source.Any();
  }
  return in;
}

struct Unit {
  RecordingView view;
  FakeControl control;
  fakes::FakePortCheck portCheck;
  fakes::FakeComponentLookup component;
  frmQel form;

  explicit Unit(const Inputs& in)
      : form(
            view, control, [level = in.windowsLevel] { return level; },
            [] { return WindowsDevices{}; }, portCheck, component) {
    control.defaultPort = 3;
    control.openablePorts = {3};
    control.deviceInfo[3] = in.identification;
    for (int channel = 0; channel < 2; ++channel) {
      control.prescalers[channel] = in.prescalers[channel];
      if (in.prescalerFails[channel]) {
        control.failing.emplace("Prescaler(" + std::to_string(channel) + ")",
                                Failure("QelCtrlInertial", "Prescaler failed"));
      }
    }
    form.Form_Load();
    if (!in.pasted.empty()) view.report += in.pasted;
    control.calls.clear();
    view.recording = true;
  }
};

bool IsDecimal(const std::string& text, long lowest, long highest) {
  if (text.empty() || text.size() > 11) return false;
  const size_t digits = text[0] == '-' ? 1 : 0;
  if (text.size() == digits || text.find_first_not_of("0123456789", digits) != std::string::npos)
    return false;
  if (text[digits] == '0' && (text.size() > digits + 1 || digits == 1)) return false;
  const long number = std::strtol(text.c_str(), nullptr, 10);
  return number >= lowest && number <= highest;
}

// The shape of each identification line that was written, and what a stop before the end of
// the step implies for the buttons.
void CheckLines(const Unit& unit, const ModelCatalogue& names, bool failed) {
  const std::vector<std::string>& lines = unit.view.added;
  const size_t n = lines.size();
  const std::string model = "Código de Modelo: ";
  if (n >= 1) {
    Require(StartsWith(lines[0], model) && IsDecimal(lines[0].substr(model.size()), -32768, 32767),
            "line 1 is the 16-bit model code", lines[0]);
  }
  if (n >= 2) {
    bool known = false;
    for (int32_t code = ModelCatalogue::kLowest; code <= ModelCatalogue::kHighest; ++code) {
      known = known || lines[1] == "Nombre del Modelo: " + names.Name(code);
    }
    Require(known, "line 2 names a catalogue entry", lines[1]);
  }
  if (n >= 3) {
    const std::string label = "Número de Serie: ";
    const std::string hex = lines[2].substr(label.size());
    Require(StartsWith(lines[2], label) && !hex.empty() && hex.size() <= 8 &&
                hex.find_first_not_of("0123456789ABCDEF") == std::string::npos &&
                (hex == "0" || hex[0] != '0'),
            "line 3 is the serial number in hexadecimal", lines[2]);
  }
  if (n >= 4) Require(StartsWith(lines[3], "Versión de Firmware: "), "line 4 is the firmware");
  for (size_t i = 4; i < 6 && i < n; ++i) {
    const std::string label = "Prescaler RPM" + std::to_string(i - 3) + ": ";
    Require(StartsWith(lines[i], label) && IsDecimal(lines[i].substr(label.size()), 0, 255),
            "lines 5 and 6 are the prescaler bytes", lines[i]);
  }

  Require(unit.view.resetVisible == (n >= 6), "cmdReset is visible iff both prescaler lines are");
  Require(failed == !unit.view.resetVisible, "the step fails iff it stops before cmdReset");
  if (failed) {
    Require(n <= 5, "a failed step stops within the identification lines");
    Require(!unit.view.detectVisible, "a failed step shows no cmdDetect");
    return;
  }
  static const std::set<size_t> kLineCounts = {15, 16, 17, 18, 20, 21, 23, 24, 28, 29};
  Require(kLineCounts.count(n) == 1, "a complete report has one of the documented lengths",
          std::to_string(n));
  bool koraNet = false;
  for (const std::string& line : lines) koraNet = koraNet || line == "==== KORANET ====";
  Require(koraNet == unit.view.detectVisible, "cmdDetect is visible iff the KoraNET note is");
}

void CheckOneInput(const Inputs& in) {
  ModelCatalogue names;
  names.FillModelCatalogue();

  // Directly: anything thrown must be the program's Failure.
  Unit direct(in);
  const std::string status = direct.view.status;
  const bool timer = direct.view.timerEnabled;
  bool failed = false;
  try {
    direct.form.WriteIdentificationReport(in.identification);
  } catch (const Failure&) {
    failed = true;
  } catch (...) {
    Fail("the report step threw something other than a Failure");
  }
  CheckLines(direct, names, failed);
  Require(direct.view.status == status && direct.view.timerEnabled == timer,
          "the report step leaves the status and the timer alone");
  for (const std::string& call : direct.control.calls) {
    Require(call == "Prescaler(0)" || call == "Prescaler(1)" || call == "Prescaler(0) failed" ||
                call == "Prescaler(1) failed",
            "the report step only reads the prescalers", call);
  }

  // Through the scan tick that finds the unit: the same lines, and a failure is shown once.
  Unit ticked(in);
  ticked.form.Raise(FormEvent::Timer1_Timer);
  if (in.identification.isEmpty()) {
    Require(ticked.view.added.empty() && ticked.view.messages.empty(),
            "an Empty identification is a scan outcome");
    return;
  }
  Require(ticked.view.status == kConnected, "the tick shows CONECTADO before the report");
  Require(ticked.view.added == direct.view.added, "the tick writes the same report");
  Require(ticked.view.messages.size() == (failed ? 1u : 0u), "a failed tick shows one message");
  const std::string report = ticked.view.report;
  ticked.form.Raise(FormEvent::Timer1_Timer);
  Require(ticked.view.report == report, "a connected tick writes nothing");
}

}  // namespace
}  // namespace velmaris::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  velmaris::fuzzing::CheckOneInput(velmaris::fuzzing::Decode(data));
  return 0;
}

// Values no sane component hands over, through the tick and the report: each either works as a
// value of its kind or ends the event in a Failure, and never corrupts the report.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "Fakes.h"
#include "FormFixture.h"
#include "app/frmQel.h"
#include "common/Failure.h"

namespace velmaris {
namespace {

using fakes::I16;

using fakes::IdentificationArray;
using fakes::ReportLines;

using fakes::kHeadLines;

struct Hostile : fakes::FormTest {
  void SetUp() override { form.Form_Load(); }

  // Runs the report as the tick would, and returns how many lines it added (-1: it failed).
  std::pair<bool, size_t> Report(const Value& identification) {
    const std::string before = view.report;
    bool failed = false;
    try {
      form.WriteIdentificationReport(identification);
    } catch (const Failure&) {
      failed = true;
    }
    EXPECT_EQ(view.report.compare(0, before.size(), before), 0) << "earlier text kept";
    return {failed, ReportLines(view.report).size() - ReportLines(before).size()};
  }
};

TEST_F(Hostile, IdentificationShapesThatCannotBeReadFailBeforeAnyLine) {
  ValueArray threeDimensional;
  threeDimensional.bounds = {{0, 4}, {0, 2}, {0, 1}};
  threeDimensional.elements.assign(8, I16(21));
  ValueArray oneBased;  // (0, 1) lies outside it
  oneBased.bounds = {{1, 4}, {1, 2}};
  oneBased.elements.assign(8, I16(21));
  ValueArray empty;
  empty.bounds = {{0, 0}, {0, 0}};
  ValueArray inner;
  inner.bounds = {{0, 1}};
  inner.elements = {I16(21)};
  for (const Value& identification :
       {Value::array(threeDimensional), Value::array(oneBased), Value::array(empty), Value::null(),
        Value::unsupported("VT_DISPATCH"), Value::real(21.0),
        IdentificationArray(Value::array(inner), I16(1), I16(1)),
        IdentificationArray(Value::unsupported("VT_UNKNOWN"), I16(1), I16(1)),
        IdentificationArray(Value::real(INFINITY), I16(1), I16(1))}) {
    const auto [failed, added] = Report(identification);
    EXPECT_TRUE(failed);
    EXPECT_EQ(added, 0u);
  }
  EXPECT_FALSE(view.resetVisible);
}

TEST_F(Hostile, OddElementsFailAtTheirOwnLine) {
  EXPECT_EQ(Report(IdentificationArray(I16(21), I16(1), Value::unsupported("VT_DISPATCH"))),
            std::make_pair(true, size_t{2}));
  EXPECT_EQ(Report(IdentificationArray(I16(21), I16(1), Value::real(NAN))),
            std::make_pair(true, size_t{2}));
  EXPECT_EQ(Report(IdentificationArray(I16(21), Value::unsupported("VT_DISPATCH"), I16(1))),
            std::make_pair(true, size_t{3}));
  EXPECT_FALSE(view.resetVisible);
}

// Huge texts are read whole (the model code behind ten million zeros) but written cut.
TEST_F(Hostile, HugeTextsAreReadWholeAndWrittenCut) {
  const std::string firmware(10 << 20, '7');
  const std::string model = std::string(10 << 20, '0') + "21";
  EXPECT_EQ(Report(IdentificationArray(Value::text(model), Value::text(firmware), I16(1))),
            std::make_pair(false, size_t{17}));
  const std::vector<std::string> lines = ReportLines(view.report);
  EXPECT_EQ(lines[kHeadLines], "Código de Modelo: 21");
  EXPECT_EQ(lines[kHeadLines + 1], "Nombre del Modelo: Nexo KoraNET");
  EXPECT_EQ(lines[kHeadLines + 3], "Versión de Firmware: " + firmware.substr(0, 1000) + "[…]");
}

TEST_F(Hostile, PrescalersAreReadAsBytesOrFail) {
  const std::pair<Value, const char*> readings[] = {{Value::text("16"), "Prescaler RPM1: 16"},
                                                    {Value::real(1.5), "Prescaler RPM1: 2"},
                                                    {Value::real(2.5), "Prescaler RPM1: 2"},
                                                    {Value::boolean(false), "Prescaler RPM1: 0"},
                                                    {Value::text("x"), nullptr},
                                                    {Value::real(255.5), nullptr},
                                                    {Value::boolean(true), nullptr},
                                                    {Value::null(), nullptr}};
  for (const auto& [reading, line] : readings) {
    fakes::FakeForm fresh;
    fresh.control.prescalers[0] = reading;
    fresh.form.Form_Load();
    if (line == nullptr) {
      EXPECT_THROW(
          fresh.form.WriteIdentificationReport(IdentificationArray(I16(19), I16(1), I16(1))),
          Failure);
      EXPECT_EQ(ReportLines(fresh.view.report).size(), kHeadLines + 4);
    } else {
      fresh.form.WriteIdentificationReport(IdentificationArray(I16(19), I16(1), I16(1)));
      EXPECT_EQ(ReportLines(fresh.view.report)[kHeadLines + 4], line);
    }
  }
}

TEST_F(Hostile, LinkOpenReadingsDecideTheTickOrEndIt) {
  control.openablePorts = {1};
  control.defaultPort = 1;
  const std::pair<Value, bool> open[] = {{Value::text("True"), true},
                                         {Value::text("0"), false},
                                         {Value::real(0.5), true},
                                         {Value::text("false"), false},
                                         {Value::integer(-1, 16, true), true}};
  for (const auto& [reading, isOpen] : open) {
    control.calls.clear();
    control.linkOpenReads = {reading, Value::boolean(false)};
    form.Timer1_Timer();
    EXPECT_EQ(control.calls[1],
              isOpen ? "DeviceInfo" : "PortNumber=" + std::to_string(control.port));
  }
  for (const Value& reading : {Value::text("abc"), Value::null(), Value::unsupported("VT_DISPATCH"),
                               Value::text("1e400")}) {
    control.calls.clear();
    control.linkOpenReads = {reading};
    EXPECT_THROW(form.Timer1_Timer(), Failure);
    EXPECT_EQ(control.calls.size(), 1u) << "the tick ends at the reading, before the scan moves";
  }
}

}  // namespace
}  // namespace velmaris

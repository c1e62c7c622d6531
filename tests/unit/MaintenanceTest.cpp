#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Fakes.h"
#include "FormFixture.h"
#include "app/frmQel.h"

namespace velmaris {
namespace {

using fakes::IdentificationArray;
using ::testing::ElementsAre;

struct Maintenance : fakes::FormTest {
  void SetUp() override {
    form.Form_Load();
    form.WriteIdentificationReport(IdentificationArray(
        Value::integer(21, 16, true), Value::text("3.10"), Value::integer(300, 16, true)));
    view.status = "CONECTADO";
    control.calls.clear();
  }
};

TEST_F(Maintenance, RepairWritesBothChannelsThenSavesAndTouchesNothingElse) {
  const std::string report = view.report;
  form.cmdReset_Click();
  form.cmdReset_Click();
  EXPECT_THAT(control.calls, ElementsAre("Prescaler(0)=1", "Prescaler(1)=1", "SavePrescalers",
                                         "Prescaler(0)=1", "Prescaler(1)=1", "SavePrescalers"));
  EXPECT_EQ(view.report, report);
  EXPECT_EQ(view.status, "CONECTADO");
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(Maintenance, RepairStopsAtTheFailedWrite) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"Prescaler(0)=1", {"Prescaler(0)=1 failed"}},
      {"Prescaler(1)=1", {"Prescaler(0)=1", "Prescaler(1)=1 failed"}},
      {"SavePrescalers", {"Prescaler(0)=1", "Prescaler(1)=1", "SavePrescalers failed"}},
  };
  const std::string report = view.report;
  for (const auto& [failingCall, expectedCalls] : cases) {
    SCOPED_TRACE(failingCall);
    control.calls.clear();
    control.failing.clear();
    control.failing.emplace(failingCall, Failure("QelCtrlInertial", "sin respuesta"));
    EXPECT_THROW(form.cmdReset_Click(), Failure);
    EXPECT_EQ(control.calls, expectedCalls);
    EXPECT_EQ(view.report, report);
  }
}

TEST_F(Maintenance, DetectResetsTheAccessoriesOnEveryClick) {
  form.cmdDetect_Click();
  form.cmdDetect_Click();
  EXPECT_THAT(control.calls, ElementsAre("ResetAccessories", "ResetAccessories"));
  control.failing.emplace("ResetAccessories", Failure("QelCtrlInertial", "sin bus"));
  EXPECT_THROW(form.cmdDetect_Click(), Failure);
}

}  // namespace
}  // namespace velmaris

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CallLog.h"
#include "WineTestSupport.h"
#include "common/Failure.h"
#include "common/win32/Scoped.h"
#include "link/ComponentFault.h"
#include "link/win32/ActiveXHost.h"
#include "link/win32/DispatchControl.h"

namespace velmaris {
namespace {

using test::ControlPlace;
using test::SimulatorSession;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsSupersetOf;
using ::testing::Not;

// Hosts the simulated component with a scenario, as the window does, and drives it.
class DispatchControlTest : public ::testing::Test {
 protected:
  void Host(SimulatorSession session) {
    session_ = std::make_unique<SimulatorSession>(std::move(session));
    host_ = ActiveXHost::Create(window_.get(), ControlPlace(), test::ControlAmbience());
    control_ = std::make_unique<DispatchControl>(host_->dispatch());
  }
  // Every failed call is the component's, with its facts for the report.
  ComponentFault CatchFailure(const std::function<void()>& call) {
    try {
      call();
    } catch (const ComponentFault& failure) {
      return failure;
    }
    ADD_FAILURE() << "no failure raised";
    return ComponentFault("", "", {});
  }

  OleSession apartment_;
  test::HiddenWindow window_;
  std::unique_ptr<SimulatorSession> session_;
  std::unique_ptr<ActiveXHost> host_;
  std::unique_ptr<DispatchControl> control_;
};

TEST_F(DispatchControlTest, EveryOperationGoesOutWithItsExactTypesAndFlags) {
  Host(SimulatorSession::FromShipped("com3-unit.txt"));
  control_->SetLinkOpen(false);
  control_->SetLinkParameter(10);
  control_->SetLinkOpen(true);
  EXPECT_FALSE(control_->LinkOpen().asBoolean());  // the component's own port has nothing
  int16_t port = 3;
  control_->SetPortNumber(port);
  control_->SetLinkOpen(true);
  const Value open = control_->LinkOpen();
  EXPECT_EQ(Value::Kind::Boolean, open.kind());
  EXPECT_TRUE(open.asBoolean());
  const Value info = control_->DeviceInfo();
  const Value rpm1 = control_->Prescaler(0);
  control_->SetPrescaler(1, 1);
  control_->SavePrescalers();
  control_->ResetAccessories();

  ASSERT_EQ(Value::Kind::Array, info.kind());
  const ValueArray& table = info.asArray();
  EXPECT_EQ(19, table.element(0, 1)->asInteger());
  EXPECT_EQ(16u, table.element(0, 1)->integerBits());
  EXPECT_EQ("3.10", table.element(1, 1)->asText());
  EXPECT_EQ(300, table.element(3, 1)->asInteger());
  EXPECT_EQ(32u, table.element(3, 1)->integerBits());
  EXPECT_EQ(1, rpm1.asInteger());
  EXPECT_EQ(8u, rpm1.integerBits());
  EXPECT_FALSE(rpm1.integerSigned());

  EXPECT_THAT(
      test::Operations(session_->Log()),
      ElementsAre(
          "put LinkOpen vt=VT_BOOL value=False [dispid=0x8001000D flags=PROPERTYPUT]",
          "put LinkParameter vt=VT_I4 value=10 [dispid=6 flags=PROPERTYPUT]",
          "put LinkOpen vt=VT_BOOL value=True [dispid=0x8001000D flags=PROPERTYPUT]",
          "get LinkOpen -> VT_BOOL False [dispid=0x8001000D flags=PROPERTYGET]",
          "put PortNumber vt=VT_BYREF|VT_I2 value=3 [dispid=12 flags=PROPERTYPUT]",
          "put LinkOpen vt=VT_BOOL value=True [dispid=0x8001000D flags=PROPERTYPUT]",
          "get LinkOpen -> VT_BOOL True [dispid=0x8001000D flags=PROPERTYGET]",
          "get DeviceInfo -> VT_ARRAY|VT_VARIANT 0..3,0..1 [dispid=13 flags=PROPERTYGET]",
          "get Prescaler index vt=VT_I4 value=0 -> VT_UI1 1 [dispid=20 flags=PROPERTYGET]",
          "put Prescaler index vt=VT_I4 value=1 vt=VT_UI1 value=1 [dispid=20 flags=PROPERTYPUT]",
          "call SavePrescalers [dispid=21 flags=METHOD]",
          "call ResetAccessories [dispid=65 flags=METHOD]"));
  EXPECT_THAT(session_->Log(), Not(testing::Contains(HasSubstr("GetIDsOfNames"))));
}

TEST_F(DispatchControlTest, PortNumberGoesByReferenceSoTheComponentCanWriteItBack) {
  Host(SimulatorSession::FromText("open_ports = 7\nport_writeback = 7\n"));
  int16_t port = 3;
  control_->SetPortNumber(port);
  EXPECT_EQ(7, port);
  control_->SetLinkOpen(true);
  EXPECT_TRUE(control_->LinkOpen().asBoolean());  // on port 7, where the component moved
}

TEST_F(DispatchControlTest, NoUnitMeansAnEmptyDeviceInfoOnEveryPort) {
  Host(SimulatorSession::FromShipped("all-open-silent.txt"));
  control_->SetLinkOpen(true);
  EXPECT_TRUE(control_->LinkOpen().asBoolean());
  EXPECT_TRUE(control_->DeviceInfo().isEmpty());
  int16_t port = 21;
  control_->SetPortNumber(port);
  control_->SetLinkOpen(true);
  EXPECT_TRUE(control_->LinkOpen().asBoolean());
  EXPECT_TRUE(control_->DeviceInfo().isEmpty());
}

TEST_F(DispatchControlTest, MissingOperationFailsNamingTheComponent) {
  Host(SimulatorSession::FromShipped("missing-linkparameter.txt"));
  control_->SetLinkOpen(false);
  const ComponentFault failure = CatchFailure([&] { control_->SetLinkParameter(10); });
  EXPECT_EQ("QELCTRLLibCtl.QelCtrlMain", failure.source());
  EXPECT_THAT(failure.description(), HasSubstr("0x80020003"));  // DISP_E_MEMBERNOTFOUND
  // The report names the operation as the contract does.
  EXPECT_EQ(failure.facts().stage, ComponentFailure::Stage::Call);
  EXPECT_EQ(failure.facts().hresult, 0x80020003u);
  EXPECT_EQ(failure.facts().operation, "LinkParameter");
  EXPECT_THAT(test::WithoutDetails(test::Operations(session_->Log())),
              ElementsAre("put LinkOpen vt=VT_BOOL value=False",
                          "put LinkParameter vt=VT_I4 value=10 -> DISP_E_MEMBERNOTFOUND"));
}

TEST_F(DispatchControlTest, ComponentExceptionCarriesItsOwnSourceAndDescription) {
  Host(
      SimulatorSession::FromText("fail = SavePrescalers, Prescaler\n"
                                 "fail_source = QelCtrlInertial\n"
                                 "fail_description = Canal inv\xc3\xa1lido\n"));
  ComponentFault failure = CatchFailure([&] { control_->SavePrescalers(); });
  EXPECT_EQ("QelCtrlInertial", failure.source());
  EXPECT_EQ("Canal inv\xc3\xa1lido", failure.description());
  EXPECT_EQ(failure.facts().operation, "SavePrescalers");
  EXPECT_EQ(failure.facts().hresult, 0x80004005u) << "the component's own code";
  failure = CatchFailure([&] { control_->Prescaler(0); });
  EXPECT_EQ("QelCtrlInertial", failure.source());
  EXPECT_EQ(failure.facts().operation, "Prescaler");
}

TEST_F(DispatchControlTest, DeferredExceptionTextsAreFilledInAndAnEmptySourceIsKept) {
  Host(
      SimulatorSession::FromText("fail = ResetAccessories\nfail_deferred = yes\n"
                                 "fail_source = \"\"\nfail_description = Bus sin respuesta\n"));
  const ComponentFault failure = CatchFailure([&] { control_->ResetAccessories(); });
  EXPECT_EQ("", failure.source());
  EXPECT_EQ("Bus sin respuesta", failure.description());
}

TEST_F(DispatchControlTest, BareFailingResultFailsWithTheSystemMessageAndCode) {
  Host(SimulatorSession::FromText("fail_bare = LinkOpen\nfail_hresult = 0x80004005\n"));
  const ComponentFault failure = CatchFailure([&] { control_->LinkOpen(); });
  EXPECT_EQ("QELCTRLLibCtl.QelCtrlMain", failure.source());
  EXPECT_THAT(failure.description(), HasSubstr("0x80004005"));
  EXPECT_EQ(failure.facts().hresult, 0x80004005u);
  EXPECT_EQ(failure.facts().operation, "LinkOpen");
  // Windows' own message, kept apart from its code for the report.
  EXPECT_FALSE(failure.facts().windowsMessage.empty());
  EXPECT_EQ(failure.description(), failure.facts().windowsMessage + " (0x80004005)");
}

TEST_F(DispatchControlTest, ComponentWithOnlyIDispatchIsDrivenAllTheSame) {
  Host(SimulatorSession::FromShipped("dispatch-only.txt"));
  int16_t port = 3;
  control_->SetPortNumber(port);
  control_->SetLinkOpen(true);
  EXPECT_TRUE(control_->LinkOpen().asBoolean());
  EXPECT_EQ(19, control_->DeviceInfo().asArray().element(0, 1)->asInteger());
  const std::vector<std::string> calls = session_->Calls();
  EXPECT_THAT(calls, Not(testing::Contains(HasSubstr("SetClientSite"))));
  EXPECT_THAT(calls, Not(testing::Contains(HasSubstr("DoVerb"))));
}

TEST_F(DispatchControlTest, ShippedUnitsHandOverTheirIdentification) {
  struct Unit {
    const char* scenario;
    int16_t port;
    int64_t model;
    const char* firmware;
    int64_t serial;
    int64_t rpm1;
  } units[] = {{"koranet-unit.txt", 0, 21, "4.02", 4660, 4},
               {"serial-unit.txt", 1, 13, "1.07", 0, 1}};
  for (const Unit& unit : units) {
    SCOPED_TRACE(unit.scenario);
    control_.reset();
    host_.reset();
    Host(SimulatorSession::FromShipped(unit.scenario));
    int16_t port = unit.port;
    control_->SetPortNumber(port);
    control_->SetLinkOpen(true);
    ASSERT_TRUE(control_->LinkOpen().asBoolean());
    const Value info = control_->DeviceInfo();
    ASSERT_EQ(Value::Kind::Array, info.kind());
    EXPECT_EQ(unit.model, info.asArray().element(0, 1)->asInteger());
    EXPECT_EQ(unit.firmware, info.asArray().element(1, 1)->asText());
    EXPECT_EQ(unit.serial, info.asArray().element(3, 1)->asInteger());
    EXPECT_EQ(unit.rpm1, control_->Prescaler(0).asInteger());
    EXPECT_THAT(session_->Log(), Not(testing::Contains(HasSubstr("scenario error"))));
  }
}

TEST_F(DispatchControlTest, OddIdentificationValuesArriveIntact) {
  Host(
      SimulatorSession::FromText("open_ports = 2\nunit_port = 2\ninfo_bounds = 1..5\n"
                                 "info(1) = NULLBSTR\ninfo(2) = R8 nan\ninfo(3) = DISPATCH\n"
                                 "info(4) = DATE 45000.5\ninfo(5) = CY 12.5\n"
                                 "prescaler0 = I4 300\n"));
  int16_t port = 2;
  control_->SetPortNumber(port);
  control_->SetLinkOpen(true);
  const Value info = control_->DeviceInfo();
  ASSERT_EQ(Value::Kind::Array, info.kind());
  const ValueArray& list = info.asArray();
  ASSERT_EQ(1u, list.bounds.size());
  EXPECT_EQ(1, list.bounds[0].lower);
  ASSERT_EQ(5u, list.elements.size());
  EXPECT_EQ("", list.elements[0].asText());
  EXPECT_TRUE(std::isnan(list.elements[1].asReal()));
  EXPECT_EQ("VT_DISPATCH", list.elements[2].asText());
  EXPECT_DOUBLE_EQ(45000.5, list.elements[3].asReal());
  EXPECT_DOUBLE_EQ(12.5, list.elements[4].asReal());
  EXPECT_EQ(nullptr, list.element(3, 1));
  // A prescaler the component hands over in another type than a byte arrives as it is.
  EXPECT_EQ(300, control_->Prescaler(0).asInteger());
  EXPECT_EQ(32u, control_->Prescaler(0).integerBits());
}

}  // namespace
}  // namespace velmaris

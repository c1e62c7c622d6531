#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "WindowSearch.h"
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
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

class ActiveXHostTest : public ::testing::Test {
 protected:
  OleSession apartment_;
  test::HiddenWindow window_;
};

HWND ControlWindow(HWND parent) { return test::FindChildWindow(parent, L"STATIC", L"QelCtrlMain"); }

TEST_F(ActiveXHostTest, HandsOverSettingsAndActivatesInPlaceThenClosesTheControl) {
  SimulatorSession session = SimulatorSession::FromShipped("com3-unit.txt");
  {
    auto host = ActiveXHost::Create(window_.get(), ControlPlace(), test::ControlAmbience());
    ASSERT_NE(nullptr, host->dispatch());
    const HWND child = ControlWindow(window_.get());
    ASSERT_NE(nullptr, child);
    RECT place = {};
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, window_.get(), reinterpret_cast<POINT*>(&place), 2);
    const RECT expected = ToPixels(ControlPlace(), ReadScreenDpi());
    EXPECT_EQ(expected.left, place.left);
    EXPECT_EQ(expected.top, place.top);
  }
  EXPECT_EQ(nullptr, ControlWindow(window_.get()));
  // The simulated control asks for its site first, as real controls usually do, and reads the
  // ambient properties from it (the end-to-end start-up test checks their values); after Close
  // the site has no window to give.
  EXPECT_THAT(session.Calls(),
              ElementsAre("Create", "SetClientSite", StartsWith("Ambient UserMode=VT_BOOL True "),
                          "Load propertybag _ExtentX=VT_I4 900 _ExtentY=VT_I4 900 "
                          "_StockProps=VT_I4 11",
                          "SetExtent 900x900", "DoVerb -5", "InPlaceActivate at 8,512 34x34",
                          "InPlaceDeactivate", "Close", "SetClientSite null"));
}

TEST_F(ActiveXHostTest, StartsTheControlAfreshWhenItCannotLoadSavedSettings) {
  for (const char* scenario : {"propertybag = no\n", "propertybag = fail\n"}) {
    SCOPED_TRACE(scenario);
    SimulatorSession session = SimulatorSession::FromText(scenario);
    auto host = ActiveXHost::Create(window_.get(), ControlPlace(), test::ControlAmbience());
    const std::vector<std::string> calls = session.Calls();
    EXPECT_THAT(calls, Contains("InitNew"));
    EXPECT_THAT(calls, Contains("DoVerb -5"));
  }
}

TEST_F(ActiveXHostTest, UnregisteredComponentFailsNamingIt) {
  try {
    ActiveXHost::Create(window_.get(), ControlPlace(), test::ControlAmbience(),
                        "QELCTRLLibCtl.QelCtrlAbsent");
    FAIL() << "no failure raised";
  } catch (const ComponentFault& failure) {
    EXPECT_EQ("QELCTRLLibCtl.QelCtrlAbsent", failure.source());
    EXPECT_THAT(failure.description(), HasSubstr("0x800401F3"));  // CO_E_CLASSSTRING
    EXPECT_EQ(failure.facts().stage, ComponentFailure::Stage::Creation);
    EXPECT_EQ(failure.facts().hresult, 0x800401F3u);
    EXPECT_EQ(failure.facts().operation, "");
  }
}

TEST(Simulator, ShippedScenariosAreUnderstood) {
  OleSession apartment;
  test::HiddenWindow window;
  for (const char* name :
       {"com3-unit.txt", "no-unit.txt", "all-open-silent.txt", "koranet-unit.txt",
        "serial-unit.txt", "missing-linkparameter.txt", "dispatch-only.txt"}) {
    SCOPED_TRACE(name);
    SimulatorSession session = SimulatorSession::FromShipped(name);
    auto host = ActiveXHost::Create(window.get(), ControlPlace(), test::ControlAmbience());
    EXPECT_THAT(session.Log(), Not(Contains(HasSubstr("scenario error"))));
  }
}

TEST(Simulator, StartUpOpenUsesTheComponentsOwnPort) {
  OleSession apartment;
  test::HiddenWindow window;
  struct Case {
    const char* scenario;
    bool opens;
  } cases[] = {{"default_port = 4\nopen_ports = 4\n", true},
               {"default_port = 4\nopen_ports = 3\n", false},
               {"default_port = 4\nopen_ports = 4\nstartup_open = no\n", false},
               {"default_port = 4\nopen_ports = none\nstartup_open = yes\n", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    SimulatorSession session = SimulatorSession::FromText(c.scenario);
    auto host = ActiveXHost::Create(window.get(), ControlPlace(), test::ControlAmbience());
    DispatchControl control(host->dispatch());
    control.SetLinkOpen(true);
    EXPECT_EQ(c.opens, control.LinkOpen().asBoolean());
  }
}

}  // namespace
}  // namespace velmaris

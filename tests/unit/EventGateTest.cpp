// Events that arrive while another runs, as they do when the component lets the window's messages
// through in the middle of a call: each is kept and carried out after the running one, once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "Fakes.h"
#include "FormFixture.h"
#include "WindowsDevicesFacts.h"
#include "app/EventGate.h"
#include "app/frmQel.h"

namespace velmaris {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// The calls of one tick on a closed link whose open fails.
const std::vector<std::string> kTickCalls = {"LinkOpen", "PortNumber=0", "LinkOpen=True",
                                             "LinkOpen"};
const std::vector<std::string> kResetCalls = {"Prescaler(0)=1", "Prescaler(1)=1", "SavePrescalers"};

std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The form loaded, with both maintenance buttons shown.
void Prepare(fakes::FakeForm& run) {
  run.Load();
  run.view.resetVisible = run.view.detectVisible = true;
}

// Raises `arriving` in the middle of the component call `during`, once.
void Arrive(fakes::FakeForm& run, const std::string& during, std::vector<FormEvent> arriving) {
  run.control.whileCalling[during] = [&run, arriving] {
    for (FormEvent event : arriving) run.form.Raise(event);
  };
}

struct EventGate : fakes::FormTest {
  void SetUp() override { Prepare(*this); }
};

TEST_F(EventGate, EventsArrivingDuringATickRunAfterItInOrderOnce) {
  const struct {
    const char* what;
    std::vector<FormEvent> arriving;
    std::vector<std::string> calls;
    int unloads;
  } rows[] = {
      {"a click", {FormEvent::cmdReset_Click}, Join({kTickCalls, kResetCalls}), 0},
      {"two clicks",
       {FormEvent::cmdDetect_Click, FormEvent::cmdReset_Click},
       Join({kTickCalls, {"ResetAccessories"}, kResetCalls}),
       0},
      {"the same click twice",
       {FormEvent::cmdDetect_Click, FormEvent::cmdDetect_Click},
       Join({kTickCalls, {"ResetAccessories", "ResetAccessories"}}),
       0},
      {"a tick", {FormEvent::Timer1_Timer}, kTickCalls, 0},
      {"the close box", {FormEvent::CloseRequest}, kTickCalls, 1},
      {"a click then Salir",
       {FormEvent::cmdDetect_Click, FormEvent::cmdExit_Click},
       Join({kTickCalls, {"ResetAccessories"}}),
       1},
      {"Salir then a click, a tick and the close box",
       {FormEvent::cmdExit_Click, FormEvent::cmdReset_Click, FormEvent::Timer1_Timer,
        FormEvent::CloseRequest},
       kTickCalls,
       1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    fakes::FakeForm run;
    Prepare(run);
    Arrive(run, "PortNumber=", row.arriving);
    run.form.Raise(FormEvent::Timer1_Timer);
    EXPECT_THAT(run.control.calls, ElementsAreArray(row.calls));
    EXPECT_EQ(run.view.unloads, row.unloads);
    // Once unloaded, nothing runs any more.
    run.control.calls.clear();
    run.form.Raise(FormEvent::Timer1_Timer);
    EXPECT_EQ(run.control.calls.empty(), row.unloads == 1);
  }
}

// The copy comes after the tick, so it holds what the tick wrote: the report is whole.
TEST_F(EventGate, ACopyClickDuringTheLastTickCopiesTheWholeReport) {
  for (int port = 0; port <= 20; ++port) form.Raise(FormEvent::Timer1_Timer);
  Arrive(*this, "LinkOpen=True", {FormEvent::cmdCopy_Click});
  form.Raise(FormEvent::Timer1_Timer);
  EXPECT_EQ(view.status, "NO DETECTADO");
  ASSERT_TRUE(view.clipboard.has_value());
  EXPECT_EQ(*view.clipboard, view.report);
}

// Every button's click, each taken away in one of the rows.
TEST(EventGateClicks, AKeptClickWhoseButtonWasHiddenOrDisabledMeanwhileIsDropped) {
  const struct {
    const char* what;
    std::function<void(fakes::FakeView&)> takeAway;
    std::vector<FormEvent> arriving;
    std::vector<std::string> calls;
  } rows[] = {
      {"Detectar hidden and Copiar disabled, then Restablecer",
       [](fakes::FakeView& view) {
         view.detectVisible = false;
         view.disabled.insert(FormEvent::cmdCopy_Click);
       },
       {FormEvent::cmdDetect_Click, FormEvent::cmdCopy_Click, FormEvent::cmdReset_Click},
       Join({kTickCalls, kResetCalls})},
      {"Restablecer hidden and Salir disabled",
       [](fakes::FakeView& view) {
         view.resetVisible = false;
         view.disabled.insert(FormEvent::cmdExit_Click);
       },
       {FormEvent::cmdReset_Click, FormEvent::cmdExit_Click},
       kTickCalls},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    fakes::FakeForm run;
    Prepare(run);
    row.takeAway(run.view);
    Arrive(run, "PortNumber=", row.arriving);
    run.form.Raise(FormEvent::Timer1_Timer);
    EXPECT_THAT(run.control.calls, ElementsAreArray(row.calls));
    EXPECT_FALSE(run.view.clipboard.has_value());
    EXPECT_EQ(run.view.unloads, 0);
  }
}

TEST_F(EventGate, ATickDuringAClickIsSkippedAndTheNextOneRuns) {
  Arrive(*this, "SavePrescalers", {FormEvent::Timer1_Timer});
  form.Raise(FormEvent::cmdReset_Click);
  EXPECT_THAT(control.calls, ElementsAreArray(kResetCalls));
  form.Raise(FormEvent::Timer1_Timer);
  EXPECT_THAT(control.calls, ElementsAreArray(Join({kResetCalls, kTickCalls})));
}

// The control's deactivation may let messages through: the window unloads once, and nothing runs
// inside the unload.
TEST_F(EventGate, EverythingDuringTheUnloadIsIgnored) {
  view.whileUnloading = [this] {
    for (FormEvent event : {FormEvent::CloseRequest, FormEvent::cmdExit_Click,
                            FormEvent::cmdCopy_Click, FormEvent::Timer1_Timer}) {
      form.Raise(event);
    }
  };
  form.Raise(FormEvent::cmdExit_Click);
  form.Raise(FormEvent::CloseRequest);
  EXPECT_EQ(view.unloads, 1);
  EXPECT_TRUE(control.calls.empty());
  EXPECT_FALSE(view.clipboard.has_value());
}

// The port check ends while a click waits on the component: its section comes after the click,
// whatever the window says of clicking it (it has no button).
TEST_F(EventGate, ThePortChecksEndDuringAClickIsKeptAndRunsAfterIt) {
  windowsDevices.ports = {fakes::Mapped("COM1")};
  ScanToTheEnd();
  ASSERT_EQ(portCheck.started.size(), 1u);
  portCheck.results = {{1, PortState::Free}};
  view.disabled.insert(FormEvent::PortCheck_Done);
  const std::string beforeTheClick = view.report;
  std::string duringTheClick;
  control.whileCalling["SavePrescalers"] = [this, &duringTheClick] {
    form.Raise(FormEvent::PortCheck_Done);
    duringTheClick = view.report;
  };
  form.Raise(FormEvent::cmdReset_Click);
  EXPECT_EQ(duringTheClick, beforeTheClick);
  EXPECT_THAT(fakes::ReportLines(view.report),
              ::testing::Contains("  Comprobación: libre, ningún programa lo usa."));
}

TEST_F(EventGate, ThePortChecksEndIsDroppedOnceTheWindowUnloads) {
  windowsDevices.ports = {fakes::Mapped("COM1")};
  ScanToTheEnd();
  ASSERT_EQ(portCheck.started.size(), 1u);
  form.Raise(FormEvent::CloseRequest);
  const std::string report = view.report;
  form.Raise(FormEvent::PortCheck_Done);
  EXPECT_EQ(view.report, report);
}

// A kept event fails like any other: its own box, after the running event's.
TEST_F(EventGate, AFailureInAKeptClickIsShownAfterTheRunningEventsOwn) {
  control.failing.emplace("LinkOpen=", Failure("QelCtrlInertial", "puerto ocupado"));
  control.failing.emplace("ResetAccessories", Failure("QelCtrlInertial", "sin bus"));
  Arrive(*this, "PortNumber=", {FormEvent::cmdDetect_Click, FormEvent::cmdCopy_Click});
  form.Raise(FormEvent::Timer1_Timer);
  ASSERT_EQ(view.messages.size(), 2u);
  EXPECT_EQ(view.messages[0].text,
            "Se produjo un error: puerto ocupado\r\nOrigen: QelCtrlInertial");
  EXPECT_EQ(view.messages[1].text, "Se produjo un error: sin bus\r\nOrigen: QelCtrlInertial");
  EXPECT_EQ(view.clipboard, view.report) << "the click after the failed one still runs";
}

TEST_F(EventGate, AnEventThatEndsInAFailingMessageBoxLetsTheNextOneRun) {
  control.failing.emplace("ResetAccessories", Failure("QelCtrlInertial", "sin bus"));
  view.messageBoxFails = true;
  form.Raise(FormEvent::cmdDetect_Click);
  form.Raise(FormEvent::Timer1_Timer);
  EXPECT_THAT(control.calls, ElementsAreArray(Join({{"ResetAccessories failed"}, kTickCalls})));
}

// The form's own handlers never throw; should one all the same, what was kept still runs.
TEST(EventGateAlone, EventsKeptBeforeAFailureStillRunInOrderOnceThenTheFailureIsThrown) {
  std::vector<FormEvent> ran;
  std::function<void(FormEvent)> raise;
  ::velmaris::EventGate gate(
      [&](FormEvent event) {
        ran.push_back(event);
        if (event != FormEvent::Timer1_Timer) return;
        raise(FormEvent::cmdCopy_Click);
        raise(FormEvent::CloseRequest);
        throw std::runtime_error("tick");
      },
      [](FormEvent) { return true; });
  raise = [&](FormEvent event) { gate.Raise(event); };
  EXPECT_THROW(gate.Raise(FormEvent::Timer1_Timer), std::runtime_error);
  EXPECT_THAT(
      ran, ElementsAre(FormEvent::Timer1_Timer, FormEvent::cmdCopy_Click, FormEvent::CloseRequest));
  gate.Raise(FormEvent::cmdCopy_Click);
  EXPECT_EQ(ran.size(), 3u) << "unloaded: nothing runs";
}

}  // namespace
}  // namespace velmaris

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "Fakes.h"
#include "FormFixture.h"
#include "app/frmQel.h"

namespace velmaris {
namespace {

using ::testing::ElementsAre;

const char* const kCaption = kWindowCaption;

struct FailurePolicy : fakes::FormTest {
  void SetUp() override { Load(); }

  void Tick() { form.Raise(FormEvent::Timer1_Timer); }
};

TEST_F(FailurePolicy, ShowsOneMessageWithDescriptionAndSourceAndGoesOn) {
  control.failing.emplace("LinkOpen", Failure("QelCtrlInertial", "Error de automatización"));
  Tick();
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].text,
            "Se produjo un error: Error de automatización\r\nOrigen: QelCtrlInertial");
  EXPECT_EQ(view.messages[0].title, kCaption);
  EXPECT_TRUE(view.timerEnabled);

  control.failing.clear();
  Tick();
  EXPECT_EQ(view.status, "ESCANEANDO PUERTO USB");
}

// Anything else thrown in an event is shown as a failure of the tool itself.
TEST_F(FailurePolicy, AnExceptionOfAnotherKindIsShownAsTheToolsOwn) {
  control.runningOutOfMemory.insert("LinkOpen");
  Tick();
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].text, "Se produjo un error: std::bad_alloc\r\nOrigen: VelmarisDiag");

  fakes::FakeForm starting;
  starting.control.runningOutOfMemory.insert("LinkParameter=");
  starting.form.Form_Load();
  ASSERT_EQ(starting.view.messages.size(), 1u);
  EXPECT_EQ(starting.view.messages[0].text,
            "VelmarisDiag - Esta aplicación requiere tener instalado Velmaris version 3.6.0 o "
            "superior");
  EXPECT_EQ(starting.view.messages[0].title, "Error");
  EXPECT_FALSE(starting.view.timerEnabled);
}

// What the user reads when the unit's identification lacks an element.
TEST_F(FailurePolicy, AMissingIdentificationElementIsNamedInTheMessage) {
  control.defaultPort = 1;
  control.openablePorts = {1};
  control.deviceInfo[1] = fakes::IdentificationArray(fakes::I16(21), fakes::I16(1), Value(), 3);
  form.Form_Load();
  Tick();
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].text,
            "Se produjo un error: Subíndice fuera del intervalo: la identificación no tiene el "
            "elemento (3, 1)\r\nOrigen: VelmarisDiag");
}

TEST_F(FailurePolicy, ATickFailingTheSameWayIsShownOnce) {
  control.failing.emplace("LinkOpen", Failure("QelCtrlInertial", "fallo A"));
  for (int k = 0; k < 5; ++k) Tick();
  EXPECT_EQ(view.messages.size(), 1u);

  control.failing.clear();
  control.failing.emplace("LinkOpen", Failure("QelCtrlInertial", "fallo B"));
  Tick();
  Tick();
  control.failing.clear();
  control.failing.emplace("LinkOpen", Failure("Otro", "fallo A"));
  Tick();
  ASSERT_EQ(view.messages.size(), 3u);
  EXPECT_EQ(view.messages[1].text, "Se produjo un error: fallo B\r\nOrigen: QelCtrlInertial");
  EXPECT_EQ(view.messages[2].text, "Se produjo un error: fallo A\r\nOrigen: Otro");
}

// Failures are told apart as they are shown: texts that differ only past the cut are one.
TEST_F(FailurePolicy, TickFailuresThatDifferOnlyPastTheCutAreShownOnce) {
  for (const char* end : {"A", "B"}) {
    control.failing.clear();
    control.failing.emplace("LinkOpen", Failure("QelCtrlInertial", std::string(1000, '.') + end));
    Tick();
  }
  EXPECT_EQ(view.messages.size(), 1u);
}

TEST_F(FailurePolicy, ATickFailingWithANewTextEveryTimeRaisesAFewBoxesOnly) {
  for (int k = 0; k < 200; ++k) {
    control.failing.clear();
    control.failing.emplace("LinkOpen", Failure("QelCtrlInertial", "fallo " + std::to_string(k)));
    Tick();
  }
  ASSERT_EQ(view.messages.size(), frmQel::kTickFailureBoxes);
  EXPECT_EQ(view.messages.back().text, "Se produjo un error: fallo 2\r\nOrigen: QelCtrlInertial");
  // Clicks are still answered every time.
  control.failing.emplace("SavePrescalers", Failure("QelCtrlInertial", "x"));
  form.Raise(FormEvent::cmdReset_Click);
  EXPECT_EQ(view.messages.size(), frmQel::kTickFailureBoxes + 1);
}

// The component's texts cannot add a line to the box, nor make it endless.
TEST_F(FailurePolicy, ComponentTextsStayOnTheirLineOfTheMessage) {
  control.failing.emplace("LinkOpen", Failure(std::string("Qel\r\nCtrl\0", 10),
                                              "línea 1\nlínea 2" + std::string(2000, '.')));
  Tick();
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].text, "Se produjo un error: línea 1¶línea 2" + std::string(985, '.') +
                                       "[…]\r\nOrigen: Qel¶¶Ctrl¶");
  fakes::FakeForm starting;
  starting.control.failing.emplace("LinkParameter=", Failure("Qel\nCtrl", "x"));
  starting.form.Form_Load();
  ASSERT_EQ(starting.view.messages.size(), 1u);
  EXPECT_EQ(starting.view.messages[0].text.substr(0, 12), "Qel¶Ctrl - ");
}

TEST_F(FailurePolicy, EveryFailedClickIsShown) {
  control.failing.emplace("ResetAccessories", Failure("QelCtrlInertial", "sin bus"));
  form.Raise(FormEvent::cmdDetect_Click);
  form.Raise(FormEvent::cmdDetect_Click);
  EXPECT_EQ(view.messages.size(), 2u);
  // A click failing the way a tick already did is still shown.
  control.failing.emplace("LinkOpen", Failure("QelCtrlInertial", "sin bus"));
  Tick();
  EXPECT_EQ(view.messages.size(), 3u);
}

TEST_F(FailurePolicy, ATickDuringTheMessageIsSkipped) {
  control.failing.emplace("ResetAccessories", Failure("QelCtrlInertial", "sin bus"));
  view.whileMessageShown = [this] { Tick(); };
  form.Raise(FormEvent::cmdDetect_Click);
  EXPECT_THAT(control.calls, ElementsAre("ResetAccessories failed"));
  view.whileMessageShown = nullptr;
  Tick();
  EXPECT_THAT(control.calls, ::testing::Contains("PortNumber=0"));
}

// "Salir" while the box of a failed event is up is not lost: it is kept, and the window unloads
// once that event has ended; the tick that came meanwhile is skipped.
TEST_F(FailurePolicy, AnExitClickDuringTheMessageStillUnloads) {
  control.failing.emplace("ResetAccessories", Failure("QelCtrlInertial", "sin bus"));
  view.whileMessageShown = [this] {
    form.Raise(FormEvent::cmdExit_Click);
    Tick();
  };
  form.Raise(FormEvent::cmdDetect_Click);
  EXPECT_EQ(view.unloads, 1);
  EXPECT_THAT(control.calls, ElementsAre("ResetAccessories failed"));
}

TEST_F(FailurePolicy, AFailingMessageBoxStaysInside) {
  view.whileMessageShown = [] { throw std::runtime_error("no box"); };
  control.failing.emplace("SavePrescalers", Failure("QelCtrlInertial", "x"));
  EXPECT_NO_THROW(form.Raise(FormEvent::cmdReset_Click));
  EXPECT_EQ(view.messages.size(), 1u);
  // The guard was released: the next event runs.
  view.whileMessageShown = nullptr;
  control.failing.clear();
  form.Raise(FormEvent::cmdReset_Click);
  EXPECT_THAT(control.calls, ::testing::Contains("SavePrescalers"));
}

TEST_F(FailurePolicy, PortIndexOverflowStopsTheScanWithOneMessage) {
  control.everyPortOpens = true;  // every port opens and stays silent, up to COM32767
  int ticks = 0;
  while (view.timerEnabled && ticks < 70000) {
    Tick();
    ++ticks;
  }
  EXPECT_EQ(ticks, 2 * 32768);
  EXPECT_FALSE(view.timerEnabled);
  EXPECT_EQ(control.port, 32767) << "the last port tried";
  EXPECT_EQ(view.status, "") << "no open failed, so the scan never counted a pass";
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].text, "Se produjo un error: Desbordamiento\r\nOrigen: VelmarisDiag");
}

}  // namespace
}  // namespace velmaris

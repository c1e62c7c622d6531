#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Fakes.h"
#include "FormFixture.h"
#include "app/frmQel.h"
#include "link/ComponentFault.h"
#include "link/UnavailableControl.h"

namespace velmaris {
namespace {

using fakes::FakeView;
using ::testing::Contains;
using ::testing::ElementsAre;

const char* const kHead =
    "INFORME DE DIAGNÓSTICO DE VELMARIS\r\n"
    "=====================================\r\n"
    "Herramienta de Diagnóstico Version: 2.3\r\n"
    "=====================================";

using Startup = fakes::FormTest;

TEST_F(Startup, WritesHeadPreparesLinkAndStartsTimer) {
  form.Form_Load();
  EXPECT_EQ(view.report, kHead);
  EXPECT_EQ(view.status, "");
  EXPECT_THAT(control.calls, ElementsAre("LinkOpen=False", "LinkParameter=10", "LinkOpen=True"));
  EXPECT_TRUE(view.timerEnabled);
  EXPECT_FALSE(view.resetVisible);
  EXPECT_FALSE(view.detectVisible);
  EXPECT_TRUE(view.messages.empty());
  // The catalogue is filled: the first model has its name.
  form.WriteIdentificationReport(
      fakes::IdentificationArray(fakes::I16(0), Value::text("1.0"), fakes::I32(1)));
  EXPECT_EQ(fakes::ReportLines(view.report)[fakes::kHeadLines + 1], "Nombre del Modelo: TX-2 8");
}

TEST_F(Startup, ComponentWithoutLinkParameterGetsOneMessageAndNoScan) {
  control.failing.emplace("LinkParameter=",
                          Failure("QelCtrlInertial", "Object doesn't support this property"));
  form.Form_Load();
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].text,
            "QelCtrlInertial - Esta aplicación requiere tener instalado Velmaris version 3.6.0 o "
            "superior");
  EXPECT_EQ(view.messages[0].title, "Error");
  EXPECT_THAT(control.calls, ElementsAre("LinkOpen=False", "LinkParameter=10 failed"));
  EXPECT_FALSE(view.timerEnabled);
  EXPECT_EQ(view.report, kHead);
}

TEST_F(Startup, EmptySourceTextLeavesMessageStartingWithTheBlank) {
  control.failing.emplace("LinkOpen=", Failure("", "broken"));
  form.Form_Load();
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].text,
            " - Esta aplicación requiere tener instalado Velmaris version 3.6.0 o superior");
  EXPECT_THAT(control.calls, ElementsAre("LinkOpen=False failed"));
  EXPECT_FALSE(view.timerEnabled);
}

TEST_F(Startup, CopyPutsExactlyThePaneTextIncludingUserEdits) {
  form.Form_Load();
  form.cmdCopy_Click();
  EXPECT_EQ(view.clipboard, kHead);

  view.report += "typed by the user ";
  form.AddInfoLine("next ");
  form.cmdCopy_Click();
  form.cmdCopy_Click();
  EXPECT_EQ(view.clipboard, std::string(kHead) + "typed by the user \r\nnext ");
  EXPECT_EQ(view.report, *view.clipboard);
}

TEST_F(Startup, ExitUnloadsWithoutTouchingTheComponent) {
  form.Form_Load();
  control.calls.clear();
  form.cmdExit_Click();
  EXPECT_EQ(view.unloads, 1);
  EXPECT_TRUE(control.calls.empty());
}

const std::vector<std::string> kComponentHeading = {
    "================================", "EL COMPONENTE DE ADQUISICIÓN",
    "================================"};

// The report's lines after its head, which the load event leaves as they are.
std::vector<std::string> AfterTheHead(const std::string& report) {
  EXPECT_EQ(report.substr(0, std::string(kHead).size()), kHead);
  const std::vector<std::string> lines = fakes::ReportLines(report);
  return {lines.begin() + fakes::kHeadLines, lines.end()};
}

TEST(StartupWithoutComponent, TellsWhichComponentIsMissingThenWhyAfterTheBox) {
  FakeView view;
  UnavailableControl control(
      ComponentFault("QELCTRLLibCtl.QelCtrlMain", "Clase no registrada (0x80040154)",
                     {ComponentFailure::Stage::Creation, 0x80040154, "Clase no registrada", ""}));
  fakes::FakePortCheck portCheck;
  fakes::FakeComponentLookup component;
  component.registration.serverFrom = ClassesRoot::None;
  component.registration.serverValue = component.registration.serverPath = "";
  frmQel form(
      view, control, [] { return int16_t{7}; }, [] { return WindowsDevices{}; }, portCheck,
      component);
  form.Raise(FormEvent::Form_Load);
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].text,
            "QELCTRLLibCtl.QelCtrlMain - Esta aplicación requiere tener instalado Velmaris "
            "version 3.6.0 o superior");
  EXPECT_EQ(view.report, kHead) << "the load event ends with its box";
  EXPECT_FALSE(view.timerEnabled);
  EXPECT_EQ(component.registrationReadings, 0);

  form.Raise(FormEvent::Form_Loaded);
  const std::vector<std::string> section = AfterTheHead(view.report);
  ASSERT_GE(section.size(), 5u);
  EXPECT_THAT(std::vector<std::string>(section.begin(), section.begin() + 5),
              ElementsAre(kComponentHeading[0], kComponentHeading[1], kComponentHeading[2],
                          "Causa más probable: el componente de adquisición está mal registrado:",
                          "  su clase {16A5E01E-273D-477B-9CF7-BACA07235591} no indica qué "
                          "archivo cargar."));
  EXPECT_THAT(section, Contains("Error al crearlo: 0x80040154 (Clase no registrada)."));
  EXPECT_EQ(view.messages.size(), 1u);

  // Written once: the failure is the load event's, and the event after it has reported it.
  const std::string written = view.report;
  form.Raise(FormEvent::Form_Loaded);
  EXPECT_EQ(view.report, written);
  EXPECT_EQ(component.registrationReadings, 1);
  form.cmdCopy_Click();
  EXPECT_EQ(view.clipboard, written);
}

// How the load failed decides what the section says: the component's missing operation as its
// contract names it, or, for a failure of the tool's own, the facts without a cause.
TEST_F(Startup, TheSectionAfterAFailedLoadTellsWhatFailed) {
  struct Case {
    const char* why;
    std::function<void(fakes::FakeControl&)> fail;
    std::string first;  // the section's first line after its heading
    std::string error;  // its line of the error
  };
  const Case cases[] = {
      {"a component too old for LinkParameter",
       [](fakes::FakeControl& control) {
         control.faulting.emplace(
             "LinkParameter=",
             ComponentFault("QELCTRLLibCtl.QelCtrlMain", "Miembro no encontrado. (0x80020003)",
                            {ComponentFailure::Stage::Call, 0x80020003, "Miembro no encontrado.",
                             "LinkParameter"}));
       },
       "Causa más probable: el componente de adquisición es antiguo:",
       "Error de su operación LinkParameter: 0x80020003 (Miembro no encontrado)."},
      {"the report pane of the tool",
       [](fakes::FakeControl& control) {
         control.failing.emplace("LinkOpen=", Failure(kToolSource, "No se pudo escribir"));
       },
       "ProgID: QELCTRLLibCtl.QelCtrlMain, clase {16A5E01E-273D-477B-9CF7-BACA07235591}.",
       "Error de este diagnóstico: No se pudo escribir."},
      {"memory",
       [](fakes::FakeControl& control) { control.runningOutOfMemory.insert("LinkOpen="); },
       "ProgID: QELCTRLLibCtl.QelCtrlMain, clase {16A5E01E-273D-477B-9CF7-BACA07235591}.",
       "Error de este diagnóstico: std::bad_alloc."},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.why);
    fakes::FakeForm fresh;
    row.fail(fresh.control);
    fresh.form.Raise(FormEvent::Form_Load);
    ASSERT_EQ(fresh.view.messages.size(), 1u);
    EXPECT_EQ(fresh.view.report, kHead);
    fresh.form.Raise(FormEvent::Form_Loaded);
    const std::vector<std::string> section = AfterTheHead(fresh.view.report);
    ASSERT_GE(section.size(), 4u);
    EXPECT_EQ(section[3], row.first);
    EXPECT_THAT(section, Contains(row.error));
    EXPECT_FALSE(fresh.view.timerEnabled);
  }
}

TEST_F(Startup, ASuccessfulLoadIsFollowedByNothing) {
  form.Raise(FormEvent::Form_Load);
  form.Raise(FormEvent::Form_Loaded);
  EXPECT_EQ(view.report, kHead);
  EXPECT_EQ(component.registrationReadings, 0) << "nothing of the component is read";
  EXPECT_TRUE(view.timerEnabled);
}

// The box's own failure is shown as the event's; the section still follows.
TEST_F(Startup, TheSectionFollowsEvenWhenTheBoxFailed) {
  control.failing.emplace("LinkOpen=", Failure(kToolSource, "No se pudo escribir"));
  view.messageBoxFails = true;
  form.Raise(FormEvent::Form_Load);
  form.Raise(FormEvent::Form_Loaded);
  const std::vector<std::string> section = AfterTheHead(view.report);
  ASSERT_GE(section.size(), 3u);
  EXPECT_EQ(section[1], kComponentHeading[1]);
}

}  // namespace
}  // namespace velmaris

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Fakes.h"
#include "FormFixture.h"
#include "app/frmQel.h"
#include "link/UnavailableControl.h"

namespace velmaris {
namespace {

using fakes::FakeView;
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

TEST(StartupWithoutComponent, TellsWhichComponentIsMissingAndKeepsTheHead) {
  FakeView view;
  UnavailableControl control("QELCTRLLibCtl.QelCtrlMain", "Clase no registrada");
  fakes::FakePortCheck portCheck;
  frmQel form(
      view, control, [] { return int16_t{7}; }, [] { return WindowsDevices{}; }, portCheck);
  form.Form_Load();
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].text,
            "QELCTRLLibCtl.QelCtrlMain - Esta aplicación requiere tener instalado Velmaris "
            "version 3.6.0 o superior");
  EXPECT_EQ(view.report, kHead);
  EXPECT_FALSE(view.timerEnabled);
  form.cmdCopy_Click();
  EXPECT_EQ(view.clipboard, kHead);
}

}  // namespace
}  // namespace velmaris

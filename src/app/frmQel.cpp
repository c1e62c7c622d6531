#include "app/frmQel.h"

#include <exception>

#include "app/ProgramVersion.h"
#include "app/ReportText.h"
#include "link/Failure.h"

namespace velmaris {

namespace {

const char* const kReportTitle = "INFORME DE DIAGNÓSTICO DE VELMARIS";
const char* const kReportRule = "=====================================";
const char* const kInstallAdvice =
    " - Esta aplicación requiere tener instalado Velmaris version 3.6.0 o superior";
const char* const kErrorTitle = "Error";
constexpr int32_t kLinkParameter = 10;

std::string VersionLine() {
  return "Herramienta de Diagnóstico Version: " + std::to_string(VELMARIS_VERSION_MAJOR) + "." +
         std::to_string(VELMARIS_VERSION_MINOR);
}

}  // namespace

frmQel::frmQel(FormView& view, AcquisitionControl& control, VersionLevelQuery windowsVersionLevel)
    : view(view), QelCtrlMain1(control), WindowsVersionLevel(std::move(windowsVersionLevel)) {}

void frmQel::Form_Load() {
  ModelNames.FillModelCatalogue();
  try {
    view.SetReportText(kReportTitle);
    AddInfoLine(kReportRule);
    AddInfoLine(VersionLine());
    AddInfoLine(kReportRule);
    QelCtrlMain1.SetLinkOpen(false);
    ScanPasses = 0;
    PortIndex = 0;
    QelCtrlMain1.SetLinkParameter(kLinkParameter);
    QelCtrlMain1.SetLinkOpen(true);
    StartScanTimer();
  } catch (const Failure& failure) {
    view.ShowInformation(failure.source() + kInstallAdvice, kErrorTitle);
  } catch (const std::exception&) {
    view.ShowInformation(std::string(kToolSource) + kInstallAdvice, kErrorTitle);
  }
}

void frmQel::AddInfoLine(const std::string& line) {
  view.SetReportText(WithLineAppended(view.ReportText(), line));
}

void frmQel::StartScanTimer() { view.EnableTimer(true); }

void frmQel::cmdCopy_Click() { view.PutOnClipboard(view.ReportText()); }

void frmQel::cmdExit_Click() { view.Unload(); }

}  // namespace velmaris

#include "app/frmQel.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <memory>

#include "app/FormWords.h"
#include "app/ReportText.h"
#include "commands/Maintenance.h"
#include "common/ComponentText.h"
#include "common/Failure.h"
#include "common/ProgramIdentity.h"
#include "diagnosis/ComponentSection.h"
#include "diagnosis/NotDetectedAdvice.h"
#include "diagnosis/WindowsDevicesSection.h"
#include "link/ComponentFault.h"
#include "link/PortScan.h"
#include "platform/OSVersion.h"
#include "report/IdentificationReport.h"
#include "value/Conversions.h"

namespace velmaris {

namespace {

constexpr int32_t kLinkParameter = 10;

// What a failure is shown with: a Failure's own texts, or the tool as the source of any other.
std::pair<std::string, std::string> SourceAndDescription(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const Failure& failure) {
    return {failure.source(), failure.description()};
  } catch (const std::exception& error) {
    return {kToolSource, error.what()};
  } catch (...) {
    return {kToolSource, kUnknownFailure};
  }
}

bool Contains(const std::vector<std::pair<std::string, std::string>>& shown,
              const std::pair<std::string, std::string>& failure) {
  return std::find(shown.begin(), shown.end(), failure) != shown.end();
}

}  // namespace

frmQel::frmQel(FormView& view, AcquisitionControl& control, VersionLevelQuery windowsVersionLevel,
               WindowsDevicesReader readWindowsDevices, PortCheck& portCheck,
               ComponentLookup& component)
    : View(view),
      QelCtrlMain1(control),
      WindowsVersionLevel(std::move(windowsVersionLevel)),
      ReadWindowsDevices(std::move(readWindowsDevices)),
      PortChecker(portCheck),
      Component(component),
      Gate([this](FormEvent event) { Run(event); },
           [this](FormEvent click) { return View.CanBeClicked(click); }) {}

void frmQel::Form_Load() {
  ModelNames.FillModelCatalogue();
  try {
    View.SetReportText(kReportTitle);
    AddInfoLine(kReportRule);
    AddInfoLine(VersionLine());
    AddInfoLine(kReportRule);
    QelCtrlMain1.SetLinkOpen(false);
    ScanPasses = 0;
    PortIndex = 0;
    QelCtrlMain1.SetLinkParameter(kLinkParameter);
    QelCtrlMain1.SetLinkOpen(true);
    StartScanTimer();
  } catch (const ComponentFault& fault) {
    LoadFailure = fault.facts();
    View.ShowInformation(ComponentText(fault.source()) + InstallAdvice(), kErrorTitle);
  } catch (const Failure& failure) {
    LoadFailure = ToolFailure(failure.description());
    View.ShowInformation(ComponentText(failure.source()) + InstallAdvice(), kErrorTitle);
  } catch (const std::exception& error) {
    LoadFailure = ToolFailure(error.what());
    View.ShowInformation(std::string(kToolSource) + InstallAdvice(), kErrorTitle);
  }
}

// The load event ends with its box closed; what Windows says of the component that failed it
// follows the lines already written.
void frmQel::Form_Loaded() {
  if (!LoadFailure) return;
  const ComponentFailure failure = std::move(*LoadFailure);
  LoadFailure.reset();
  WriteComponentSection(failure);
}

void frmQel::WriteComponentSection(const ComponentFailure& failure) {
  const ComponentRegistration registration = Component.ReadRegistration();
  const ComponentFile file = Component.ReadFile(registration.serverPath);
  const std::unique_ptr<ComponentFiles> files = Component.FilesOf(registration.serverPath);
  AddInfoLines(ComponentSection(registration, file, failure, *files, Component.Machine()));
}

void frmQel::AddInfoLine(const std::string& line) {
  View.SetReportText(WithLineAppended(View.ReportText(), line));
}

void frmQel::StartScanTimer() { View.EnableTimer(true); }

void frmQel::cmdCopy_Click() { View.PutOnClipboard(View.ReportText()); }

void frmQel::cmdExit_Click() { View.Unload(); }

void frmQel::Timer1_Timer() {
  if (LinkIsOpen()) {
    LookForUnitOnOpenPort();
  } else {
    TryToOpenPort();
  }
}

bool frmQel::LinkIsOpen() { return ToBoolean(QelCtrlMain1.LinkOpen()); }

void frmQel::TryToOpenPort() {
  QelCtrlMain1.SetPortNumber(PortIndex);
  QelCtrlMain1.SetLinkOpen(true);
  if (LinkIsOpen()) return;
  View.SetStatusText(ScanStatusText(PortIndex));
  View.SetStatusColour(kScanColour);
  AdvancePort();
  if (PortIndex <= kLastPort) return;
  Increment(ScanPasses);
  if (ScanPasses != kPassesToGiveUp) return;
  WriteNotDetectedAdvice();
  View.EnableTimer(false);
  CheckThePorts();
}

void frmQel::LookForUnitOnOpenPort() {
  if (View.StatusText() == kConnected) return;
  const Value identification = QelCtrlMain1.DeviceInfo();
  if (identification.isEmpty()) {
    QelCtrlMain1.SetLinkOpen(false);
    AdvancePort();
    return;
  }
  View.SetStatusText(kConnected);
  View.SetStatusColour(kConnectedColour);
  WriteIdentificationReport(identification);
}

// Past port 32767 no port is left to try: the scan stops, and the overflow is still raised so
// that the user learns why.
void frmQel::AdvancePort() {
  if (PortIndex == std::numeric_limits<int16_t>::max()) View.EnableTimer(false);
  Increment(PortIndex);
}

void frmQel::WriteNotDetectedAdvice() {
  View.SetStatusText(kNotDetected);
  AddInfoLines(NotDetectedCauses());
  if (WindowsVersionLevel() > kCurrentSoftwareLevel) AddInfoLines(OldUsbUnitsNote());
  if (WindowsVersionLevel() <= kCurrentSoftwareLevel) AddInfoLines(DriverInstallNote());
}

// Once the scan has ended, and the component has closed its last port: nothing done here can
// leave the scan running or change its status. What Windows sees is read, and the ports that the
// scan tried and Windows has are checked, away from the window's thread; the section waits for
// the check's end. Should the check not start, the reading is made here and the ports are left
// unchecked, with the reason.
void frmQel::CheckThePorts() {
  const int16_t firstPortNotTried = PortIndex;
  const PortChooser choose = [firstPortNotTried](const WindowsDevices& devices) {
    return PortsToCheck(devices, firstPortNotTried);
  };
  PortChecks notMade{{}, false};
  try {
    notMade.whyNotMade = PortChecker.Start(ReadWindowsDevices, choose);
    if (notMade.whyNotMade == 0) return void(Checking = true);
  } catch (...) {
    // No reason known: the check is still not made.
  }
  const WindowsDevices devices = WhatWindowsSees(ReadWindowsDevices);
  WriteWhatWindowsSees(devices, choose(devices).empty() ? PortChecks{} : notMade);
}

void frmQel::PortCheck_Done() {
  if (!Checking) return;
  Checking = false;
  const WindowsDevices devices = WhatWindowsSees([this] { return PortChecker.Devices(); });
  PortChecks checks;
  try {
    checks.results = PortChecker.Results();
  } catch (...) {
    checks.made = false;
  }
  WriteWhatWindowsSees(devices, checks);
}

// The section words its own failures; only a failure to append a line is the event's.
void frmQel::WriteWhatWindowsSees(const WindowsDevices& devices, const PortChecks& checks) {
  AddInfoLines(WindowsDevicesSection(devices, PortIndex, checks));
  AddInfoLines(InstalledComponentLines());
}

// The component's registered file and version, which support asks first when no unit answers.
std::vector<std::string> frmQel::InstalledComponentLines() {
  const ComponentRegistration registration = Component.ReadRegistration();
  return ComponentLines(registration, Component.ReadFile(registration.serverPath));
}

void frmQel::WriteIdentificationReport(const Value& identification) {
  const Value& modelElement = IdentificationElement(identification, kModelRow);
  const int16_t modelCode = ToInt16(modelElement);
  AddInfoLine(ModelCodeLine(modelCode));
  AddInfoLine(ModelNameLine(ModelNames.Name(NumericValueOfText(modelElement))));
  const Value& serialElement = IdentificationElement(identification, kSerialRow);
  const int32_t serialValue = ToInt32(serialElement);
  AddInfoLine(SerialNumberLine(serialElement));
  AddInfoLine(FirmwareLine(IdentificationElement(identification, kFirmwareRow)));
  AddInfoLine(PrescalerLine(0, ToByte(QelCtrlMain1.Prescaler(0))));
  AddInfoLine(PrescalerLine(1, ToByte(QelCtrlMain1.Prescaler(1))));
  View.ShowButton(MaintenanceButton::Reset);
  AddInfoLines(SoftwareHeading());
  AddInfoLines(SoftwareAdvice(WindowsVersionLevel()));
  if (AccessoryBusCodes(modelCode)) {
    AddInfoLines(KoraNetSection());
    View.ShowButton(MaintenanceButton::Detect);
  }
  AddInfoLines(HardwareSection(modelCode));
  if (NeedsInterfaceUpdate(modelCode, serialValue)) AddInfoLines(UpdateBlock());
}

void frmQel::AddInfoLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) AddInfoLine(line);
}

void frmQel::cmdReset_Click() { RepairPrescalers(QelCtrlMain1); }

void frmQel::cmdDetect_Click() { ResetBusAccessories(QelCtrlMain1); }

void frmQel::Raise(FormEvent event) { Gate.Raise(event); }

void frmQel::ShowWindowFailure(std::exception_ptr failure) { ShowFailure(false, failure); }

void frmQel::Shut() { Gate.Shut(); }

void frmQel::Run(FormEvent event) {
  try {
    switch (event) {
      case FormEvent::Form_Load:
        return Form_Load();
      case FormEvent::Form_Loaded:
        return Form_Loaded();
      case FormEvent::Timer1_Timer:
        return Timer1_Timer();
      case FormEvent::cmdReset_Click:
        return cmdReset_Click();
      case FormEvent::cmdDetect_Click:
        return cmdDetect_Click();
      case FormEvent::cmdCopy_Click:
        return cmdCopy_Click();
      case FormEvent::cmdExit_Click:
      case FormEvent::CloseRequest:
        return cmdExit_Click();
      case FormEvent::PortCheck_Done:
        return PortCheck_Done();
    }
  } catch (...) {
    ShowFailure(event == FormEvent::Timer1_Timer, std::current_exception());
  }
}

// Every step, the texts included, can run out of memory: nothing leaves here.
void frmQel::ShowFailure(bool ofTick, std::exception_ptr failure) {
  try {
    const auto [source, description] = SourceAndDescription(failure);
    std::pair<std::string, std::string> shown(ComponentText(source), ComponentText(description));
    if (ofTick) {
      if (TickFailuresShown.size() == kTickFailureBoxes || Contains(TickFailuresShown, shown)) {
        return;
      }
      TickFailuresShown.push_back(shown);
    }
    View.ShowInformation(FailureMessage(shown.first, shown.second), kWindowCaption);
  } catch (...) {
    // The message box itself failed: there is no other way left to tell the user.
  }
}

}  // namespace velmaris

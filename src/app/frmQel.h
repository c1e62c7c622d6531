#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/EventGate.h"
#include "app/FormEvent.h"
#include "app/FormView.h"
#include "diagnosis/PortsToCheck.h"
#include "link/AcquisitionControl.h"
#include "link/ComponentFacts.h"
#include "link/ComponentLookup.h"
#include "platform/PortCheck.h"
#include "platform/WindowsDevices.h"
#include "report/ModelCatalogue.h"
#include "value/Value.h"

namespace velmaris {

// The diagnostic window's state and event handlers, free of any window system: the shell
// forwards each event here and supplies the controls through FormView and AcquisitionControl.
class frmQel {
 public:
  using VersionLevelQuery = std::function<int16_t()>;
  static constexpr size_t kTickFailureBoxes = 3;

  frmQel(FormView& view, AcquisitionControl& control, VersionLevelQuery windowsVersionLevel,
         WindowsDevicesReader readWindowsDevices, PortCheck& portCheck, ComponentLookup& component);

  void Form_Load();
  void Form_Loaded();
  void Timer1_Timer();
  void cmdCopy_Click();
  void cmdExit_Click();
  void cmdReset_Click();
  void cmdDetect_Click();
  void PortCheck_Done();

  // The shell's entry for every event. The gate decides when the event runs; its handler runs
  // to its end, and a failure is shown in one message box, never thrown. Tick failures raise at
  // most kTickFailureBoxes boxes in the window's life, and none for a failure with the same
  // source and description as one already shown: a component failing every second, the same way
  // or with a new text each time, would otherwise raise a box every second. The component's texts
  // are shown through ComponentText. The program goes on; the timer keeps running unless the
  // handler switched it off.
  void Raise(FormEvent event);
  // A failure of the window's own handling of a message, outside any handler: shown as a
  // handler's failure is. Never throws.
  void ShowWindowFailure(std::exception_ptr failure);
  // The window unloads without a close request (a quit from elsewhere ended its message loop):
  // no event runs any more.
  void Shut();

  void AddInfoLine(const std::string& line);
  void StartScanTimer();
  void WriteIdentificationReport(const Value& identification);

 private:
  bool LinkIsOpen();
  void TryToOpenPort();
  void LookForUnitOnOpenPort();
  void AdvancePort();
  void WriteNotDetectedAdvice();
  void CheckThePorts();
  void WriteWhatWindowsSees(const WindowsDevices& devices, const PortChecks& checks);
  void WriteComponentSection(const ComponentFailure& failure);
  std::vector<std::string> InstalledComponentLines();
  void AddInfoLines(const std::vector<std::string>& lines);
  void Run(FormEvent event);
  void ShowFailure(bool ofTick, std::exception_ptr failure);

  // The window's own members, all named in its style: its controls and variables (QelCtrlMain1,
  // ModelNames, PortIndex) and the shell's additions alike.
  FormView& View;
  AcquisitionControl& QelCtrlMain1;
  VersionLevelQuery WindowsVersionLevel;
  WindowsDevicesReader ReadWindowsDevices;
  PortCheck& PortChecker;
  ComponentLookup& Component;
  ModelCatalogue ModelNames;
  int16_t PortIndex = 0;
  int16_t ScanPasses = 0;
  // How the load event failed, until the event after it has reported it.
  std::optional<ComponentFailure> LoadFailure;
  // The port check that the scan's end started is under way.
  bool Checking = false;
  EventGate Gate;
  // The tick failures shown so far, as shown: at most kTickFailureBoxes pairs of bounded texts.
  std::vector<std::pair<std::string, std::string>> TickFailuresShown;
};

}  // namespace velmaris

#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/FormView.h"
#include "link/AcquisitionControl.h"
#include "link/Value.h"
#include "report/ModelCatalogue.h"

namespace velmaris {

// The diagnostic window's state and event handlers, free of any window system: the shell
// forwards each event here and supplies the controls through FormView and AcquisitionControl.
class frmQel {
 public:
  using VersionLevelQuery = std::function<int16_t()>;

  frmQel(FormView& view, AcquisitionControl& control, VersionLevelQuery windowsVersionLevel);

  void Form_Load();
  void Timer1_Timer();
  void cmdCopy_Click();
  void cmdExit_Click();
  void cmdReset_Click();
  void cmdDetect_Click();

  void AddInfoLine(const std::string& line);
  void StartScanTimer();
  void WriteIdentificationReport(const Value& identification);

  const ModelCatalogue& modelNames() const { return ModelNames; }
  int16_t portIndex() const { return PortIndex; }
  int16_t scanPasses() const { return ScanPasses; }

 private:
  FormView& view;
  AcquisitionControl& QelCtrlMain1;
  VersionLevelQuery WindowsVersionLevel;
  ModelCatalogue ModelNames;
  int16_t PortIndex = 0;
  int16_t ScanPasses = 0;
};

}  // namespace velmaris

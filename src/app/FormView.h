#pragma once

#include <cstdint>
#include <string>

#include "app/FormEvent.h"

namespace velmaris {

enum class MaintenanceButton { Reset, Detect };

// What the event handlers use of the window. All texts are UTF-8; any call may raise a Failure.
class FormView {
 public:
  virtual ~FormView() = default;

  virtual std::string ReportText() = 0;
  virtual void SetReportText(const std::string& text) = 0;
  virtual std::string StatusText() = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  // Windows colour value 0x00BBGGRR.
  virtual void SetStatusColour(uint32_t colour) = 0;
  virtual void ShowButton(MaintenanceButton button) = 0;
  // Whether the button of a click is shown and enabled, so that a click can still mean it.
  virtual bool CanBeClicked(FormEvent click) = 0;
  virtual void EnableTimer(bool enabled) = 0;
  // Replaces whatever the clipboard holds, in any format, by the plain text.
  virtual void PutOnClipboard(const std::string& text) = 0;
  // A modal box with one OK button and the information icon.
  virtual void ShowInformation(const std::string& text, const std::string& title) = 0;
  virtual void Unload() = 0;
};

}  // namespace velmaris

#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace qelsim {

// A value as a scenario writes it, e.g. "I2 21" or "BSTR 3.10"; turned into a VARIANT on use.
struct ScenarioValue {
  VARTYPE type = VT_EMPTY;
  std::string literal;
  bool nullText = false;  // NULLBSTR: a VT_BSTR whose pointer is null
  bool self = false;      // SELF: a reference back to the whole identification array
};

// What the simulated component does, read from the scenario file.
struct Scenario {
  bool dispatchOnly = false;
  std::string propertyBag = "yes";  // yes, no (interface absent) or fail (Load fails)
  int defaultPort = 1;
  enum class StartupOpen { Auto, Yes, No } startupOpen = StartupOpen::Auto;
  bool allPortsOpen = false;
  std::set<int> openPorts;
  int unitPort = -1;  // -1: no unit anywhere
  int answerAfter = 0;
  std::vector<std::pair<LONG, LONG>> infoBounds;  // per dimension, the first index first
  std::map<std::vector<LONG>, ScenarioValue> infoElements;
  ScenarioValue prescaler[2];
  std::set<std::string> missing;
  std::set<std::string> failing;
  std::set<std::string> failingBare;
  std::string failSource = "QelCtrlInertial";
  std::string failDescription = "The operation failed in the simulated component.";
  bool failDeferred = false;
  bool failCounting = false;  // each failure's description ends in its own number
  HRESULT bareHresult = E_FAIL;
  std::set<std::string> pumping;  // operations that let messages through while they work
  DWORD pumpMs = 3000;
  bool postQuit = false;  // a quit message left in the caller's queue when the control is made
  bool portWriteBack = false;
  SHORT portWriteBackValue = 0;
};

// Reads the scenario named by QELSIM_SCENARIO, or the built-in one (a unit on COM3). Problems
// in the file are collected in `errors`, one line each, and the line is skipped.
Scenario LoadScenario(std::vector<std::string>& errors);
Scenario ParseScenario(const std::string& text, std::vector<std::string>& errors);

// A text of the scenario file with its escapes resolved: \r, \n, \t, \0 and \\.
std::string Unescape(const std::string& text);

// A fresh VARIANT holding the value; the caller clears it. SELF values are made by the control.
HRESULT MakeVariant(const ScenarioValue& value, VARIANT* out);

}  // namespace qelsim

#pragma once

#include <string>
#include <vector>

namespace velmaris::test {

// The simulated component's call log (tests/simulator/README.md): one line per call it received.

// The whole log; empty while the log does not exist.
std::string ReadCallLogText(const std::wstring& path);
// The log's lines.
std::vector<std::string> ReadCallLog(const std::wstring& path);

// Whether the line is a call of one of the component's operations (put, get, call or invoke):
// only those end in their " [dispid=... flags=...]" detail.
bool IsOperation(const std::string& line);
// The line without that detail, as calls are compared.
std::string WithoutDetail(std::string line);
// The operation lines of a log, in order, as written.
std::vector<std::string> Operations(const std::vector<std::string>& log);
// Every line of a log without its detail: the operations and the hosting steps between them.
std::vector<std::string> WithoutDetails(std::vector<std::string> log);
// How many lines of a log begin with `start` ("get DeviceInfo", "call SavePrescalers" ...).
size_t CountEntries(const std::vector<std::string>& log, const std::string& start);

}  // namespace velmaris::test

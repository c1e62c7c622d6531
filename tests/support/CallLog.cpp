#include "CallLog.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace velmaris::test {
namespace {

const char* const kDetail = " [dispid=";

}  // namespace

std::string ReadCallLogText(const std::wstring& path) {
  // Opened by its UTF-16 name: a narrow name would go through the ANSI code page.
  std::ifstream file(path.c_str(), std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::vector<std::string> ReadCallLog(const std::wstring& path) {
  std::vector<std::string> lines;
  std::istringstream text(ReadCallLogText(path));
  for (std::string line; std::getline(text, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool IsOperation(const std::string& line) { return line.find(kDetail) != std::string::npos; }

std::string WithoutDetail(std::string line) {
  const size_t detail = line.find(kDetail);
  if (detail != std::string::npos) line.erase(detail);
  return line;
}

std::vector<std::string> Operations(const std::vector<std::string>& log) {
  std::vector<std::string> operations;
  for (const std::string& line : log) {
    if (IsOperation(line)) operations.push_back(line);
  }
  return operations;
}

std::vector<std::string> WithoutDetails(std::vector<std::string> log) {
  for (std::string& line : log) line = WithoutDetail(line);
  return log;
}

size_t CountEntries(const std::vector<std::string>& log, const std::string& start) {
  return static_cast<size_t>(std::count_if(
      log.begin(), log.end(), [&](const std::string& line) { return line.rfind(start, 0) == 0; }));
}

}  // namespace velmaris::test

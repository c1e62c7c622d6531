#include "app/ReportText.h"

namespace velmaris {

std::string WithLineAppended(const std::string& report, const std::string& line) {
  std::string joined;
  joined.reserve(report.size() + 2 + line.size());
  joined.append(report).append("\r\n").append(line);
  return joined;
}

}  // namespace velmaris

#pragma once

#include <string>

namespace velmaris {

// The report text with one more line: the old text, CR LF, the line. Nothing is trimmed and an
// empty report is not special-cased, so appending to it starts the report with an empty line.
std::string WithLineAppended(const std::string& report, const std::string& line);

}  // namespace velmaris

#pragma once

#include <stdexcept>
#include <string>

#include "common/ProgramIdentity.h"

namespace velmaris {

// The one failure type of the program: a failed component call, a conversion out of range,
// an overflow. It carries the source text the user is shown and a description. Every part may
// raise it, so it lives below all of them.
class Failure : public std::runtime_error {
 public:
  Failure(std::string source, std::string description)
      : std::runtime_error(description),
        source_(std::move(source)),
        description_(std::move(description)) {}

  const std::string& source() const { return source_; }
  const std::string& description() const { return description_; }

 private:
  std::string source_;
  std::string description_;
};

// Source text of failures that arise in the tool itself rather than in the component.
inline constexpr const char* kToolSource = kProgramName;

// Descriptions of the tool's own conversion failures, as the platform words them in Spanish.
inline constexpr const char* kOverflow = "Desbordamiento";
inline constexpr const char* kTypeMismatch = "No coinciden los tipos";
inline constexpr const char* kSubscriptOutOfRange = "Subíndice fuera del intervalo";

// Raises a failure of the tool's own.
[[noreturn]] inline void FailInTool(const std::string& description) {
  throw Failure(kToolSource, description);
}

}  // namespace velmaris

#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace velmaris::fuzzing {

// A broken invariant ends the run with what broke and the start of the input that broke it, so
// that libFuzzer keeps the input as a finding.
[[noreturn]] inline void Fail(const char* what, const std::string& detail = "") {
  std::fprintf(stderr, "invariant broken: %s [%s]\n", what, detail.substr(0, 300).c_str());
  std::abort();
}

inline void Require(bool condition, const char* what, const std::string& detail = "") {
  if (!condition) Fail(what, detail);
}

inline bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace velmaris::fuzzing

#pragma once

#include <string>

namespace velmaris {

// A failure's description with the calling thread's last Windows error: "what (5)".
std::string WithLastError(const std::string& what);

}  // namespace velmaris

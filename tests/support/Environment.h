#pragma once

#include <string>

namespace velmaris::test {

// An environment variable read as Unicode, so a path with accents arrives whole; empty when the
// variable is not set.
std::wstring EnvironmentVariable(const wchar_t* name);
// The variable in UTF-8; throws std::runtime_error naming it when it is not set.
std::string RequiredEnvironment(const char* name);

}  // namespace velmaris::test

#pragma once

#include <string>

namespace velmaris::test {

// The Windows path of a path the Linux side handed over: an absolute Unix path goes through
// Wine's Z: drive (/tmp/x becomes Z:\tmp\x); any other path is taken as a Windows path already.
std::wstring FromUnixPath(std::wstring path);
std::wstring FromUnixPath(const std::string& utf8Path);
// The path an environment variable names, turned as above; empty when it is not set.
std::wstring PathFromEnvironment(const wchar_t* name);

}  // namespace velmaris::test

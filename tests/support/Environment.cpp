#include "Environment.h"

#include <windows.h>

#include <stdexcept>

#include "common/win32/Utf16.h"

namespace velmaris::test {

std::wstring EnvironmentVariable(const wchar_t* name) {
  std::wstring value(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetEnvironmentVariableW(name, &value[0], static_cast<DWORD>(value.size()));
    const bool fits = length < value.size();
    // Too small a buffer: the length asked for counts the terminator.
    value.resize(length);
    if (fits) return value;
  }
}

std::string RequiredEnvironment(const char* name) {
  const std::wstring value = EnvironmentVariable(Widen(name).c_str());
  if (value.empty()) throw std::runtime_error(std::string("environment variable not set: ") + name);
  return Narrow(value);
}

}  // namespace velmaris::test

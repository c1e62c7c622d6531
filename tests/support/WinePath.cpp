#include "WinePath.h"

#include "Environment.h"
#include "common/win32/Utf16.h"

namespace velmaris::test {

std::wstring FromUnixPath(std::wstring path) {
  if (path.empty() || path[0] != L'/') return path;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return L"Z:" + path;
}

std::wstring FromUnixPath(const std::string& utf8Path) { return FromUnixPath(Widen(utf8Path)); }

std::wstring PathFromEnvironment(const wchar_t* name) {
  return FromUnixPath(EnvironmentVariable(name));
}

}  // namespace velmaris::test

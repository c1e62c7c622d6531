#include "common/win32/Utf16.h"

#include <windows.h>
// windows.h first: oleauto.h relies on its types.
#include <oleauto.h>

#include <climits>

namespace velmaris {

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty() || utf8.size() > INT_MAX) return std::wstring();
  const int length = static_cast<int>(utf8.size());
  const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (needed <= 0) return std::wstring();
  std::wstring result(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, &result[0], needed);
  return result;
}

std::string Narrow(const wchar_t* utf16, size_t length) {
  if (utf16 == nullptr || length == 0 || length > INT_MAX / 4) return std::string();
  const int count = static_cast<int>(length);
  const int needed = WideCharToMultiByte(CP_UTF8, 0, utf16, count, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string result(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16, count, &result[0], needed, nullptr, nullptr);
  return result;
}

std::string Narrow(const std::wstring& utf16) { return Narrow(utf16.data(), utf16.size()); }

std::string BstrToUtf8(BSTR text) {
  if (text == nullptr) return std::string();
  return Narrow(text, SysStringLen(text));
}

}  // namespace velmaris

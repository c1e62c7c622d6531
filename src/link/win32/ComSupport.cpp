#include "link/win32/ComSupport.h"

#include "common/Failure.h"
#include "common/win32/Utf16.h"
#include "value/Conversions.h"

namespace velmaris {

namespace {

std::string DescribeHresult(HRESULT hr) {
  const std::string code = HexCode(static_cast<uint32_t>(hr));

  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring message;
  if (length > 0 && buffer != nullptr) message.assign(buffer, length);
  LocalFree(buffer);

  while (!message.empty() &&
         (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
    message.pop_back();
  if (message.empty()) return std::string("Error ") + code;
  return Narrow(message) + " (" + code + ")";
}

}  // namespace

void ThrowHresult(HRESULT hr, const std::string& source) {
  throw Failure(source, DescribeHresult(hr));
}

void ThrowInvokeFailure(HRESULT hr, EXCEPINFO& info, const std::string& source) {
  if (hr != DISP_E_EXCEPTION) ThrowHresult(hr, source);

  // Components may defer filling the texts until someone asks for them.
  if (info.pfnDeferredFillIn != nullptr) {
    info.pfnDeferredFillIn(&info);
    info.pfnDeferredFillIn = nullptr;
  }
  std::string description = BstrToUtf8(info.bstrDescription);
  if (description.empty()) {
    const HRESULT code = info.scode != 0
                             ? info.scode
                             : (info.wCode != 0 ? MAKE_HRESULT(1, FACILITY_ITF, info.wCode) : hr);
    description = DescribeHresult(code);
  }
  // The component's own source text is shown as is, even when it is empty.
  throw Failure(BstrToUtf8(info.bstrSource), description);
}

}  // namespace velmaris

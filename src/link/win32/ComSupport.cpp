#include "link/win32/ComSupport.h"

#include "common/win32/Utf16.h"
#include "link/ComponentFault.h"
#include "value/Conversions.h"

namespace velmaris {

namespace {

// Windows' own message for an HRESULT, without its line end; empty when it has none.
std::string WindowsMessage(HRESULT hr) {
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
  return Narrow(message);
}

std::string DescribeHresult(HRESULT hr, const std::string& message) {
  const std::string code = HexCode(static_cast<uint32_t>(hr));
  if (message.empty()) return std::string("Error ") + code;
  return message + " (" + code + ")";
}

[[noreturn]] void ThrowFault(HRESULT hr, const std::string& source, ComponentFailure::Stage stage,
                             const char* operation) {
  const std::string message = WindowsMessage(hr);
  throw ComponentFault(source, DescribeHresult(hr, message),
                       {stage, static_cast<uint32_t>(hr), message, operation});
}

}  // namespace

void ThrowCreationFailure(HRESULT hr, const std::string& source) {
  ThrowFault(hr, source, ComponentFailure::Stage::Creation, "");
}

void ThrowInvokeFailure(HRESULT hr, EXCEPINFO& info, const std::string& source,
                        const char* operation) {
  if (hr != DISP_E_EXCEPTION) ThrowFault(hr, source, ComponentFailure::Stage::Call, operation);

  // Components may defer filling the texts until someone asks for them.
  if (info.pfnDeferredFillIn != nullptr) {
    info.pfnDeferredFillIn(&info);
    info.pfnDeferredFillIn = nullptr;
  }
  const HRESULT code = info.scode != 0
                           ? info.scode
                           : (info.wCode != 0 ? MAKE_HRESULT(1, FACILITY_ITF, info.wCode) : hr);
  const std::string message = WindowsMessage(code);
  std::string description = BstrToUtf8(info.bstrDescription);
  if (description.empty()) description = DescribeHresult(code, message);
  // The component's own source text is shown as is, even when it is empty.
  throw ComponentFault(
      BstrToUtf8(info.bstrSource), description,
      {ComponentFailure::Stage::Call, static_cast<uint32_t>(code), message, operation});
}

}  // namespace velmaris

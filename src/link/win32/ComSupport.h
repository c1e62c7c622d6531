#pragma once

#include <oaidl.h>
#include <windows.h>

#include <string>

namespace velmaris {

// The acquisition component the window hosts, by its ProgID, which is also the source its
// failures show to the user.
inline constexpr const char* kControlProgId = "QELCTRLLibCtl.QelCtrlMain";

// Raises the ComponentFault of a component that could not be created: the system's message for
// the HRESULT followed by its code, e.g. "Class not registered. (0x80040154)", or just the code
// when the system has no message for it.
[[noreturn]] void ThrowCreationFailure(HRESULT hr, const std::string& source);

// Raises the ComponentFault of a failed IDispatch::Invoke of `operation`, named as the
// component's contract names it. With DISP_E_EXCEPTION the component's own source and description
// are used, and its error code; otherwise `source` and the system's message.
[[noreturn]] void ThrowInvokeFailure(HRESULT hr, EXCEPINFO& info, const std::string& source,
                                     const char* operation);

}  // namespace velmaris

#pragma once

#include <windows.h>

#include <string>

namespace velmaris {

// The whole text of a window or control, however long.
std::wstring WindowText(HWND window);

}  // namespace velmaris

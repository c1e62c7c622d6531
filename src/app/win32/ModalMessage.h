#pragma once

#include <windows.h>

#include <string>

namespace velmaris {

// A modal message box that the user really sees. A quit message already queued (the window
// destroyed on the way to a start-up failure, or left by a component) would end the box's own
// message loop at once; it is held while the box is up and posted again once it is answered.
int ShowModalMessage(HWND owner, const std::wstring& text, const std::wstring& title, UINT style);

}  // namespace velmaris

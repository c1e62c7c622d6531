#include "app/win32/ModalMessage.h"

namespace velmaris {

int ShowModalMessage(HWND owner, const std::wstring& text, const std::wstring& title, UINT style) {
  MSG quit;
  const bool quitQueued = PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
  const int answer = MessageBoxW(owner, text.c_str(), title.c_str(), style);
  if (quitQueued) PostQuitMessage(static_cast<int>(quit.wParam));
  return answer;
}

}  // namespace velmaris

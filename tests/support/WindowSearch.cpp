#include "WindowSearch.h"

namespace velmaris::test {
namespace {

struct ChildSearch {
  const std::function<bool(HWND)>& accept;
  HWND found = nullptr;
};

BOOL CALLBACK VisitChild(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<ChildSearch*>(parameter);
  if (!search->accept(window)) return TRUE;
  search->found = window;
  return FALSE;
}

// FindWindowEx ignores case; a caption must be the very text. Read, like FindWindowEx reads it,
// from the window manager: a message could wait on a busy thread.
bool HasCaption(HWND window, const wchar_t* caption) {
  const int length = lstrlenW(caption);
  std::wstring text(static_cast<size_t>(length) + 2, L'\0');
  const int copied = InternalGetWindowText(window, &text[0], length + 2);
  return copied == length && text.compare(0, static_cast<size_t>(length), caption) == 0;
}

}  // namespace

std::wstring Text(HWND window) {
  const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT copied =
      SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<size_t>(copied));
  return text;
}

bool HasClass(HWND window, const wchar_t* windowClass) {
  wchar_t name[256] = {};  // the longest class name Windows allows
  GetClassNameW(window, name, 256);
  return lstrcmpiW(name, windowClass) == 0;
}

HWND FindTopLevelWindow(DWORD processId, const wchar_t* windowClass, const wchar_t* caption,
                        const std::function<bool(HWND)>& accept) {
  for (HWND window = FindWindowExW(nullptr, nullptr, windowClass, caption); window != nullptr;
       window = FindWindowExW(nullptr, window, windowClass, caption)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if ((processId == 0 || owner == processId) &&
        (caption == nullptr || HasCaption(window, caption)) && (!accept || accept(window)))
      return window;
  }
  return nullptr;
}

HWND FindMessageBox(DWORD processId, const wchar_t* title) {
  return FindTopLevelWindow(processId, kMessageBoxClass, title,
                            [](HWND box) { return IsWindowVisible(box) != FALSE; });
}

HWND FindChildWindow(HWND parent, const std::function<bool(HWND)>& accept) {
  ChildSearch search{accept};
  EnumChildWindows(parent, &VisitChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindChildWindow(HWND parent, const wchar_t* windowClass, const std::wstring& caption) {
  return FindChildWindow(
      parent, [&](HWND child) { return HasClass(child, windowClass) && Text(child) == caption; });
}

}  // namespace velmaris::test

#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace velmaris::test {

// The window class of message boxes and other dialog boxes.
inline constexpr const wchar_t* kMessageBoxClass = L"#32770";

// The text of a window or control, read with WM_GETTEXT so that it works across processes.
std::wstring Text(HWND window);
// Whether the window is of the class, compared as Windows compares class names (any case).
bool HasClass(HWND window, const wchar_t* windowClass);

// The first top-level window of the process (0: of any process) with the class and caption
// (nullptr: any) that `accept` takes, or nullptr. The window manager compares the captions
// without a message to the window, so a hung program cannot stall the search.
HWND FindTopLevelWindow(DWORD processId, const wchar_t* windowClass, const wchar_t* caption,
                        const std::function<bool(HWND)>& accept = {});
// A visible message box of the process, with the title if one is given.
HWND FindMessageBox(DWORD processId, const wchar_t* title = nullptr);

// The first window below `parent`, at any depth, that `accept` takes, or nullptr.
HWND FindChildWindow(HWND parent, const std::function<bool(HWND)>& accept);
// The first window below `parent` with the class and the caption.
HWND FindChildWindow(HWND parent, const wchar_t* windowClass, const std::wstring& caption);

}  // namespace velmaris::test

#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace velmaris::test {

// The caption of the program's window, which is also the title of its failure boxes.
std::wstring WindowCaption();
// The program's window in the process (0: in any process), shown or not; nullptr until it
// exists.
HWND FindProgramWindow(DWORD processId);
// Its status box (the one-line edit box) and its report pane (the multi-line one).
HWND StatusBoxOf(HWND window);
HWND ReportPaneOf(HWND window);
// Whether a window shows its vertical scroll bar; its style says so, from any process.
bool HasVerticalScrollBar(HWND window);
// The font a control draws with; none when it cannot be read. Only in the control's own process:
// fonts cannot be read across processes under Wine.
std::optional<LOGFONTW> FontOf(HWND control);

}  // namespace velmaris::test

#pragma once

#include <windows.h>

namespace velmaris {

// Shows a multi-line edit box's vertical scroll bar when, and only when, its text is taller than
// the box at the width the box has without the bar; hides it otherwise. The caret, the selection
// and the text stay as they are. The box must have been created with WS_VSCROLL: an edit box
// scrolls with a bar only if it had one from the start, and once its text fits again it greys the
// bar instead of hiding it, so the bar is hidden here.
void FitVerticalScrollBar(HWND editBox);

}  // namespace velmaris

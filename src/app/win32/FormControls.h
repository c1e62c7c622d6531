#pragma once

#include <windows.h>

#include "app/win32/FormDescription.h"
#include "common/win32/Scoped.h"
#include "common/win32/ScreenDpi.h"

namespace velmaris {

// The form's own font, which controls without a font of their own use.
inline HFONT FormFont() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

// The status box's font as designed, at the display's DPI.
UniqueFont CreateStatusFont(ScreenDpi dpi);

// One of the form's controls as described, placed at the display's DPI in the form, with the
// font its description names; null when Windows cannot create it.
HWND CreateFormControl(HWND form, HINSTANCE instance, const ControlDescription& control,
                       ScreenDpi dpi, HFONT statusFont);

}  // namespace velmaris

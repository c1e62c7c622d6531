#pragma once

#include <ocidl.h>
#include <windows.h>

#include <string>

#include "common/win32/ScreenDpi.h"

namespace velmaris {

// What the window tells the hosted control about itself, as a form at run time does.
struct ContainerAmbience {
  std::wstring controlName;  // the name the window knows the control by
  HFONT font = nullptr;      // the window's font
  OLE_COLOR foreColor = 0;   // OLE colours: 0x800000nn refers to system colour nn
  OLE_COLOR backColor = 0;
  ScreenDpi dpi;  // the window's, for the font's size and the control's extent
};

// The value of one standard ambient property, read by the control through its site's IDispatch:
// a run-time container (user mode, UI alive, no grab handles or hatching, no message reflection,
// not the default button), the user's locale, and the window's name, font and colours. Any other
// identifier answers DISP_E_MEMBERNOTFOUND.
HRESULT ReadAmbientProperty(const ContainerAmbience& ambience, DISPID id, VARIANT* value);

}  // namespace velmaris

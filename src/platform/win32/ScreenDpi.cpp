#include "platform/win32/ScreenDpi.h"

#include <windows.h>

namespace velmaris {

ScreenDpi ReadScreenDpi() {
  ScreenDpi dpi;
  if (HDC screen = GetDC(nullptr)) {
    dpi.x = GetDeviceCaps(screen, LOGPIXELSX);
    dpi.y = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  return dpi;
}

}  // namespace velmaris

#include "common/win32/ScreenDpi.h"

#include "common/win32/Scoped.h"

namespace velmaris {

ScreenDpi ReadScreenDpi() {
  ScreenDpi dpi;
  const WindowDc screen(nullptr);
  if (screen.get() != nullptr) {
    dpi.x = GetDeviceCaps(screen.get(), LOGPIXELSX);
    dpi.y = GetDeviceCaps(screen.get(), LOGPIXELSY);
  }
  return dpi;
}

}  // namespace velmaris

#include "app/win32/FormControls.h"

#include "common/win32/Units.h"

namespace velmaris {

UniqueFont CreateStatusFont(ScreenDpi dpi) {
  LOGFONTW logFont = {};
  logFont.lfHeight = -ConvertLength(kStatusFontHundredthsOfPoint, kPointsPerInch * 100, dpi.y);
  logFont.lfWeight = FW_BOLD;
  logFont.lfCharSet = ANSI_CHARSET;
  lstrcpynW(logFont.lfFaceName, kStatusFontFace, LF_FACESIZE);
  return UniqueFont(CreateFontIndirectW(&logFont));
}

HWND CreateFormControl(HWND form, HINSTANCE instance, const ControlDescription& control,
                       ScreenDpi dpi, HFONT statusFont) {
  const RECT place = ToPixels({control.left, control.top, control.width, control.height}, dpi);
  HWND child = CreateWindowExW(
      control.exStyle, control.windowClass, control.caption, control.style, place.left, place.top,
      place.right - place.left, place.bottom - place.top, form,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance, nullptr);
  if (child == nullptr) return nullptr;
  const HFONT font = control.font == ControlFont::Status ? statusFont : FormFont();
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

}  // namespace velmaris

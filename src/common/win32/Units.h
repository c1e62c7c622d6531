#pragma once

#include <windows.h>

#include "common/win32/ScreenDpi.h"

namespace velmaris {

// How many of each unit make an inch. The window is designed in twips, the hosted control
// measures itself in HIMETRIC (hundredths of a millimetre), fonts in points; a pixel is 1/dpi
// inch.
inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kHimetricPerInch = 2540;
inline constexpr int kPointsPerInch = 72;

// A length in units of which `fromPerInch` make an inch, in units of which `toPerInch` do,
// rounded to the nearest whole unit as Windows rounds (MulDiv, halves away from zero): 510 twips
// are 900 HIMETRIC, and 34 pixels at 96 DPI.
inline int ConvertLength(int length, int fromPerInch, int toPerInch) {
  return MulDiv(length, toPerInch, fromPerInch);
}

// A place designed in twips.
struct TwipsRect {
  int left, top, width, height;
};

// The place in pixels at the display's DPI; each of its four measures is converted on its own,
// as the form's controls are placed.
inline RECT ToPixels(const TwipsRect& place, ScreenDpi dpi) {
  const int left = ConvertLength(place.left, kTwipsPerInch, dpi.x);
  const int top = ConvertLength(place.top, kTwipsPerInch, dpi.y);
  return RECT{left, top, left + ConvertLength(place.width, kTwipsPerInch, dpi.x),
              top + ConvertLength(place.height, kTwipsPerInch, dpi.y)};
}

}  // namespace velmaris

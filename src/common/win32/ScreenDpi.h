#pragma once

namespace velmaris {

// The display's dots per inch, read once at start-up and handed to all that turns twips,
// HIMETRIC units or points into pixels, so the window and the hosted control agree.
struct ScreenDpi {
  int x = 96;
  int y = 96;
};

ScreenDpi ReadScreenDpi();

}  // namespace velmaris

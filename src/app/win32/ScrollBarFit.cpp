#include "app/win32/ScrollBarFit.h"

#include <string>

#include "common/win32/Scoped.h"
#include "common/win32/WindowText.h"

namespace velmaris {

namespace {

bool HasVerticalScrollBar(HWND editBox) {
  return (GetWindowLongPtrW(editBox, GWL_STYLE) & WS_VSCROLL) != 0;
}

// Whether the text has more than `rows` lines of its own, before any wrapping; counting stops
// there.
bool HasMoreLinesThan(const std::wstring& text, int rows) {
  size_t at = 0;
  for (int breaks = 0; breaks < rows; ++breaks) {
    at = text.find(L"\r\n", at);
    if (at == std::wstring::npos) return false;
    at += 2;
  }
  return true;
}

// Whether the box's text, wrapped at the width the box has without the bar, takes more lines
// than the box shows at once. When the box cannot be measured, the bar stays as it is.
bool IsTallerThanBoxWithoutBar(HWND editBox) {
  const bool barShown = HasVerticalScrollBar(editBox);
  const WindowDc dc(editBox, reinterpret_cast<HGDIOBJ>(SendMessageW(editBox, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics = {};
  if (dc.get() == nullptr || !GetTextMetricsW(dc.get(), &metrics) || metrics.tmHeight <= 0) {
    return barShown;
  }
  RECT format = {};
  SendMessageW(editBox, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
  const int rows = (format.bottom - format.top) / metrics.tmHeight;

  // The box's own line count is at its present width: final while the bar is hidden, and when
  // the text fits even beside the bar.
  if (SendMessageW(editBox, EM_GETLINECOUNT, 0, 0) <= rows) return false;
  if (!barShown) return true;
  // Otherwise the text is measured at the width without the bar, unless its own lines are enough
  // to tell: a long report costs no measuring.
  const std::wstring text = WindowText(editBox);
  if (HasMoreLinesThan(text, rows)) return true;
  RECT measured = {0, 0, format.right - format.left + GetSystemMetrics(SM_CXVSCROLL), 0};
  DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &measured,
            DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS);
  return measured.bottom > rows * metrics.tmHeight;
}

}  // namespace

void FitVerticalScrollBar(HWND editBox) {
  const bool taller = IsTallerThanBoxWithoutBar(editBox);
  if (taller == HasVerticalScrollBar(editBox)) return;
  ShowScrollBar(editBox, SB_VERT, taller);
  // The box has laid its text out again at its new width: one more look decides at that layout,
  // and where the two looks disagree (the box's wrapping and the measure's differ), the bar stays,
  // so none of the report is out of reach. One look only: two could take turns for ever.
  if (IsTallerThanBoxWithoutBar(editBox) != taller) ShowScrollBar(editBox, SB_VERT, TRUE);
  SendMessageW(editBox, EM_SCROLLCARET, 0, 0);
}

}  // namespace velmaris

#pragma once

#include <windows.h>
// windows.h first: commctrl.h relies on its types.
#include <commctrl.h>

#include "app/FormEvent.h"
#include "common/win32/Units.h"

namespace velmaris {

// The window frmQel as designed: sizes and places in twips, converted at the display's real DPI
// when the window is built.
inline constexpr int kClientWidthTwips = 7080;
inline constexpr int kClientHeightTwips = 6570;

enum ControlId : int {
  kTxtEstado = 100,
  kTxtInfo,
  kCmdReset,
  kCmdDetect,
  kCmdCopy,
  kCmdExit,
  kLblEstado,
  kLblInfo,
};

// The window's own font, or the status box's.
enum class ControlFont { Form, Status };

struct ControlDescription {
  ControlId id;
  const wchar_t* windowClass;
  const wchar_t* caption;
  int left, top, width, height;  // twips
  DWORD style;
  DWORD exStyle;
  ControlFont font;
};

inline constexpr DWORD kChild = WS_CHILD | WS_TABSTOP;
// The report pane takes Enter as a new line (there is no default button), and scrolls to the
// caret, without which an edit box refuses typing once its text is taller than the box. A report
// taller than the pane gets a scroll bar, so none of it is out of reach; an edit box scrolls with
// one only if created with it, and the window hides it while the report fits.
inline constexpr DWORD kReportPaneStyle =
    ES_LEFT | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL;

// A label that names the control created right after it, for screen readers, which name an edit
// box by the static text before it; never shown, and no stop of the tab order. SS_NOPREFIX: an
// '&' would be no access key.
inline constexpr DWORD kScreenReaderLabelStyle = WS_CHILD | SS_LEFT | SS_NOPREFIX;

// In tab order: Tab and Shift+Tab walk this table, skipping controls that are hidden. A control
// is created in this order too, so each label comes right before the control it names.
inline constexpr ControlDescription kControls[] = {
    {kLblEstado, L"STATIC", L"Estado del escaneo", 120, 120, 6855, 375, kScreenReaderLabelStyle, 0,
     ControlFont::Form},
    {kTxtEstado, L"EDIT", L"", 120, 120, 6855, 375,
     kChild | WS_VISIBLE | ES_LEFT | ES_AUTOHSCROLL | ES_READONLY, WS_EX_CLIENTEDGE,
     ControlFont::Status},
    {kCmdReset, L"BUTTON", L"Reparar Prescalers 1:1", 120, 6000, 1935, 375, kChild | BS_PUSHBUTTON,
     0, ControlFont::Form},
    {kLblInfo, L"STATIC", L"Informe de diagnóstico", 120, 600, 6855, 5295, kScreenReaderLabelStyle,
     0, ControlFont::Form},
    {kTxtInfo, L"EDIT", L"", 120, 600, 6855, 5295, kChild | WS_VISIBLE | kReportPaneStyle,
     WS_EX_CLIENTEDGE, ControlFont::Form},
    {kCmdExit, L"BUTTON", L"Salir", 5760, 6000, 1095, 375, kChild | WS_VISIBLE | BS_PUSHBUTTON, 0,
     ControlFont::Form},
    {kCmdCopy, L"BUTTON", L"Copiar Informe", 4080, 6000, 1575, 375,
     kChild | WS_VISIBLE | BS_PUSHBUTTON, 0, ControlFont::Form},
    {kCmdDetect, L"BUTTON", L"Detectar Acc", 2880, 6000, 1095, 375, kChild | BS_PUSHBUTTON, 0,
     ControlFont::Form},
};

// What a click on each button is to the form.
struct ButtonClick {
  ControlId id;
  FormEvent click;
};
inline constexpr ButtonClick kButtonClicks[] = {
    {kCmdReset, FormEvent::cmdReset_Click},
    {kCmdDetect, FormEvent::cmdDetect_Click},
    {kCmdCopy, FormEvent::cmdCopy_Click},
    {kCmdExit, FormEvent::cmdExit_Click},
};

// The common controls the window's themed controls need, as its manifest asks for them.
inline constexpr DWORD kCommonControlClasses = ICC_WIN95_CLASSES;

// The acquisition control's name, and the window's colours (system colours 18 and 15, button
// text and button face) as the control reads them among its ambient properties.
inline constexpr const wchar_t* kAcquisitionControlName = L"QelCtrlMain1";
inline constexpr DWORD kFormForeColor = 0x80000012;
inline constexpr DWORD kFormBackColor = 0x8000000F;

// The acquisition control's place: below the client area, so it is never seen.
inline constexpr TwipsRect kAcquisitionControlPlace = {120, 7680, 510, 510};

// txtEstado's font: Courier New, bold, 15.75 points, character set 0.
inline constexpr const wchar_t* kStatusFontFace = L"Courier New";
inline constexpr int kStatusFontHundredthsOfPoint = 1575;
inline constexpr UINT kTimer1 = 1;
inline constexpr UINT kTimer1IntervalMs = 1000;

}  // namespace velmaris

#include "link/win32/AmbientProperties.h"

#include <olectl.h>

#include "common/win32/Units.h"
#include "value/Value.h"

namespace velmaris {
namespace {

HRESULT Boolean(bool on, VARIANT* value) {
  value->vt = VT_BOOL;
  value->boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT Integer(LONG number, VARIANT* value) {
  value->vt = VT_I4;
  value->lVal = number;
  return S_OK;
}

// The window's font as the Automation font object a control expects.
HRESULT Font(HFONT font, int dpi, VARIANT* value) {
  LOGFONTW logFont = {};
  if (font == nullptr || GetObjectW(font, sizeof logFont, &logFont) == 0) return E_FAIL;
  FONTDESC description = {};
  description.cbSizeofstruct = sizeof description;
  description.lpstrName = logFont.lfFaceName;
  // Character height in pixels to points, in the ten-thousandths a CY holds.
  description.cySize.int64 =
      ConvertLength(logFont.lfHeight < 0 ? -logFont.lfHeight : logFont.lfHeight, dpi,
                    static_cast<int>(kPointsPerInch * kCurrencyScale));
  description.sWeight = static_cast<SHORT>(logFont.lfWeight);
  description.sCharset = logFont.lfCharSet;
  description.fItalic = logFont.lfItalic != 0;
  description.fUnderline = logFont.lfUnderline != 0;
  description.fStrikethrough = logFont.lfStrikeOut != 0;
  value->vt = VT_DISPATCH;
  return OleCreateFontIndirect(&description, IID_IFontDisp,
                               reinterpret_cast<void**>(&value->pdispVal));
}

}  // namespace

HRESULT ReadAmbientProperty(const ContainerAmbience& ambience, DISPID id, VARIANT* value) {
  if (value == nullptr) return E_POINTER;
  VariantInit(value);
  switch (id) {
    case DISPID_AMBIENT_USERMODE:
      return Boolean(true, value);
    case DISPID_AMBIENT_UIDEAD:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_SHOWHATCHING:
    case DISPID_AMBIENT_MESSAGEREFLECT:
    case DISPID_AMBIENT_DISPLAYASDEFAULT:
      return Boolean(false, value);
    case DISPID_AMBIENT_LOCALEID:
      return Integer(static_cast<LONG>(GetUserDefaultLCID()), value);
    case DISPID_AMBIENT_DISPLAYNAME:
      value->vt = VT_BSTR;
      value->bstrVal = SysAllocString(ambience.controlName.c_str());
      return value->bstrVal != nullptr ? S_OK : E_OUTOFMEMORY;
    case DISPID_AMBIENT_FONT: {
      const HRESULT hr = Font(ambience.font, ambience.dpi.y, value);
      if (FAILED(hr)) VariantInit(value);
      return hr;
    }
    case DISPID_AMBIENT_FORECOLOR:
      return Integer(static_cast<LONG>(ambience.foreColor), value);
    case DISPID_AMBIENT_BACKCOLOR:
      return Integer(static_cast<LONG>(ambience.backColor), value);
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace velmaris

#pragma once

#include <oaidl.h>

#include "link/Value.h"

namespace velmaris {

// Converts what the component hands over into the core's value. Never fails on odd input: a
// type the tool cannot read, a null reference or an unreadable array becomes an Unsupported
// value named after its VARIANT type (e.g. "VT_DISPATCH"). VT_CY and VT_DATE become reals (the
// currency amount; the Automation day number), VT_BSTR becomes UTF-8 text.
Value ToValue(const VARIANT& variant);

// The name of a VARIANT type, e.g. "VT_BYREF|VT_I2", for messages and logs.
std::string VariantTypeName(VARTYPE type);

}  // namespace velmaris

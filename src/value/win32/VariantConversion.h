#pragma once

#include <oaidl.h>

#include "value/Value.h"

namespace velmaris {

// Converts what the component hands over into the core's value. Never fails on odd input: a
// type the tool cannot read, a null reference or an unreadable array becomes an Unsupported
// value named after its VARIANT type (e.g. "VT_DISPATCH"). The work is bounded
// (ConversionBudget): a value that refers back to itself, nests too deep or holds too many
// elements becomes one Unsupported value as a whole. VT_CY, VT_DATE and VT_DECIMAL become reals
// that keep their own text form; VT_BSTR becomes UTF-8 text.
Value ToValue(const VARIANT& variant);

}  // namespace velmaris

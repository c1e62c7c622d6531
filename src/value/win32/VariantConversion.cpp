#include "value/win32/VariantConversion.h"

#include <oleauto.h>

#include "common/win32/Scoped.h"
#include "common/win32/Utf16.h"
#include "value/ConversionBudget.h"

namespace velmaris {
namespace {

const char* BaseTypeName(VARTYPE type) {
  switch (type) {
    case VT_EMPTY:
      return "VT_EMPTY";
    case VT_NULL:
      return "VT_NULL";
    case VT_I2:
      return "VT_I2";
    case VT_I4:
      return "VT_I4";
    case VT_R4:
      return "VT_R4";
    case VT_R8:
      return "VT_R8";
    case VT_CY:
      return "VT_CY";
    case VT_DATE:
      return "VT_DATE";
    case VT_BSTR:
      return "VT_BSTR";
    case VT_DISPATCH:
      return "VT_DISPATCH";
    case VT_ERROR:
      return "VT_ERROR";
    case VT_BOOL:
      return "VT_BOOL";
    case VT_VARIANT:
      return "VT_VARIANT";
    case VT_UNKNOWN:
      return "VT_UNKNOWN";
    case VT_DECIMAL:
      return "VT_DECIMAL";
    case VT_I1:
      return "VT_I1";
    case VT_UI1:
      return "VT_UI1";
    case VT_UI2:
      return "VT_UI2";
    case VT_UI4:
      return "VT_UI4";
    case VT_I8:
      return "VT_I8";
    case VT_UI8:
      return "VT_UI8";
    case VT_INT:
      return "VT_INT";
    case VT_UINT:
      return "VT_UINT";
    case VT_VOID:
      return "VT_VOID";
    case VT_HRESULT:
      return "VT_HRESULT";
    case VT_PTR:
      return "VT_PTR";
    case VT_SAFEARRAY:
      return "VT_SAFEARRAY";
    case VT_CARRAY:
      return "VT_CARRAY";
    case VT_USERDEFINED:
      return "VT_USERDEFINED";
    case VT_LPSTR:
      return "VT_LPSTR";
    case VT_LPWSTR:
      return "VT_LPWSTR";
    case VT_RECORD:
      return "VT_RECORD";
    case VT_INT_PTR:
      return "VT_INT_PTR";
    case VT_UINT_PTR:
      return "VT_UINT_PTR";
    default:
      return nullptr;
  }
}

// Size of one array element of the given type; 0 for types the tool does not read from arrays.
size_t ElementSize(VARTYPE type) {
  switch (type) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
      return 8;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return sizeof(void*);
    case VT_DECIMAL:
      return sizeof(DECIMAL);
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return 0;
  }
}

// Ends the reading of a whole value that breaks the budget.
struct Refused {
  const char* why;
};

void Check(ConversionBudget::Verdict verdict) {
  switch (verdict) {
    case ConversionBudget::Verdict::TooLarge:
      throw Refused{" (too large)"};
    case ConversionBudget::Verdict::TooDeep:
      throw Refused{" (nested too deep)"};
    case ConversionBudget::Verdict::RefersBack:
      throw Refused{" (refers back to itself)"};
    default:
      return;
  }
}

Value Convert(const VARIANT& variant, ConversionBudget& budget);

Value ConvertArray(VARTYPE declared, SAFEARRAY* array, ConversionBudget& budget) {
  const std::string name = VariantTypeName(static_cast<VARTYPE>(VT_ARRAY | declared));
  if (array == nullptr) return Value::unsupported(name + " (null)");
  Check(budget.Follow(array));

  // The array's own idea of its element type wins over what the VARIANT claims, and its element
  // size must agree with that type, or the data cannot be read safely.
  VARTYPE elementType = declared;
  VARTYPE stored = VT_EMPTY;
  if (SUCCEEDED(SafeArrayGetVartype(array, &stored)) && stored != VT_EMPTY) elementType = stored;
  const size_t elementSize = ElementSize(elementType);
  if (elementSize == 0 || SafeArrayGetElemsize(array) != elementSize)
    return Value::unsupported(name);

  ValueArray result;
  const UINT dims = SafeArrayGetDim(array);
  uint64_t total = dims == 0 ? 0 : 1;
  for (UINT dim = 1; dim <= dims; ++dim) {
    LONG lower = 0, upper = 0;
    if (FAILED(SafeArrayGetLBound(array, dim, &lower)) ||
        FAILED(SafeArrayGetUBound(array, dim, &upper)))
      return Value::unsupported(name);
    ValueArray::Bound bound;
    bound.lower = lower;
    bound.count =
        upper >= lower ? static_cast<uint32_t>(static_cast<int64_t>(upper) - lower + 1) : 0;
    total *= bound.count;
    // Checked per dimension, before anything is allocated, so the product cannot wrap.
    if (total > ConversionBudget::kElements) Check(ConversionBudget::Verdict::TooLarge);
    result.bounds.push_back(bound);
  }
  Check(budget.Spend(total));
  if (total == 0) return Value::array(std::move(result));

  const LockedSafeArray access(array);
  if (access.data() == nullptr) return Value::unsupported(name);
  result.elements.reserve(static_cast<size_t>(total));
  for (uint64_t i = 0; i < total; ++i) {
    const unsigned char* data = access.data() + i * elementSize;
    if (elementType == VT_VARIANT) {
      result.elements.push_back(Convert(*reinterpret_cast<const VARIANT*>(data), budget));
      continue;
    }
    // Any other element is read through a by-reference VARIANT, so every element type takes the
    // same path as a single value does.
    VARIANT element;
    VariantInit(&element);
    element.vt = static_cast<VARTYPE>(VT_BYREF | elementType);
    element.byref = const_cast<unsigned char*>(data);
    result.elements.push_back(Convert(element, budget));
  }
  return Value::array(std::move(result));
}

// Reads one VARIANT one level deeper than its container.
Value Convert(const VARIANT& variant, ConversionBudget& budget) {
  Check(budget.Enter());
  struct Leave {
    ConversionBudget& budget;
    ~Leave() { budget.Leave(); }
  } leave{budget};

  const VARTYPE vt = variant.vt;
  const bool byRef = (vt & VT_BYREF) != 0;
  const VARTYPE base = vt & VT_TYPEMASK;
  if (byRef && variant.byref == nullptr) return Value::unsupported(VariantTypeName(vt) + " (null)");

  if (vt & VT_ARRAY) {
    SAFEARRAY* array = byRef ? *variant.pparray : variant.parray;
    return ConvertArray(base, array, budget);
  }
  if (vt & ~(VT_BYREF | VT_TYPEMASK)) return Value::unsupported(VariantTypeName(vt));

  switch (base) {
    case VT_EMPTY:
      return byRef ? Value::unsupported(VariantTypeName(vt)) : Value();
    case VT_NULL:
      return byRef ? Value::unsupported(VariantTypeName(vt)) : Value::null();
    case VT_BOOL:
      return Value::boolean((byRef ? *variant.pboolVal : variant.boolVal) != VARIANT_FALSE);
    case VT_I1:
      return Value::integer(byRef ? *variant.pcVal : variant.cVal, 8, true);
    case VT_UI1:
      return Value::integer(byRef ? *variant.pbVal : variant.bVal, 8, false);
    case VT_I2:
      return Value::integer(byRef ? *variant.piVal : variant.iVal, 16, true);
    case VT_UI2:
      return Value::integer(byRef ? *variant.puiVal : variant.uiVal, 16, false);
    case VT_I4:
      return Value::integer(byRef ? *variant.plVal : variant.lVal, 32, true);
    case VT_UI4:
      return Value::integer(byRef ? *variant.pulVal : variant.ulVal, 32, false);
    case VT_INT:
      return Value::integer(byRef ? *variant.pintVal : variant.intVal, 32, true);
    case VT_UINT:
      return Value::integer(byRef ? *variant.puintVal : variant.uintVal, 32, false);
    case VT_I8:
      return Value::integer(byRef ? *variant.pllVal : variant.llVal, 64, true);
    case VT_UI8:
      return Value::integer(static_cast<int64_t>(byRef ? *variant.pullVal : variant.ullVal), 64,
                            false);
    case VT_R4:
      return Value::single(byRef ? *variant.pfltVal : variant.fltVal);
    case VT_R8:
      return Value::real(byRef ? *variant.pdblVal : variant.dblVal);
    case VT_DATE:
      return Value::date(byRef ? *variant.pdate : variant.date);
    case VT_CY:
      return Value::currency((byRef ? *variant.pcyVal : variant.cyVal).int64);
    case VT_DECIMAL: {
      const DECIMAL& number = byRef ? *variant.pdecVal : variant.decVal;
      if (number.scale > 28) return Value::unsupported(VariantTypeName(vt));
      return Value::decimal(number.sign != 0, number.scale, number.Hi32, number.Lo64);
    }
    case VT_BSTR:
      return Value::text(BstrToUtf8(byRef ? *variant.pbstrVal : variant.bstrVal));
    case VT_VARIANT:
      // Only meaningful by reference: a VARIANT that stands for another one.
      if (!byRef) return Value::unsupported(VariantTypeName(vt));
      Check(budget.Follow(variant.pvarVal));
      Check(budget.Spend(1));
      return Convert(*variant.pvarVal, budget);
    default:
      return Value::unsupported(VariantTypeName(base));
  }
}

}  // namespace

std::string VariantTypeName(VARTYPE type) {
  std::string name;
  if (type & VT_BYREF) name += "VT_BYREF|";
  if (type & VT_ARRAY) name += "VT_ARRAY|";
  if (type & VT_VECTOR) name += "VT_VECTOR|";
  const VARTYPE base = type & VT_TYPEMASK;
  if (const char* known = BaseTypeName(base)) return name + known;
  return name + "VT_" + std::to_string(base);
}

Value ToValue(const VARIANT& variant) {
  ConversionBudget budget;
  try {
    return Convert(variant, budget);
  } catch (const Refused& refused) {
    return Value::unsupported(VariantTypeName(variant.vt) + refused.why);
  }
}

}  // namespace velmaris

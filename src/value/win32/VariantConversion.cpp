#include "value/win32/VariantConversion.h"

#include <oleauto.h>

#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "common/win32/Scoped.h"
#include "common/win32/Utf16.h"
#include "value/ConversionBudget.h"

namespace velmaris {
namespace {

// A value's storage, wherever it is held: in a VARIANT, behind a reference, in an array.
template <class T>
const T& Stored(const void* storage) {
  return *static_cast<const T*>(storage);
}

// How the values of each type the tool reads are made from their storage; nothing is made of a
// malformed one.
using Reader = std::optional<Value> (*)(const void* storage);

template <class T>
std::optional<Value> Integer(const void* storage) {
  return Value::integer(static_cast<int64_t>(Stored<T>(storage)), sizeof(T) * 8,
                        std::is_signed_v<T>);
}

template <class T, Value (*make)(T)>
std::optional<Value> Made(const void* storage) {
  return make(Stored<T>(storage));
}

std::optional<Value> Empty(const void*) { return Value(); }
std::optional<Value> Null(const void*) { return Value::null(); }
std::optional<Value> Boolean(const void* storage) {
  return Value::boolean(Stored<VARIANT_BOOL>(storage) != VARIANT_FALSE);
}
std::optional<Value> Currency(const void* storage) {
  return Value::currency(Stored<CY>(storage).int64);
}
std::optional<Value> Text(const void* storage) {
  return Value::text(BstrToUtf8(Stored<BSTR>(storage)));
}
std::optional<Value> Decimal(const void* storage) {
  const DECIMAL& number = Stored<DECIMAL>(storage);
  if (number.scale > 28) return std::nullopt;  // more decimals than a Decimal may have
  return Value::decimal(number.sign != 0, number.scale, number.Hi32, number.Lo64);
}

// What the tool knows of each VARIANT type: its name, the size of one array element of it (0 for
// a type it does not read from arrays), and how a value of it is read (none for a type it does not
// read).
struct VariantType {
  VARTYPE type;
  const char* name;
  size_t elementSize;
  Reader read;
  // False for Empty and Null, which are values only in a VARIANT of their own.
  bool byReference = true;
};

const VariantType kVariantTypes[] = {
    {VT_EMPTY, "VT_EMPTY", 0, &Empty, false},
    {VT_NULL, "VT_NULL", 0, &Null, false},
    {VT_I2, "VT_I2", sizeof(SHORT), &Integer<SHORT>},
    {VT_I4, "VT_I4", sizeof(LONG), &Integer<LONG>},
    {VT_R4, "VT_R4", sizeof(FLOAT), &Made<FLOAT, &Value::single>},
    {VT_R8, "VT_R8", sizeof(DOUBLE), &Made<DOUBLE, &Value::real>},
    {VT_CY, "VT_CY", sizeof(CY), &Currency},
    {VT_DATE, "VT_DATE", sizeof(DATE), &Made<DATE, &Value::date>},
    {VT_BSTR, "VT_BSTR", sizeof(BSTR), &Text},
    {VT_DISPATCH, "VT_DISPATCH", sizeof(IDispatch*), nullptr},
    {VT_ERROR, "VT_ERROR", sizeof(SCODE), nullptr},
    {VT_BOOL, "VT_BOOL", sizeof(VARIANT_BOOL), &Boolean},
    // Read only by reference, as a VARIANT that stands for another one (see Convert).
    {VT_VARIANT, "VT_VARIANT", sizeof(VARIANT), nullptr},
    {VT_UNKNOWN, "VT_UNKNOWN", sizeof(IUnknown*), nullptr},
    {VT_DECIMAL, "VT_DECIMAL", sizeof(DECIMAL), &Decimal},
    {VT_I1, "VT_I1", sizeof(signed char), &Integer<signed char>},
    {VT_UI1, "VT_UI1", sizeof(BYTE), &Integer<BYTE>},
    {VT_UI2, "VT_UI2", sizeof(USHORT), &Integer<USHORT>},
    {VT_UI4, "VT_UI4", sizeof(ULONG), &Integer<ULONG>},
    {VT_I8, "VT_I8", sizeof(LONGLONG), &Integer<LONGLONG>},
    {VT_UI8, "VT_UI8", sizeof(ULONGLONG), &Integer<ULONGLONG>},
    {VT_INT, "VT_INT", sizeof(INT), &Integer<INT>},
    {VT_UINT, "VT_UINT", sizeof(UINT), &Integer<UINT>},
    {VT_VOID, "VT_VOID", 0, nullptr},
    {VT_HRESULT, "VT_HRESULT", 0, nullptr},
    {VT_PTR, "VT_PTR", 0, nullptr},
    {VT_SAFEARRAY, "VT_SAFEARRAY", 0, nullptr},
    {VT_CARRAY, "VT_CARRAY", 0, nullptr},
    {VT_USERDEFINED, "VT_USERDEFINED", 0, nullptr},
    {VT_LPSTR, "VT_LPSTR", 0, nullptr},
    {VT_LPWSTR, "VT_LPWSTR", 0, nullptr},
    {VT_RECORD, "VT_RECORD", 0, nullptr},
    {VT_INT_PTR, "VT_INT_PTR", 0, nullptr},
    {VT_UINT_PTR, "VT_UINT_PTR", 0, nullptr},
};

// The entry of a base type, or null for a type the tool does not know.
const VariantType* Described(VARTYPE base) {
  for (const VariantType& known : kVariantTypes) {
    if (known.type == base) return &known;
  }
  return nullptr;
}

// The name of a VARIANT type, e.g. "VT_BYREF|VT_I2", for the values the tool cannot read.
std::string VariantTypeName(VARTYPE type) {
  std::string name;
  if (type & VT_BYREF) name += "VT_BYREF|";
  if (type & VT_ARRAY) name += "VT_ARRAY|";
  if (type & VT_VECTOR) name += "VT_VECTOR|";
  const VARTYPE base = type & VT_TYPEMASK;
  if (const VariantType* known = Described(base)) return name + known->name;
  return name + "VT_" + std::to_string(base);
}

// Where a VARIANT's value is held: behind its reference, or in the VARIANT itself. A Decimal
// fills the whole VARIANT, its type field included; every other value lies in its union.
const void* Storage(const VARIANT& variant) {
  if (variant.vt & VT_BYREF) return variant.byref;
  if ((variant.vt & VT_TYPEMASK) == VT_DECIMAL) return &variant.decVal;
  return &variant.llVal;
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

// The type of an array's elements, or null where the data cannot be read safely. The array's own
// idea of its element type wins over what the VARIANT claims, and its element size must agree
// with that type.
const VariantType* ElementType(VARTYPE declared, SAFEARRAY* array) {
  VARTYPE elementType = declared;
  VARTYPE stored = VT_EMPTY;
  if (SUCCEEDED(SafeArrayGetVartype(array, &stored)) && stored != VT_EMPTY) elementType = stored;
  const VariantType* described = Described(elementType);
  if (described == nullptr || described->elementSize == 0 ||
      SafeArrayGetElemsize(array) != described->elementSize) {
    return nullptr;
  }
  return described;
}

// Reads the array's bounds, one per dimension, and answers how many elements they hold; none
// where Windows cannot tell a bound. An array larger than the budget allows ends the reading.
std::optional<uint64_t> ReadBounds(SAFEARRAY* array, std::vector<ValueArray::Bound>& bounds) {
  const UINT dims = SafeArrayGetDim(array);
  uint64_t total = dims == 0 ? 0 : 1;
  for (UINT dim = 1; dim <= dims; ++dim) {
    LONG lower = 0, upper = 0;
    if (FAILED(SafeArrayGetLBound(array, dim, &lower)) ||
        FAILED(SafeArrayGetUBound(array, dim, &upper))) {
      return std::nullopt;
    }
    ValueArray::Bound bound;
    bound.lower = lower;
    bound.count =
        upper >= lower ? static_cast<uint32_t>(static_cast<int64_t>(upper) - lower + 1) : 0;
    total *= bound.count;
    // Checked per dimension, before anything is allocated, so the product cannot wrap.
    if (total > ConversionBudget::kElements) Check(ConversionBudget::Verdict::TooLarge);
    bounds.push_back(bound);
  }
  return total;
}

// Reads the array's `total` elements of type `type`; false where its data cannot be reached.
bool ReadElements(SAFEARRAY* array, const VariantType& type, uint64_t total,
                  ConversionBudget& budget, std::vector<Value>& elements) {
  const LockedSafeArray access(array);
  if (access.data() == nullptr) return false;
  elements.reserve(static_cast<size_t>(total));
  for (uint64_t i = 0; i < total; ++i) {
    const unsigned char* data = access.data() + i * type.elementSize;
    if (type.type == VT_VARIANT) {
      elements.push_back(Convert(*reinterpret_cast<const VARIANT*>(data), budget));
      continue;
    }
    // Any other element is read through a by-reference VARIANT, so every element type takes the
    // same path as a single value does.
    VARIANT element;
    VariantInit(&element);
    element.vt = static_cast<VARTYPE>(VT_BYREF | type.type);
    element.byref = const_cast<unsigned char*>(data);
    elements.push_back(Convert(element, budget));
  }
  return true;
}

Value ConvertArray(VARTYPE declared, SAFEARRAY* array, ConversionBudget& budget) {
  const std::string name = VariantTypeName(static_cast<VARTYPE>(VT_ARRAY | declared));
  if (array == nullptr) return Value::unsupported(name + " (null)");
  Check(budget.Follow(array));
  const VariantType* type = ElementType(declared, array);
  if (type == nullptr) return Value::unsupported(name);
  ValueArray result;
  const std::optional<uint64_t> total = ReadBounds(array, result.bounds);
  if (!total) return Value::unsupported(name);
  Check(budget.Spend(*total));
  if (*total > 0 && !ReadElements(array, *type, *total, budget, result.elements)) {
    return Value::unsupported(name);
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

  if (base == VT_VARIANT) {
    // Only meaningful by reference: a VARIANT that stands for another one.
    if (!byRef) return Value::unsupported(VariantTypeName(vt));
    Check(budget.Follow(variant.pvarVal));
    Check(budget.Spend(1));
    return Convert(*variant.pvarVal, budget);
  }
  const VariantType* described = Described(base);
  if (described == nullptr || described->read == nullptr) {
    return Value::unsupported(VariantTypeName(base));
  }
  if (byRef && !described->byReference) return Value::unsupported(VariantTypeName(vt));
  const std::optional<Value> value = described->read(Storage(variant));
  return value ? *value : Value::unsupported(VariantTypeName(vt));
}

}  // namespace

Value ToValue(const VARIANT& variant) {
  ConversionBudget budget;
  try {
    return Convert(variant, budget);
  } catch (const Refused& refused) {
    return Value::unsupported(VariantTypeName(variant.vt) + refused.why);
  }
}

}  // namespace velmaris

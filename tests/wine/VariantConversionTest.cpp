#include <gtest/gtest.h>
#include <oleauto.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "common/win32/Scoped.h"
#include "value/ConversionBudget.h"
#include "value/Conversions.h"
#include "value/win32/VariantConversion.h"

namespace velmaris {
namespace {

// A SAFEARRAY of VARIANT that destroys itself.
class Array {
 public:
  Array(VARTYPE type, std::vector<SAFEARRAYBOUND> bounds)
      : array_(SafeArrayCreate(type, static_cast<UINT>(bounds.size()), bounds.data())) {}
  ~Array() {
    if (array_) SafeArrayDestroy(array_);
  }
  Array(const Array&) = delete;
  Array& operator=(const Array&) = delete;

  void Put(std::vector<LONG> indices, VARIANT value) {
    ASSERT_EQ(S_OK, SafeArrayPutElement(array_, indices.data(), &value));
  }
  void Put(std::vector<LONG> indices, void* value) {
    ASSERT_EQ(S_OK, SafeArrayPutElement(array_, indices.data(), value));
  }
  // Hands the array over to a VARIANT, which then owns it.
  SAFEARRAY* Release() {
    SAFEARRAY* array = array_;
    array_ = nullptr;
    return array;
  }
  VARIANT AsVariant(VARTYPE type) const {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | type;
    v.parray = array_;
    return v;
  }

 private:
  SAFEARRAY* array_;
};

VARIANT Make(VARTYPE type) {
  VARIANT v;
  VariantInit(&v);
  v.vt = type;
  return v;
}
VARIANT I2(SHORT value) {
  VARIANT v = Make(VT_I2);
  v.iVal = value;
  return v;
}
VARIANT I4(LONG value) {
  VARIANT v = Make(VT_I4);
  v.lVal = value;
  return v;
}

TEST(VariantConversion, IntegersKeepTheirWidthAndSignedness) {
  struct Case {
    VARTYPE type;
    int64_t bits;  // raw value written into the VARIANT's storage
    int64_t expected;
    unsigned width;
    bool isSigned;
  } cases[] = {
      {VT_I1, 0xFF, -1, 8, true},
      {VT_UI1, 0xFF, 255, 8, false},
      {VT_I2, 0x8000, -32768, 16, true},
      {VT_UI2, 0xFFFF, 65535, 16, false},
      {VT_I4, 0x80000000, INT32_MIN, 32, true},
      {VT_UI4, 0xFFFFFFFF, 4294967295LL, 32, false},
      {VT_INT, 0xFFFFFFFE, -2, 32, true},
      {VT_UINT, 7, 7, 32, false},
      {VT_I8, INT64_MIN, INT64_MIN, 64, true},
  };
  for (const Case& c : cases) {
    VARIANT v = Make(c.type);
    v.llVal = c.bits;
    if (c.type != VT_I8) v.llVal &= (c.width == 8 ? 0xFF : c.width == 16 ? 0xFFFF : 0xFFFFFFFF);
    const Value value = ToValue(v);
    SCOPED_TRACE(c.type);
    ASSERT_EQ(Value::Kind::Integer, value.kind());
    EXPECT_EQ(c.expected, value.asInteger());
    EXPECT_EQ(c.width, value.integerBits());
    EXPECT_EQ(c.isSigned, value.integerSigned());
  }
}

TEST(VariantConversion, ScalarsOfOtherTypes) {
  EXPECT_TRUE(ToValue(Make(VT_EMPTY)).isEmpty());
  EXPECT_EQ(Value::Kind::Null, ToValue(Make(VT_NULL)).kind());

  VARIANT flag = Make(VT_BOOL);
  flag.boolVal = VARIANT_TRUE;
  EXPECT_TRUE(ToValue(flag).asBoolean());
  flag.boolVal = 1;  // any non-zero pattern is True
  EXPECT_TRUE(ToValue(flag).asBoolean());

  VARIANT real = Make(VT_R4);
  real.fltVal = 3.1f;
  EXPECT_EQ(3.1f, ToValue(real).asReal());
  EXPECT_EQ("3.1", OwnTextForm(ToValue(real))) << "a single is written at its own precision";
  real = Make(VT_R8);
  real.dblVal = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(std::isnan(ToValue(real).asReal()));

  VARIANT money = Make(VT_CY);
  money.cyVal.int64 = 215000;  // 21.5
  EXPECT_EQ(Value::Kind::Real, ToValue(money).kind());
  EXPECT_DOUBLE_EQ(21.5, ToValue(money).asReal());
  money.cyVal.int64 = INT64_MAX;
  EXPECT_EQ("922337203685477.5807", OwnTextForm(ToValue(money)));

  VARIANT date = Make(VT_DATE);
  date.date = 45000.25;
  EXPECT_DOUBLE_EQ(45000.25, ToValue(date).asReal());
  EXPECT_EQ("2023-03-15 06:00:00", OwnTextForm(ToValue(date)));

  VARIANT decimal = Make(VT_I4);
  decimal.lVal = 13;
  ASSERT_EQ(S_OK, VariantChangeType(&decimal, &decimal, 0, VT_DECIMAL));
  EXPECT_DOUBLE_EQ(13.0, ToValue(decimal).asReal());
  VARIANT precise = Make(VT_BSTR);
  precise.bstrVal = SysAllocString(L"-1234567890123456789.0123456789");
  ASSERT_EQ(S_OK, VariantChangeTypeEx(&precise, &precise, LOCALE_INVARIANT, 0, VT_DECIMAL));
  EXPECT_EQ("-1234567890123456789.0123456789", OwnTextForm(ToValue(precise)));
  precise.decVal.scale = 29;  // beyond what a DECIMAL may hold
  EXPECT_EQ(Value::Kind::Unsupported, ToValue(precise).kind());
}

TEST(VariantConversion, TextBecomesUtf8AndANullTextIsEmpty) {
  UniqueVariant text;
  text.get()->vt = VT_BSTR;
  text.get()->bstrVal = SysAllocString(L"Diagn\u00f3stico 3.10");
  EXPECT_EQ("Diagn\xc3\xb3stico 3.10", ToValue(*text).asText());

  VARIANT null = Make(VT_BSTR);
  null.bstrVal = nullptr;
  const Value value = ToValue(null);
  EXPECT_EQ(Value::Kind::Text, value.kind());
  EXPECT_EQ("", value.asText());
}

TEST(VariantConversion, ReferencesAreFollowedAndBadOnesNamed) {
  SHORT port = 21;
  VARIANT byRef = Make(VT_BYREF | VT_I2);
  byRef.piVal = &port;
  EXPECT_EQ(21, ToValue(byRef).asInteger());
  EXPECT_EQ(16u, ToValue(byRef).integerBits());

  VARIANT inner = I4(300);
  VARIANT toVariant = Make(VT_BYREF | VT_VARIANT);
  toVariant.pvarVal = &inner;
  EXPECT_EQ(300, ToValue(toVariant).asInteger());

  VARIANT dangling = Make(VT_BYREF | VT_BSTR);
  dangling.pbstrVal = nullptr;
  EXPECT_EQ(Value::Kind::Unsupported, ToValue(dangling).kind());

  // A reference to itself must end, not recurse forever.
  VARIANT loop = Make(VT_BYREF | VT_VARIANT);
  loop.pvarVal = &loop;
  EXPECT_EQ(Value::Kind::Unsupported, ToValue(loop).kind());
}

TEST(VariantConversion, ObjectsAndUnknownTypesAreUnsupportedByName) {
  VARIANT object = Make(VT_DISPATCH);
  object.pdispVal = nullptr;
  EXPECT_EQ(Value::Kind::Unsupported, ToValue(object).kind());
  EXPECT_EQ("VT_DISPATCH", ToValue(object).asText());
  object.vt = VT_UNKNOWN;
  EXPECT_EQ("VT_UNKNOWN", ToValue(object).asText());
  EXPECT_EQ("VT_ERROR", ToValue(Make(VT_ERROR)).asText());
  EXPECT_EQ(Value::Kind::Unsupported, ToValue(Make(0x7F)).kind());
  EXPECT_EQ(Value::Kind::Unsupported, ToValue(Make(VT_VECTOR | VT_I4)).kind());
}

TEST(VariantConversion, IdentificationArrayKeepsItsShapeAndElementTypes) {
  Array array(VT_VARIANT, {{4, 0}, {2, 0}});
  array.Put({0, 1}, I2(21));
  UniqueVariant firmware;
  firmware.get()->vt = VT_BSTR;
  firmware.get()->bstrVal = SysAllocString(L"3.10");
  array.Put({1, 1}, *firmware);
  array.Put({3, 1}, I4(300));
  array.Put({3, 0}, I2(-1));

  const Value value = ToValue(array.AsVariant(VT_VARIANT));
  ASSERT_EQ(Value::Kind::Array, value.kind());
  const ValueArray& table = value.asArray();
  ASSERT_EQ(2u, table.bounds.size());
  EXPECT_EQ(4u, table.bounds[0].count);
  EXPECT_EQ(2u, table.bounds[1].count);
  ASSERT_NE(nullptr, table.element(0, 1));
  EXPECT_EQ(21, table.element(0, 1)->asInteger());
  EXPECT_EQ(16u, table.element(0, 1)->integerBits());
  EXPECT_EQ("3.10", table.element(1, 1)->asText());
  EXPECT_EQ(300, table.element(3, 1)->asInteger());
  EXPECT_EQ(-1, table.element(3, 0)->asInteger());
  EXPECT_TRUE(table.element(2, 1)->isEmpty());
}

TEST(VariantConversion, OddArrayShapesConvertWithoutHarm) {
  // Bounds starting at 1: (3, 1) exists and is the third row, first column.
  Array oneBased(VT_VARIANT, {{4, 1}, {2, 1}});
  oneBased.Put({3, 1}, I4(77));
  const Value shifted = ToValue(oneBased.AsVariant(VT_VARIANT));
  ASSERT_NE(nullptr, shifted.asArray().element(3, 1));
  EXPECT_EQ(77, shifted.asArray().element(3, 1)->asInteger());
  EXPECT_EQ(nullptr, shifted.asArray().element(0, 1));

  // Too small to hold (3, 1).
  Array small(VT_VARIANT, {{2, 0}, {2, 0}});
  EXPECT_EQ(nullptr, ToValue(small.AsVariant(VT_VARIANT)).asArray().element(3, 1));

  Array flat(VT_VARIANT, {{5, 0}});
  const Value oneDim = ToValue(flat.AsVariant(VT_VARIANT));
  EXPECT_EQ(1u, oneDim.asArray().bounds.size());
  EXPECT_EQ(nullptr, oneDim.asArray().element(3, 1));

  Array cube(VT_VARIANT, {{4, 0}, {2, 0}, {2, 0}});
  cube.Put({3, 1, 1}, I4(5));
  const Value threeDim = ToValue(cube.AsVariant(VT_VARIANT));
  EXPECT_EQ(3u, threeDim.asArray().bounds.size());
  EXPECT_EQ(16u, threeDim.asArray().elements.size());
  EXPECT_EQ(5, threeDim.asArray().elements.back().asInteger());
  EXPECT_EQ(nullptr, threeDim.asArray().element(3, 1));

  Array none(VT_VARIANT, {{0, 0}, {0, 0}});
  const Value empty = ToValue(none.AsVariant(VT_VARIANT));
  EXPECT_EQ(Value::Kind::Array, empty.kind());
  EXPECT_TRUE(empty.asArray().elements.empty());
}

TEST(VariantConversion, ArraysOfOtherElementTypesAndNestedArrays) {
  Array numbers(VT_I2, {{4, 0}, {2, 0}});
  SHORT code = 13;
  numbers.Put({0, 1}, &code);
  const Value typed = ToValue(numbers.AsVariant(VT_I2));
  EXPECT_EQ(13, typed.asArray().element(0, 1)->asInteger());
  EXPECT_EQ(16u, typed.asArray().element(0, 1)->integerBits());

  Array texts(VT_BSTR, {{2, 0}});  // elements start out as null BSTRs
  const Value words = ToValue(texts.AsVariant(VT_BSTR));
  ASSERT_EQ(2u, words.asArray().elements.size());
  EXPECT_EQ("", words.asArray().elements[0].asText());

  Array objects(VT_UNKNOWN, {{1, 0}});
  EXPECT_EQ("VT_UNKNOWN", ToValue(objects.AsVariant(VT_UNKNOWN)).asArray().elements[0].asText());

  Array inner(VT_VARIANT, {{2, 0}});
  inner.Put({1}, I4(9));
  UniqueVariant nested;
  nested.get()->vt = VT_ARRAY | VT_VARIANT;
  nested.get()->parray = inner.Release();
  Array outer(VT_VARIANT, {{4, 0}, {2, 0}});
  outer.Put({3, 1}, *nested);
  const Value tree = ToValue(outer.AsVariant(VT_VARIANT));
  const Value* branch = tree.asArray().element(3, 1);
  ASSERT_EQ(Value::Kind::Array, branch->kind());
  EXPECT_EQ(9, branch->asArray().elements[1].asInteger());

  // The VARIANT may claim another element type than the array holds; the array's own wins.
  const Value mislabelled = ToValue(numbers.AsVariant(VT_VARIANT));
  EXPECT_EQ(13, mislabelled.asArray().element(0, 1)->asInteger());
}

// Values that refer back to themselves or expand without end are refused as a whole, after a
// bounded amount of work, whatever element the tool would read.
TEST(VariantConversion, SelfReferencesAndEndlessExpansionAreRefusedAsAWhole) {
  Array identification(VT_VARIANT, {{4, 0}, {2, 0}});
  identification.Put({0, 1}, I2(21));
  VARIANT whole = identification.AsVariant(VT_VARIANT);
  VARIANT back = Make(VT_BYREF | VT_VARIANT);
  back.pvarVal = &whole;
  for (LONG row = 1; row < 4; ++row) identification.Put({row, 1}, back);
  const Value refused = ToValue(whole);
  ASSERT_EQ(Value::Kind::Unsupported, refused.kind());
  EXPECT_EQ("VT_ARRAY|VT_VARIANT (refers back to itself)", refused.asText());

  VARIANT arrayBack = Make(VT_BYREF | VT_ARRAY | VT_VARIANT);
  SAFEARRAY* self = whole.parray;
  arrayBack.pparray = &self;
  identification.Put({1, 1}, arrayBack);
  EXPECT_EQ(Value::Kind::Unsupported, ToValue(whole).kind());

  // Distinct arrays nested deeper than the budget allows. By number: the arrays and the number
  // inside them are 32 levels when 31 arrays deep, which is read; 33 levels are not.
  std::vector<std::unique_ptr<Array>> chain;
  VARIANT next = I4(1);
  for (int level = 0; level <= ConversionBudget::kDepth; ++level) {
    chain.push_back(std::make_unique<Array>(VT_VARIANT, std::vector<SAFEARRAYBOUND>{{1, 0}}));
    chain.back()->Put({0}, next);
    next = chain.back()->AsVariant(VT_VARIANT);
    if (chain.size() == 31) {
      EXPECT_EQ(Value::Kind::Array, ToValue(next).kind());
    } else if (chain.size() == 32) {
      EXPECT_EQ("VT_ARRAY|VT_VARIANT (nested too deep)", ToValue(next).asText());
    }
  }
  EXPECT_EQ("VT_ARRAY|VT_VARIANT (nested too deep)", ToValue(next).asText());

  // Many arrays, each within bounds, that together pass the element budget.
  Array wide(VT_VARIANT, {{256, 0}});
  Array row(VT_VARIANT, {{512, 0}});
  for (LONG k = 0; k < 256; ++k) wide.Put({k}, row.AsVariant(VT_VARIANT));  // each a copy
  EXPECT_EQ("VT_ARRAY|VT_VARIANT (too large)", ToValue(wide.AsVariant(VT_VARIANT)).asText());
  // By number: two arrays of 32,767 in an array of two are 65,536 elements, which are read;
  // two of 32,768 are two more, which are not.
  for (const ULONG inner : {32767u, 32768u}) {
    Array pair(VT_VARIANT, {{2, 0}});
    Array half(VT_VARIANT, {{inner, 0}});
    for (LONG k = 0; k < 2; ++k) pair.Put({k}, half.AsVariant(VT_VARIANT));
    const Value read = ToValue(pair.AsVariant(VT_VARIANT));
    if (inner == 32767u) {
      EXPECT_EQ(Value::Kind::Array, read.kind());
    } else {
      EXPECT_EQ("VT_ARRAY|VT_VARIANT (too large)", read.asText());
    }
  }
}

TEST(VariantConversion, HostileArraysAreRefusedNotRead) {
  VARIANT null = Make(VT_ARRAY | VT_VARIANT);
  null.parray = nullptr;
  EXPECT_EQ(Value::Kind::Unsupported, ToValue(null).kind());

  VARIANT nullRef = Make(VT_BYREF | VT_ARRAY | VT_VARIANT);
  nullRef.pparray = nullptr;
  EXPECT_EQ(Value::Kind::Unsupported, ToValue(nullRef).kind());

  // A descriptor that claims ten billion elements and has no data behind it.
  SAFEARRAY* huge = nullptr;
  ASSERT_EQ(S_OK, SafeArrayAllocDescriptorEx(VT_VARIANT, 2, &huge));
  huge->cbElements = sizeof(VARIANT);
  huge->rgsabound[0] = {100000, 0};
  huge->rgsabound[1] = {100000, 0};
  VARIANT claim = Make(VT_ARRAY | VT_VARIANT);
  claim.parray = huge;
  EXPECT_EQ(Value::Kind::Unsupported, ToValue(claim).kind());
  SafeArrayDestroyDescriptor(huge);

  // Element size that does not match the element type.
  Array bytes(VT_UI1, {{16, 0}});
  VARIANT wrongSize = bytes.AsVariant(VT_VARIANT);
  SAFEARRAY* raw = wrongSize.parray;
  const USHORT features = raw->fFeatures;
  raw->fFeatures = (features & ~FADF_HAVEVARTYPE) | FADF_VARIANT;  // claims VARIANT elements
  EXPECT_EQ(Value::Kind::Unsupported, ToValue(wrongSize).kind());
  raw->fFeatures = features;
}

}  // namespace
}  // namespace velmaris

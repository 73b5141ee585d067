// VARIANT: the 16-byte layout a DECIMAL fills, ownership through clear and copy
// (arrays under every array label, self-copies, interfaces), and the type
// changes, in place or not, with their rounding and errors.
#include "platform/oleaut/oleauto.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

VARIANT make_i4(LONG value) { VARIANT v; v.vt = VT_I4; v.lVal = value; return v; }
VARIANT make_i8(LONGLONG value) { VARIANT v; v.vt = VT_I8; v.llVal = value; return v; }
VARIANT make_ui8(ULONGLONG value) { VARIANT v; v.vt = VT_UI8; v.ullVal = value; return v; }
VARIANT make_r8(double value) { VARIANT v; v.vt = VT_R8; v.dblVal = value; return v; }
VARIANT make_r4(float value) { VARIANT v; v.vt = VT_R4; v.fltVal = value; return v; }
VARIANT make_cy(LONGLONG value) { VARIANT v; v.vt = VT_CY; v.cyVal.int64 = value; return v; }
VARIANT make_bool(VARIANT_BOOL value) { VARIANT v; v.vt = VT_BOOL; v.boolVal = value; return v; }
VARIANT make_null() { VARIANT v; v.vt = VT_NULL; return v; }

VARIANT make_decimal(const wchar_t* text)
{
  DECIMAL value{};
  EXPECT_EQ(VarDecFromStr(text, 1033, 0, &value), S_OK) << text;
  VARIANT v;
  v.set_decimal(value);
  return v;
}

VARIANT make_text(std::wstring_view text)
{
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(text.data(), static_cast<unsigned int>(text.size()));
  return v;
}

VARIANT make_bytes(VARTYPE label, std::vector<unsigned char> bytes)
{
  VARIANT v;
  v.vt = label;
  v.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  if (!bytes.empty())
    std::memcpy(v.parray->pvData, bytes.data(), bytes.size());
  return v;
}

std::vector<unsigned char> bytes_of(const VARIANT& v)
{
  const auto* data = static_cast<const unsigned char*>(v.parray->pvData);
  return {data, data + v.parray->rgsabound[0].cElements};
}

std::wstring text_of(const VARIANT& v)
{
  plat::scoped_variant text;
  EXPECT_EQ(VariantChangeType(&text.value, &v, 0, VT_BSTR), S_OK) << "vt " << v.vt;
  if (text.value.vt != VT_BSTR)
    return L"<no text>";
  return std::wstring(text.value.bstrVal, SysStringLen(text.value.bstrVal));
}

constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

} // namespace

TEST(OleautVariant, DecimalFillsTheWholeSixteenBytes)
{
  static_assert(sizeof(VARIANT) == 16);
  const VARIANT v = make_decimal(L"-79228162514264337593543950335");
  EXPECT_EQ(v.vt, VT_DECIMAL);
  unsigned char raw[16];
  std::memcpy(raw, &v, sizeof raw);
  EXPECT_EQ(raw[0], VT_DECIMAL);
  EXPECT_EQ(raw[1], 0);
  EXPECT_EQ(raw[2], 0);     // scale
  EXPECT_EQ(raw[3], 0x80);  // sign
  for (int i = 4; i < 16; ++i)
    EXPECT_EQ(raw[i], 0xFF) << i;
  const DECIMAL back = v.decimal();
  EXPECT_EQ(back.Hi32, 0xFFFFFFFFu);
  EXPECT_EQ(back.Lo64, 0xFFFFFFFFFFFFFFFFu);
  EXPECT_EQ(text_of(v), L"-79228162514264337593543950335");
}

TEST(OleautVariant, ClearReleasesArraysUnderEveryArrayLabel)
{
  for (const VARTYPE label : {VARTYPE{VT_ARRAY | VT_UI1}, VT_BLOB, VT_BLOB_OBJECT, VT_SAFEARRAY}) {
    VARIANT v = make_bytes(label, {1, 2, 3});
    EXPECT_EQ(VariantClear(&v), S_OK) << label;
    EXPECT_EQ(v.vt, VT_EMPTY);
  }
  VARIANT text = make_text(L"gone");
  EXPECT_EQ(VariantClear(&text), S_OK);
  EXPECT_EQ(text.vt, VT_EMPTY);
}

TEST(OleautVariant, ClearRefusesALockedArrayAndAnUnknownTypeWithoutLosingThem)
{
  VARIANT v = make_bytes(VT_BLOB, {9});
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(v.parray, &data), S_OK);
  EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(v.vt, VT_BLOB);
  SafeArrayUnaccessData(v.parray);
  EXPECT_EQ(VariantClear(&v), S_OK);

  VARIANT odd;
  odd.vt = 0x0FFF;
  EXPECT_EQ(VariantClear(&odd), DISP_E_BADVARTYPE);
}

TEST(OleautVariant, CopyIsDeepForBlobsAndKeepsTheirLabel)
{
  for (const VARTYPE label : {VT_BLOB, VT_BLOB_OBJECT, VARTYPE{VT_ARRAY | VT_UI1}}) {
    plat::scoped_variant source;
    source.value = make_bytes(label, {0xAB, 0x00, 0x10});
    plat::scoped_variant copy;
    copy.value = make_text(L"replaced");
    ASSERT_EQ(VariantCopy(&copy.value, &source.value), S_OK);
    EXPECT_EQ(copy.value.vt, label);
    EXPECT_NE(copy.value.parray, source.value.parray);
    EXPECT_EQ(bytes_of(copy.value), bytes_of(source.value));
  }
  plat::scoped_variant empty_array;
  empty_array.value = make_bytes(VT_BLOB, {});
  plat::scoped_variant copy;
  ASSERT_EQ(VariantCopy(&copy.value, &empty_array.value), S_OK);
  EXPECT_EQ(copy.value.parray->rgsabound[0].cElements, 0u);
}

TEST(OleautVariant, CopyKeepsEmbeddedNulsAndCopyOntoItselfChangesNothing)
{
  plat::scoped_variant source;
  source.value = make_text(std::wstring(L"a\0b", 3));
  plat::scoped_variant copy;
  ASSERT_EQ(VariantCopy(&copy.value, &source.value), S_OK);
  EXPECT_EQ(SysStringLen(copy.value.bstrVal), 3u);
  EXPECT_EQ(std::wstring(copy.value.bstrVal, 3), std::wstring(L"a\0b", 3));

  const BSTR before = source.value.bstrVal;
  EXPECT_EQ(VariantCopy(&source.value, &source.value), S_OK);
  EXPECT_EQ(source.value.bstrVal, before);
  EXPECT_EQ(std::wstring(source.value.bstrVal, 3), std::wstring(L"a\0b", 3));

  plat::scoped_variant blob;
  blob.value = make_bytes(VT_BLOB, {1, 2});
  EXPECT_EQ(VariantCopy(&blob.value, &blob.value), S_OK);
  EXPECT_EQ(bytes_of(blob.value), (std::vector<unsigned char>{1, 2}));
}

namespace {

struct counted : plat::com_object<> {
  explicit counted(int& alive) : alive_(alive) { ++alive_; }
  ~counted() override { --alive_; }
  int& alive_;
};

} // namespace

TEST(OleautVariant, InterfacesAreCountedByCopyAndClear)
{
  int alive = 0;
  IUnknown* object = new counted(alive);
  VARIANT held;
  held.vt = VT_UNKNOWN;
  held.punkVal = object;  // takes the creator's reference
  VARIANT copy;
  ASSERT_EQ(VariantCopy(&copy, &held), S_OK);
  EXPECT_EQ(object->AddRef(), 3u);
  EXPECT_EQ(object->Release(), 2u);

  void* found = nullptr;
  EXPECT_EQ(object->QueryInterface(IID_IUnknown, &found), S_OK);
  EXPECT_EQ(found, object);
  static_cast<IUnknown*>(found)->Release();
  const IID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(object->QueryInterface(other, &found), E_NOINTERFACE);
  EXPECT_EQ(found, nullptr);

  EXPECT_EQ(VariantClear(&held), S_OK);
  EXPECT_EQ(alive, 1);
  EXPECT_EQ(VariantClear(&copy), S_OK);
  EXPECT_EQ(alive, 0);
}

TEST(OleautVariant, ChangeTypeConvertsAmongScalarsWithTiesToEvenAndOverflow)
{
  const std::wstring forty_digits(40, L'9');
  struct Case {
    VARIANT source;
    VARTYPE target;
    HRESULT result;
    const wchar_t* text;  // the converted value as text
  } cases[] = {
    // BIGINT UNSIGNED and BIGINT extremes
    {make_ui8(18446744073709551615u), VT_BSTR, S_OK, L"18446744073709551615"},
    {make_ui8(18446744073709551615u), VT_DECIMAL, S_OK, L"18446744073709551615"},
    {make_ui8(18446744073709551615u), VT_R8, S_OK, L"1.84467440737096E+19"},
    {make_ui8(18446744073709551615u), VT_I8, DISP_E_OVERFLOW, nullptr},
    {make_i8(-9223372036854775807 - 1), VT_BSTR, S_OK, L"-9223372036854775808"},
    {make_i8(-9223372036854775807 - 1), VT_DECIMAL, S_OK, L"-9223372036854775808"},
    {make_text(L"18446744073709551615"), VT_UI8, S_OK, L"18446744073709551615"},
    {make_text(L"-9223372036854775809"), VT_I8, DISP_E_OVERFLOW, nullptr},
    // doubles narrowed: ties to even, NaN and infinities refused
    {make_r8(2.5), VT_I4, S_OK, L"2"},
    {make_r8(3.5), VT_I2, S_OK, L"4"},
    {make_r8(-2.5), VT_I4, S_OK, L"-2"},
    {make_r8(nan_value), VT_I4, DISP_E_OVERFLOW, nullptr},
    {make_r8(infinity), VT_UI8, DISP_E_OVERFLOW, nullptr},
    {make_r8(-infinity), VT_CY, DISP_E_OVERFLOW, nullptr},
    {make_r8(nan_value), VT_DECIMAL, DISP_E_OVERFLOW, nullptr},
    {make_r8(1e39), VT_R4, DISP_E_OVERFLOW, nullptr},
    {make_r8(1e20), VT_BSTR, S_OK, L"1E+20"},
    {make_r8(nan_value), VT_BOOL, S_OK, L"-1"},
    {make_r4(1.1f), VT_BSTR, S_OK, L"1.1"},
    {make_r4(1.1f), VT_R8, S_OK, L"1.10000002384186"},
    // integers narrowed
    {make_i4(255), VT_UI1, S_OK, L"255"},
    {make_i4(300), VT_UI1, DISP_E_OVERFLOW, nullptr},
    {make_i4(-1), VT_UI4, DISP_E_OVERFLOW, nullptr},
    {make_i4(-129), VT_I1, DISP_E_OVERFLOW, nullptr},
    {make_i4(5), VT_BOOL, S_OK, L"-1"},
    {make_i4(0), VT_BOOL, S_OK, L"0"},
    {make_i4(7), VT_CY, S_OK, L"7"},
    // exact decimals and currency
    {make_decimal(L"-0.5"), VT_BSTR, S_OK, L"-0.5"},
    {make_decimal(L"1234567890123456.5"), VT_I8, S_OK, L"1234567890123456"},
    {make_decimal(L"0.1"), VT_R8, S_OK, L"0.1"},
    {make_decimal(L"922337203685477.58074"), VT_CY, S_OK, L"922337203685477.5807"},
    {make_decimal(L"922337203685477.58075"), VT_CY, DISP_E_OVERFLOW, nullptr},
    {make_decimal(L"-922337203685477.58085"), VT_CY, S_OK, L"-922337203685477.5808"},
    {make_cy(25000), VT_I4, S_OK, L"2"},
    {make_cy(125000), VT_BSTR, S_OK, L"12.5"},
    {make_cy(-125000), VT_DECIMAL, S_OK, L"-12.5"},
    // booleans
    {make_bool(VARIANT_TRUE), VT_I4, S_OK, L"-1"},
    {make_bool(VARIANT_TRUE), VT_BSTR, S_OK, L"-1"},
    {make_text(L"TRUE"), VT_BOOL, S_OK, L"-1"},
    {make_text(L" false "), VT_BOOL, S_OK, L"0"},
    {make_text(L"2"), VT_BOOL, S_OK, L"-1"},
    {make_text(L"yes"), VT_BOOL, DISP_E_TYPEMISMATCH, nullptr},
    // text to numbers
    {make_text(L" 42 "), VT_I4, S_OK, L"42"},
    {make_text(L"2.5"), VT_I4, S_OK, L"2"},
    {make_text(L"1e3"), VT_I2, S_OK, L"1000"},
    {make_text(L"99999"), VT_I2, DISP_E_OVERFLOW, nullptr},
    {make_text(L"4x"), VT_I4, DISP_E_TYPEMISMATCH, nullptr},
    {make_text(std::wstring(L"4\0", 2)), VT_I4, DISP_E_TYPEMISMATCH, nullptr},
    {make_text(L"12,5"), VT_R8, DISP_E_TYPEMISMATCH, nullptr},
    {make_text(L"1e400"), VT_R8, DISP_E_OVERFLOW, nullptr},
    {make_text(L"0.1"), VT_DECIMAL, S_OK, L"0.1"},
    {make_text(forty_digits), VT_DECIMAL, DISP_E_OVERFLOW, nullptr},
    {make_text(L"-12.34567"), VT_CY, S_OK, L"-12.3457"},
    // dates
    {make_r8(45296.5), VT_DATE, S_OK, L"2024-01-05 12:00:00"},
    {make_r8(45296.0), VT_DATE, S_OK, L"2024-01-05"},
    {make_r8(0.25), VT_DATE, S_OK, L"06:00:00"},
    {make_r8(1e7), VT_DATE, DISP_E_OVERFLOW, nullptr},
    {make_r8(nan_value), VT_DATE, DISP_E_OVERFLOW, nullptr},
    {make_text(L"2024-01-05 10:20"), VT_DATE, S_OK, L"2024-01-05 10:20:00"},
    {make_text(L"2024-02-30"), VT_DATE, DISP_E_TYPEMISMATCH, nullptr},
    // empty, null and the pairs that do not convert
    {VARIANT{}, VT_I4, S_OK, L"0"},
    {VARIANT{}, VT_BSTR, S_OK, L""},
    {make_i4(5), VT_EMPTY, S_OK, L""},
    {make_null(), VT_I4, DISP_E_TYPEMISMATCH, nullptr},
    {make_i4(5), VT_NULL, DISP_E_TYPEMISMATCH, nullptr},
    {make_i4(5), VARTYPE{VT_ARRAY | VT_UI1}, DISP_E_TYPEMISMATCH, nullptr},
    {make_bytes(VT_BLOB, {0x41}), VT_BSTR, DISP_E_TYPEMISMATCH, nullptr},
    {make_i4(5), 15, DISP_E_BADVARTYPE, nullptr},
  };
  for (auto& c : cases) {
    plat::scoped_variant source;
    source.value = c.source;
    plat::scoped_variant result;
    const HRESULT hr = VariantChangeType(&result.value, &source.value, 0, c.target);
    EXPECT_EQ(hr, c.result) << "vt " << c.source.vt << " -> " << c.target;
    if (hr != S_OK)
      continue;
    EXPECT_EQ(result.value.vt, c.target);
    EXPECT_EQ(text_of(result.value), c.text) << "vt " << c.source.vt << " -> " << c.target;
  }
}

TEST(OleautVariant, ChangeTypeInPlaceReplacesTheValueOnlyOnSuccess)
{
  plat::scoped_variant v;
  v.value = make_text(L"12.5");
  ASSERT_EQ(VariantChangeType(&v.value, &v.value, 0, VT_R8), S_OK);
  EXPECT_EQ(v.value.vt, VT_R8);
  EXPECT_EQ(v.value.dblVal, 12.5);

  v.value = make_text(L"abc");  // the R8 held nothing to release
  EXPECT_EQ(VariantChangeType(&v.value, &v.value, 0, VT_I4), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(v.value.vt, VT_BSTR);
  EXPECT_STREQ(v.value.bstrVal, L"abc");

  // The same type is a copy, also in place and also for text with NULs.
  VariantClear(&v.value);
  v.value = make_text(std::wstring(L"x\0y", 3));
  ASSERT_EQ(VariantChangeType(&v.value, &v.value, 0, VT_BSTR), S_OK);
  EXPECT_EQ(std::wstring(v.value.bstrVal, SysStringLen(v.value.bstrVal)), std::wstring(L"x\0y", 3));
  plat::scoped_variant copy;
  ASSERT_EQ(VariantChangeTypeEx(&copy.value, &v.value, LOCALE_USER_DEFAULT, 0, VT_BSTR), S_OK);
  EXPECT_NE(copy.value.bstrVal, v.value.bstrVal);

  ASSERT_EQ(VariantChangeType(&v.value, &v.value, 0, VT_EMPTY), S_OK);
  EXPECT_EQ(v.value.vt, VT_EMPTY);
}

TEST(OleautVariant, AlphaBoolFlagGivesTrueAndFalseWords)
{
  const VARIANT yes = make_bool(VARIANT_TRUE);
  const VARIANT no = make_bool(VARIANT_FALSE);
  plat::scoped_variant text;
  ASSERT_EQ(VariantChangeType(&text.value, &yes, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
  EXPECT_STREQ(text.value.bstrVal, L"True");
  ASSERT_EQ(VariantChangeType(&text.value, &no, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
  EXPECT_STREQ(text.value.bstrVal, L"False");
}

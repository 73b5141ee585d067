// Strings keep their length (embedded NULs included) and arrays their bounds,
// bytes and ownership, from the empty array to a very large one.
#include "platform/oleaut/bstr.h"
#include "platform/oleaut/safearray.h"
#include "platform/oleaut/variant.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(OleautBstr, LengthCountsEmbeddedNulsAndNullIsEmpty)
{
  const std::wstring text(L"a\0b\0", 4);
  const plat::unique_bstr copy(SysAllocStringLen(text.data(), 4));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(SysStringLen(copy.get()), 4u);
  EXPECT_EQ(SysStringByteLen(copy.get()), 4u * sizeof(OLECHAR));
  EXPECT_EQ(std::wstring(copy.get(), 4), text);
  EXPECT_EQ(copy.get()[4], L'\0');

  const plat::unique_bstr up_to_nul(SysAllocString(text.c_str()));
  EXPECT_EQ(SysStringLen(up_to_nul.get()), 1u);

  const plat::unique_bstr zeroed(SysAllocStringLen(nullptr, 3));
  EXPECT_EQ(std::wstring(zeroed.get(), 3), std::wstring(3, L'\0'));

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);

  const plat::unique_bstr wide(SysAllocString(L"\u00e9\U0001F600"));
  EXPECT_EQ(SysStringLen(wide.get()), 2u);
}

TEST(OleautSafeArray, EmptyArrayHasUpperBoundBelowItsLowerBound)
{
  const plat::unique_safearray array(SafeArrayCreateVector(VT_UI1, 0, 0));
  ASSERT_NE(array, nullptr);
  LONG lower = 7;
  LONG upper = 7;
  EXPECT_EQ(SafeArrayGetDim(array.get()), 1u);
  EXPECT_EQ(SafeArrayGetLBound(array.get(), 1, &lower), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(array.get(), 1, &upper), S_OK);
  EXPECT_EQ(lower, 0);
  EXPECT_EQ(upper, -1);
  EXPECT_EQ(SafeArrayGetUBound(array.get(), 2, &upper), DISP_E_BADINDEX);
  void* data = nullptr;
  EXPECT_EQ(SafeArrayAccessData(array.get(), &data), S_OK);
  EXPECT_NE(data, nullptr);
  EXPECT_EQ(SafeArrayUnaccessData(array.get()), S_OK);
}

TEST(OleautSafeArray, RefusesWhatItCannotHold)
{
  const SAFEARRAYBOUND two[] = {{2, 0}, {2, 0}};
  EXPECT_EQ(SafeArrayCreate(VT_UI1, 2, two), nullptr);
  EXPECT_EQ(SafeArrayCreateVector(VT_BSTR, 0, 1), nullptr);
  EXPECT_EQ(SafeArrayCreateVector(VT_UI1, 2147483647, 2), nullptr);
}

TEST(OleautSafeArray, RedimKeepsLeadingBytesAndZeroesNewOnes)
{
  const plat::unique_safearray array(SafeArrayCreateVector(VT_UI1, 1, 3));
  ASSERT_NE(array, nullptr);
  std::memcpy(array->pvData, "\x01\x02\x03", 3);
  SAFEARRAYBOUND bound{5, 0};
  ASSERT_EQ(SafeArrayRedim(array.get(), &bound), S_OK);
  EXPECT_EQ(std::memcmp(array->pvData, "\x01\x02\x03\x00\x00", 5), 0);
  LONG lower = 0;
  LONG upper = 0;
  SafeArrayGetLBound(array.get(), 1, &lower);
  SafeArrayGetUBound(array.get(), 1, &upper);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 5);
  bound.cElements = 2;
  ASSERT_EQ(SafeArrayRedim(array.get(), &bound), S_OK);
  EXPECT_EQ(std::memcmp(array->pvData, "\x01\x02", 2), 0);
  bound.cElements = 0;
  EXPECT_EQ(SafeArrayRedim(array.get(), &bound), S_OK);
}

TEST(OleautSafeArray, LockedArrayIsNeitherResizedNorDestroyed)
{
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, 4);
  ASSERT_NE(array, nullptr);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
  const SAFEARRAYBOUND bound{8, 0};
  EXPECT_EQ(SafeArrayRedim(array, &bound), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(array), E_UNEXPECTED);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

// Allocation only: the pages of a calloc'd array are never touched in bulk.
TEST(OleautSafeArray, HundredMegabyteArrayIsCreatedZeroFilledAndGrown)
{
  constexpr ULONG size = 100u * 1024u * 1024u;
  const plat::unique_safearray array(SafeArrayCreateVector(VT_UI1, 0, size));
  ASSERT_NE(array, nullptr);
  auto* bytes = static_cast<unsigned char*>(array->pvData);
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(bytes[size - 1], 0);
  bytes[size - 1] = 0xAB;
  const SAFEARRAYBOUND larger{size + 1, 0};
  ASSERT_EQ(SafeArrayRedim(array.get(), &larger), S_OK);
  bytes = static_cast<unsigned char*>(array->pvData);
  EXPECT_EQ(bytes[size - 1], 0xAB);
  EXPECT_EQ(bytes[size], 0);
  LONG upper = 0;
  SafeArrayGetUBound(array.get(), 1, &upper);
  EXPECT_EQ(upper, static_cast<LONG>(size));
}

TEST(OleautSafeArray, ValueArraysCopyAndReleaseTheirElements)
{
  const plat::unique_safearray array(SafeArrayCreateVector(VT_VARIANT, 0, 2));
  ASSERT_NE(array, nullptr);
  VARTYPE element_type = 0;
  EXPECT_EQ(SafeArrayGetVartype(array.get(), &element_type), S_OK);
  EXPECT_EQ(element_type, VT_VARIANT);
  auto* values = static_cast<VARIANT*>(array->pvData);
  EXPECT_EQ(values[0].vt, VT_EMPTY);
  values[1].vt = VT_BSTR;
  values[1].bstrVal = SysAllocString(L"second");
  SAFEARRAY* raw_copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(array.get(), &raw_copy), S_OK);
  const plat::unique_safearray copy(raw_copy);
  const auto* copied = static_cast<VARIANT*>(copy->pvData);
  ASSERT_EQ(copied[1].vt, VT_BSTR);
  EXPECT_NE(copied[1].bstrVal, values[1].bstrVal);
  EXPECT_STREQ(copied[1].bstrVal, L"second");
  // Shrinking releases the dropped text (the sanitizer build sees a leak otherwise).
  const SAFEARRAYBOUND one{1, 0};
  EXPECT_EQ(SafeArrayRedim(copy.get(), &one), S_OK);
}

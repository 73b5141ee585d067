// The Automation value (VARIANT): a type tag and an 8-byte value in exactly 16
// bytes, which a DECIMAL fills whole. A VARIANT owns the BSTR, array or
// interface reference it holds; VariantClear releases it, VariantCopy duplicates it.
#pragma once

#include "platform/oleaut/bstr.h"
#include "platform/oleaut/currency.h"
#include "platform/oleaut/decimal.h"
#include "platform/oleaut/hresult.h"
#include "platform/oleaut/iunknown.h"
#include "platform/oleaut/oa_date.h"
#include "platform/oleaut/vartype.h"
#include "platform/win_types.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

struct SAFEARRAY;

struct VARIANT {
  VARTYPE vt = VT_EMPTY;
  WORD wReserved1 = 0;
  WORD wReserved2 = 0;
  WORD wReserved3 = 0;
  union {
    LONGLONG llVal = 0;
    ULONGLONG ullVal;
    LONG lVal;
    ULONG ulVal;
    int intVal;
    unsigned int uintVal;
    std::int16_t iVal;
    WORD uiVal;
    BYTE bVal;
    signed char cVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    CY cyVal;
    DATE date;
    BSTR bstrVal;
    SAFEARRAY* parray;
    IUnknown* punkVal;
    IUnknown* pdispVal;
    void* byref;
  };

  // The 16 bytes read as the DECIMAL they hold while vt is VT_DECIMAL.
  DECIMAL decimal() const noexcept
  {
    DECIMAL value;
    std::memcpy(&value, this, sizeof value);
    return value;
  }
  // Fills all 16 bytes from the DECIMAL and labels the value VT_DECIMAL; what
  // the VARIANT held must have been released.
  void set_decimal(const DECIMAL& value) noexcept
  {
    std::memcpy(static_cast<void*>(this), &value, sizeof value);
    vt = VT_DECIMAL;
  }
};
static_assert(sizeof(VARIANT) == 16 && sizeof(DECIMAL) == 16);
static_assert(offsetof(VARIANT, llVal) == offsetof(DECIMAL, Lo64));

void VariantInit(VARIANT* value);
// Releases what the value holds (a BSTR, an array, also under VT_SAFEARRAY,
// VT_BLOB and VT_BLOB_OBJECT, or an interface reference) and leaves VT_EMPTY.
// DISP_E_ARRAYISLOCKED for a locked array, DISP_E_BADVARTYPE for an unknown
// type; the value is left as it was then.
HRESULT VariantClear(VARIANT* value);
// Clears `destination` and gives it an independent copy of `source`: texts by
// their length, arrays deeply (also under VT_BLOB/VT_BLOB_OBJECT), interfaces
// with one more reference. Copying a value onto itself changes nothing; on
// failure `destination` keeps what it held.
HRESULT VariantCopy(VARIANT* destination, const VARIANT* source);
// Converts `source` to `type` into `destination`, which may be `source` itself;
// on failure `destination` keeps what it held. The same type is a copy; any
// value becomes VT_EMPTY; the numeric types, VT_BOOL, VT_CY, VT_DECIMAL,
// VT_DATE and VT_BSTR convert among each other (VT_EMPTY as zero or "");
// every other pair gives DISP_E_TYPEMISMATCH. Narrowing rounds ties to even and
// gives DISP_E_OVERFLOW out of range; text is read and written with "."
// whatever `locale` says (VARIANT_ALPHABOOL is the one flag obeyed).
HRESULT VariantChangeType(VARIANT* destination, const VARIANT* source, WORD flags, VARTYPE type);
HRESULT VariantChangeTypeEx(VARIANT* destination, const VARIANT* source, LCID locale, WORD flags, VARTYPE type);

namespace plat {

// Owns what one VARIANT holds, for code that builds values step by step.
class scoped_variant {
public:
  scoped_variant() = default;
  scoped_variant(const scoped_variant&) = delete;
  scoped_variant& operator=(const scoped_variant&) = delete;
  ~scoped_variant() { VariantClear(&value); }

  // Hands the content over; this holder is left VT_EMPTY.
  VARIANT release() noexcept
  {
    const VARIANT out = value;
    value = VARIANT{};
    return out;
  }

  VARIANT value;
};

} // namespace plat

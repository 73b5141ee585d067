// DECIMAL conversions: exact where the target can hold the value, ties to even
// where it must round, DISP_E_OVERFLOW where it cannot hold it at all.
#include "platform/oleaut/decimal.h"

#include "platform/oleaut/number_core.h"

#include <cwchar>
#include <string_view>

namespace oa = plat::oa;

namespace {

template <class T>
HRESULT decimal_from_integer(T value, DECIMAL* out)
{
  if (out == nullptr)
    return E_INVALIDARG;
  *out = oa::make_decimal(oa::exact_from_integer(value));
  return S_OK;
}

template <class T>
HRESULT integer_from_decimal(const DECIMAL* value, T* out)
{
  oa::exact_number exact;
  if (value == nullptr || out == nullptr || !oa::from_decimal(*value, exact))
    return E_INVALIDARG;
  return oa::to_integer(exact, *out);
}

HRESULT decimal_from_real(double value, int digits, DECIMAL* out)
{
  if (out == nullptr)
    return E_INVALIDARG;
  oa::exact_number exact;
  const HRESULT hr = oa::decimal_from_real(value, digits, exact);
  if (SUCCEEDED(hr))
    *out = oa::make_decimal(exact);
  return hr;
}

} // namespace

HRESULT VarDecFromStr(const OLECHAR* text, LCID, ULONG, DECIMAL* out)
{
  if (text == nullptr || out == nullptr)
    return E_INVALIDARG;
  oa::number_text number;
  if (!oa::scan_number(std::wstring_view(text, std::wcslen(text)), number))
    return DISP_E_TYPEMISMATCH;
  oa::exact_number exact;
  const HRESULT hr = oa::to_decimal(number, exact);
  if (SUCCEEDED(hr))
    *out = oa::make_decimal(exact);
  return hr;
}

HRESULT VarBstrFromDec(const DECIMAL* value, LCID, ULONG, BSTR* out)
{
  oa::exact_number exact;
  if (value == nullptr || out == nullptr || !oa::from_decimal(*value, exact))
    return E_INVALIDARG;
  oa::char_buffer text;
  oa::append_text(exact, text);
  return oa::make_bstr(text.view(), out);
}

HRESULT VarR8FromDec(const DECIMAL* value, double* out)
{
  oa::exact_number exact;
  if (value == nullptr || out == nullptr || !oa::from_decimal(*value, exact))
    return E_INVALIDARG;
  *out = oa::to_double(exact);
  return S_OK;
}

HRESULT VarDecFromI8(LONGLONG value, DECIMAL* out) { return decimal_from_integer(value, out); }
HRESULT VarDecFromUI8(ULONGLONG value, DECIMAL* out) { return decimal_from_integer(value, out); }

HRESULT VarDecFromR8(double value, DECIMAL* out) { return decimal_from_real(value, 15, out); }
HRESULT VarDecFromR4(float value, DECIMAL* out) { return decimal_from_real(static_cast<double>(value), 7, out); }

HRESULT VarI1FromDec(const DECIMAL* value, signed char* out) { return integer_from_decimal(value, out); }
HRESULT VarI2FromDec(const DECIMAL* value, std::int16_t* out) { return integer_from_decimal(value, out); }
HRESULT VarI4FromDec(const DECIMAL* value, LONG* out) { return integer_from_decimal(value, out); }
HRESULT VarI8FromDec(const DECIMAL* value, LONGLONG* out) { return integer_from_decimal(value, out); }
HRESULT VarUI1FromDec(const DECIMAL* value, BYTE* out) { return integer_from_decimal(value, out); }
HRESULT VarUI2FromDec(const DECIMAL* value, WORD* out) { return integer_from_decimal(value, out); }
HRESULT VarUI4FromDec(const DECIMAL* value, ULONG* out) { return integer_from_decimal(value, out); }
HRESULT VarUI8FromDec(const DECIMAL* value, ULONGLONG* out) { return integer_from_decimal(value, out); }

// Currency conversions: a CY is the exact decimal int64 / 10^4, so every
// conversion goes through the same exact arithmetic as DECIMAL.
#include "platform/oleaut/currency.h"

#include "platform/oleaut/number_core.h"

#include <cwchar>
#include <string_view>

namespace oa = plat::oa;

namespace {

constexpr int currency_scale = 4;

oa::exact_number exact_of(CY value)
{
  oa::exact_number exact = oa::exact_from_integer(value.int64);
  exact.scale = currency_scale;
  return exact;
}

// The value rounded to four fractional digits, as a currency.
HRESULT currency_of(oa::exact_number exact, CY* out)
{
  if (out == nullptr)
    return E_INVALIDARG;
  if (!oa::rescale(exact, currency_scale))
    return DISP_E_OVERFLOW;
  exact.scale = 0;  // the ten-thousandths count itself
  return oa::to_integer(exact, out->int64);
}

} // namespace

HRESULT VarCyFromStr(const OLECHAR* text, LCID, ULONG, CY* out)
{
  if (text == nullptr || out == nullptr)
    return E_INVALIDARG;
  oa::number_text number;
  if (!oa::scan_number(std::wstring_view(text, std::wcslen(text)), number))
    return DISP_E_TYPEMISMATCH;
  oa::exact_number exact;
  if (!oa::scaled_integer(number, currency_scale, exact.magnitude))
    return DISP_E_OVERFLOW;
  exact.negative = number.negative;
  return oa::to_integer(exact, out->int64);
}

HRESULT VarBstrFromCy(CY value, LCID, ULONG, BSTR* out)
{
  if (out == nullptr)
    return E_INVALIDARG;
  oa::char_buffer text;
  oa::append_text(exact_of(value), text);
  return oa::make_bstr(text.view(), out);
}

HRESULT VarR8FromCy(CY value, double* out)
{
  if (out == nullptr)
    return E_INVALIDARG;
  *out = oa::to_double(exact_of(value));
  return S_OK;
}

HRESULT VarI4FromCy(CY value, LONG* out)
{
  if (out == nullptr)
    return E_INVALIDARG;
  return oa::to_integer(exact_of(value), *out);
}

HRESULT VarCyFromI8(LONGLONG value, CY* out) { return currency_of(oa::exact_from_integer(value), out); }

HRESULT VarCyFromR8(double value, CY* out)
{
  if (out == nullptr)
    return E_INVALIDARG;
  return oa::to_integer(value * 10000.0, out->int64);
}

// Floating-point conversions: range and NaN are checked before any cast, so no
// input reaches an undefined double-to-integer conversion.
#include "platform/oleaut/real.h"

#include "platform/oleaut/number_core.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cwchar>
#include <string_view>

namespace oa = plat::oa;

namespace {

template <class T>
HRESULT integer_from_real(double value, T* out)
{
  if (out == nullptr)
    return E_INVALIDARG;
  return oa::to_integer(value, *out);
}

HRESULT text_of_real(double value, int digits, BSTR* out)
{
  if (out == nullptr)
    return E_INVALIDARG;
  oa::char_buffer text;
  oa::append_real_text(value, digits, text);
  return oa::make_bstr(text.view(), out);
}

} // namespace

HRESULT VarI4FromR8(double value, LONG* out) { return integer_from_real(value, out); }
HRESULT VarI8FromR8(double value, LONGLONG* out) { return integer_from_real(value, out); }
HRESULT VarUI8FromR8(double value, ULONGLONG* out) { return integer_from_real(value, out); }
HRESULT VarI8FromR4(float value, LONGLONG* out) { return integer_from_real(static_cast<double>(value), out); }
HRESULT VarUI8FromR4(float value, ULONGLONG* out) { return integer_from_real(static_cast<double>(value), out); }

HRESULT VarR4FromR8(double value, float* out)
{
  if (out == nullptr)
    return E_INVALIDARG;
  if (std::isfinite(value) && std::fabs(value) > static_cast<double>(FLT_MAX))
    return DISP_E_OVERFLOW;
  *out = static_cast<float>(value);
  return S_OK;
}

HRESULT VarR8FromStr(const OLECHAR* text, LCID, ULONG, double* out)
{
  if (text == nullptr || out == nullptr)
    return E_INVALIDARG;
  oa::number_text number;
  if (!oa::scan_number(std::wstring_view(text, std::wcslen(text)), number))
    return DISP_E_TYPEMISMATCH;
  return oa::to_double(number, *out);
}

HRESULT VarBstrFromR8(double value, LCID, ULONG, BSTR* out) { return text_of_real(value, 15, out); }
HRESULT VarBstrFromR4(float value, LCID, ULONG, BSTR* out) { return text_of_real(static_cast<double>(value), 7, out); }

double plat::float_as_written(float value)
{
  if (!std::isfinite(value))
    return static_cast<double>(value);
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  double out = static_cast<double>(value);
  std::from_chars(buffer, end, out);
  return out;
}

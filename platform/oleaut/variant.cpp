// Life cycle and type changes of Automation values. A conversion reads the
// source into one of four forms (an exact decimal, a double, a date, a text)
// and writes the target from it, so each pair shares one rounding rule.
#include "platform/oleaut/variant.h"

#include "base/format.h"
#include "platform/oleaut/number_core.h"
#include "platform/oleaut/nls.h"
#include "platform/oleaut/safearray.h"

#include <cmath>
#include <string_view>

namespace oa = plat::oa;

namespace {

bool is_array_type(VARTYPE vt)
{
  return (vt & VT_ARRAY) != 0 || vt == VT_SAFEARRAY || vt == VT_BLOB || vt == VT_BLOB_OBJECT;
}

// The types a VARIANT holds by value or by one owned pointer.
bool is_plain_type(VARTYPE vt)
{
  return (vt <= VT_DECIMAL && vt != VT_VARIANT) || (vt >= VT_I1 && vt <= VT_UINT);
}

bool is_interface_type(VARTYPE vt)
{
  return vt == VT_UNKNOWN || vt == VT_DISPATCH;
}

// The types VariantChangeType converts among.
bool is_scalar_type(VARTYPE vt)
{
  switch (vt) {
  case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
  case VT_I8: case VT_UI8: case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL: case VT_DATE:
  case VT_BOOL: case VT_BSTR:
    return true;
  default:
    return false;
  }
}

// Dates the calendar conversions accept: 100-01-01 up to the end of 9999-12-31.
constexpr double first_date = -657434.0;
constexpr double after_last_date = 2958466.0;

struct source_value {
  enum class form { exact, real, date, text } kind = form::exact;
  oa::exact_number exact;
  double real = 0;
  int real_digits = 15;  // significant digits of the source type (VT_R4: 7)
  bool is_bool = false;
  bool is_empty = false;  // zero as a number, "" as text
  std::wstring_view text;
};

HRESULT read_source(const VARIANT& source, source_value& out)
{
  using form = source_value::form;
  switch (source.vt) {
  case VT_EMPTY: out.is_empty = true; break;
  case VT_BOOL: out.exact = oa::exact_from_integer(source.boolVal); out.is_bool = true; break;
  case VT_I1: out.exact = oa::exact_from_integer(source.cVal); break;
  case VT_UI1: out.exact = oa::exact_from_integer(source.bVal); break;
  case VT_I2: out.exact = oa::exact_from_integer(source.iVal); break;
  case VT_UI2: out.exact = oa::exact_from_integer(source.uiVal); break;
  case VT_I4: out.exact = oa::exact_from_integer(source.lVal); break;
  case VT_UI4: out.exact = oa::exact_from_integer(source.ulVal); break;
  case VT_INT: out.exact = oa::exact_from_integer(source.intVal); break;
  case VT_UINT: out.exact = oa::exact_from_integer(source.uintVal); break;
  case VT_I8: out.exact = oa::exact_from_integer(source.llVal); break;
  case VT_UI8: out.exact = oa::exact_from_integer(source.ullVal); break;
  case VT_CY:
    out.exact = oa::exact_from_integer(source.cyVal.int64);
    out.exact.scale = 4;
    break;
  case VT_DECIMAL:
    if (!oa::from_decimal(source.decimal(), out.exact))
      return E_INVALIDARG;
    break;
  case VT_R4:
    out.kind = form::real;
    out.real = static_cast<double>(source.fltVal);
    out.real_digits = 7;
    break;
  case VT_R8: out.kind = form::real; out.real = source.dblVal; break;
  case VT_DATE: out.kind = form::date; out.real = source.date; break;
  case VT_BSTR:
    out.kind = form::text;
    out.text = std::wstring_view(source.bstrVal == nullptr ? L"" : source.bstrVal, SysStringLen(source.bstrVal));
    break;
  default:
    return DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

HRESULT scan(std::wstring_view text, oa::number_text& number)
{
  return oa::scan_number(text, number) ? S_OK : DISP_E_TYPEMISMATCH;
}

template <class T>
HRESULT to_integer(const source_value& source, T& out)
{
  using form = source_value::form;
  switch (source.kind) {
  case form::exact:
    return oa::to_integer(source.exact, out);
  case form::real:
  case form::date:
    return oa::to_integer(source.real, out);
  case form::text: {
    oa::number_text number;
    if (const HRESULT hr = scan(source.text, number); FAILED(hr))
      return hr;
    oa::exact_number exact;
    if (!oa::scaled_integer(number, 0, exact.magnitude))
      return DISP_E_OVERFLOW;
    exact.negative = number.negative;
    return oa::to_integer(exact, out);
  }
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT to_double(const source_value& source, double& out)
{
  using form = source_value::form;
  switch (source.kind) {
  case form::exact: out = oa::to_double(source.exact); return S_OK;
  case form::real:
  case form::date: out = source.real; return S_OK;
  case form::text: {
    oa::number_text number;
    if (const HRESULT hr = scan(source.text, number); FAILED(hr))
      return hr;
    return oa::to_double(number, out);
  }
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT to_float(const source_value& source, float& out)
{
  using form = source_value::form;
  switch (source.kind) {
  case form::exact: out = oa::to_float(source.exact); return S_OK;
  case form::real:
  case form::date:
    if (std::isfinite(source.real) && std::fabs(source.real) > static_cast<double>(std::numeric_limits<float>::max()))
      return DISP_E_OVERFLOW;
    out = static_cast<float>(source.real);
    return S_OK;
  case form::text: {
    oa::number_text number;
    if (const HRESULT hr = scan(source.text, number); FAILED(hr))
      return hr;
    return oa::to_float(number, out);
  }
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT to_currency(const source_value& source, CY& out)
{
  using form = source_value::form;
  switch (source.kind) {
  case form::exact: {
    oa::exact_number exact = source.exact;
    if (!oa::rescale(exact, 4))
      return DISP_E_OVERFLOW;
    exact.scale = 0;
    return oa::to_integer(exact, out.int64);
  }
  case form::real:
  case form::date:
    return oa::to_integer(source.real * 10000.0, out.int64);
  case form::text: {
    oa::number_text number;
    if (const HRESULT hr = scan(source.text, number); FAILED(hr))
      return hr;
    oa::exact_number exact;
    if (!oa::scaled_integer(number, 4, exact.magnitude))
      return DISP_E_OVERFLOW;
    exact.negative = number.negative;
    return oa::to_integer(exact, out.int64);
  }
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT to_decimal(const source_value& source, DECIMAL& out)
{
  using form = source_value::form;
  oa::exact_number exact;
  switch (source.kind) {
  case form::exact:
    // Every integer, currency and DECIMAL source fits.
    exact = source.exact;
    break;
  case form::real:
  case form::date:
    if (const HRESULT hr = oa::decimal_from_real(source.real, source.real_digits, exact); FAILED(hr))
      return hr;
    break;
  case form::text: {
    oa::number_text number;
    if (const HRESULT hr = scan(source.text, number); FAILED(hr))
      return hr;
    if (const HRESULT hr = oa::to_decimal(number, exact); FAILED(hr))
      return hr;
    break;
  }
  }
  out = oa::make_decimal(exact);
  return S_OK;
}

bool equals_ignoring_ascii_case(std::wstring_view text, std::string_view word)
{
  if (text.size() != word.size())
    return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    wchar_t c = text[i];
    if (c >= L'A' && c <= L'Z')
      c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != static_cast<wchar_t>(word[i]))
      return false;
  }
  return true;
}

std::wstring_view trim_blanks(std::wstring_view text)
{
  const auto first = text.find_first_not_of(L" \t\r\n\v\f");
  if (first == std::wstring_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(L" \t\r\n\v\f") - first + 1);
}

HRESULT to_bool(const source_value& source, VARIANT_BOOL& out)
{
  using form = source_value::form;
  bool value = false;
  switch (source.kind) {
  case form::exact: value = source.exact.magnitude != 0; break;
  case form::real:
  case form::date: value = source.real != 0; break;
  case form::text: {
    const std::wstring_view word = trim_blanks(source.text);
    if (equals_ignoring_ascii_case(word, "true")) {
      value = true;
    } else if (equals_ignoring_ascii_case(word, "false")) {
      value = false;
    } else {
      oa::number_text number;
      if (const HRESULT hr = scan(source.text, number); FAILED(hr))
        return hr;
      value = number.digits.size() != 0;
    }
    break;
  }
  }
  out = value ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT to_date(const source_value& source, DATE& out)
{
  if (source.kind == source_value::form::text) {
    // The parser wants a NUL-terminated text; a BSTR always is one.
    const std::wstring text(source.text);
    return VarDateFromStr(text.c_str(), LOCALE_USER_DEFAULT, 0, &out);
  }
  double value = 0;
  if (const HRESULT hr = to_double(source, value); FAILED(hr))
    return hr;
  if (!(value >= first_date && value < after_last_date))
    return DISP_E_OVERFLOW;
  out = value;
  return S_OK;
}

// ISO order, whatever the locale: the date alone when the time is midnight, the
// time alone on day 0 (as the platform prints a pure time).
HRESULT date_text(DATE value, oa::char_buffer& out)
{
  SYSTEMTIME parts;
  if (!VariantTimeToSystemTime(value, &parts))
    return DISP_E_OVERFLOW;
  const bool day_zero = parts.wYear == 1899 && parts.wMonth == 12 && parts.wDay == 30;
  const bool midnight = parts.wHour == 0 && parts.wMinute == 0 && parts.wSecond == 0;
  const std::string date = base::sprintf("%04u-%02u-%02u", parts.wYear, parts.wMonth, parts.wDay);
  const std::string time = base::sprintf("%02u:%02u:%02u", parts.wHour, parts.wMinute, parts.wSecond);
  const std::string text = day_zero ? time : midnight ? date : date + ' ' + time;
  out.append(text);
  return S_OK;
}

HRESULT to_text(const source_value& source, WORD flags, BSTR& out)
{
  using form = source_value::form;
  oa::char_buffer text;
  switch (source.kind) {
  case form::exact:
    if (source.is_empty)
      break;
    if (source.is_bool && (flags & VARIANT_ALPHABOOL) != 0)
      text.append(source.exact.magnitude != 0 ? "True" : "False");
    else
      oa::append_text(source.exact, text);
    break;
  case form::real:
    oa::append_real_text(source.real, source.real_digits, text);
    break;
  case form::date:
    if (const HRESULT hr = date_text(source.real, text); FAILED(hr))
      return hr;
    break;
  case form::text:
    out = SysAllocStringLen(source.text.data(), static_cast<unsigned int>(source.text.size()));
    return out == nullptr ? E_OUTOFMEMORY : S_OK;
  }
  return oa::make_bstr(text.view(), &out);
}

HRESULT convert(const VARIANT& source, WORD flags, VARTYPE type, VARIANT& out)
{
  if (source.vt == type)
    return VariantCopy(&out, &source);
  if (type == VT_EMPTY)
    return S_OK;
  if (!is_plain_type(type) && !is_array_type(type) && (type & VT_BYREF) == 0)
    return DISP_E_BADVARTYPE;
  if (!is_scalar_type(type) || (source.vt != VT_EMPTY && !is_scalar_type(source.vt)))
    return DISP_E_TYPEMISMATCH;

  source_value value;
  if (const HRESULT hr = read_source(source, value); FAILED(hr))
    return hr;
  HRESULT hr = S_OK;
  switch (type) {
  case VT_I1: hr = to_integer(value, out.cVal); break;
  case VT_UI1: hr = to_integer(value, out.bVal); break;
  case VT_I2: hr = to_integer(value, out.iVal); break;
  case VT_UI2: hr = to_integer(value, out.uiVal); break;
  case VT_I4: hr = to_integer(value, out.lVal); break;
  case VT_UI4: hr = to_integer(value, out.ulVal); break;
  case VT_INT: hr = to_integer(value, out.intVal); break;
  case VT_UINT: hr = to_integer(value, out.uintVal); break;
  case VT_I8: hr = to_integer(value, out.llVal); break;
  case VT_UI8: hr = to_integer(value, out.ullVal); break;
  case VT_R4: hr = to_float(value, out.fltVal); break;
  case VT_R8: hr = to_double(value, out.dblVal); break;
  case VT_CY: hr = to_currency(value, out.cyVal); break;
  case VT_BOOL: hr = to_bool(value, out.boolVal); break;
  case VT_DATE: hr = to_date(value, out.date); break;
  case VT_BSTR: hr = to_text(value, flags, out.bstrVal); break;
  case VT_DECIMAL: {
    DECIMAL decimal{};
    hr = to_decimal(value, decimal);
    if (SUCCEEDED(hr))
      out.set_decimal(decimal);
    return hr;
  }
  default:
    return DISP_E_TYPEMISMATCH;
  }
  if (SUCCEEDED(hr))
    out.vt = type;
  return hr;
}

} // namespace

void VariantInit(VARIANT* value)
{
  if (value != nullptr)
    *value = VARIANT{};
}

HRESULT VariantClear(VARIANT* value)
{
  if (value == nullptr)
    return E_INVALIDARG;
  const VARTYPE vt = value->vt;
  if ((vt & VT_BYREF) != 0) {
    // Borrowed: nothing to release.
  } else if (is_array_type(vt)) {
    if (const HRESULT hr = SafeArrayDestroy(value->parray); FAILED(hr))
      return hr;
  } else if (vt == VT_BSTR) {
    SysFreeString(value->bstrVal);
  } else if (is_interface_type(vt)) {
    if (value->punkVal != nullptr)
      value->punkVal->Release();
  } else if (!is_plain_type(vt)) {
    return DISP_E_BADVARTYPE;
  }
  *value = VARIANT{};
  return S_OK;
}

HRESULT VariantCopy(VARIANT* destination, const VARIANT* source)
{
  if (destination == nullptr || source == nullptr)
    return E_INVALIDARG;
  if (destination == source)
    return S_OK;
  // The copy is complete before the destination is cleared, so a source that
  // the destination owns (an element of its array) is still alive while read.
  VARIANT copy = *source;
  const VARTYPE vt = source->vt;
  if ((vt & VT_BYREF) != 0) {
    // Borrowed: the copy borrows too.
  } else if (is_array_type(vt)) {
    if (const HRESULT hr = SafeArrayCopy(source->parray, &copy.parray); FAILED(hr))
      return hr;
  } else if (vt == VT_BSTR) {
    if (source->bstrVal != nullptr) {
      copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
      if (copy.bstrVal == nullptr)
        return E_OUTOFMEMORY;
    }
  } else if (is_interface_type(vt)) {
    if (copy.punkVal != nullptr)
      copy.punkVal->AddRef();
  } else if (!is_plain_type(vt)) {
    return DISP_E_BADVARTYPE;
  }
  if (const HRESULT hr = VariantClear(destination); FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *destination = copy;
  return S_OK;
}

HRESULT VariantChangeTypeEx(VARIANT* destination, const VARIANT* source, LCID, WORD flags, VARTYPE type)
{
  if (destination == nullptr || source == nullptr)
    return E_INVALIDARG;
  plat::scoped_variant result;
  if (const HRESULT hr = convert(*source, flags, type, result.value); FAILED(hr))
    return hr;
  if (const HRESULT hr = VariantClear(destination); FAILED(hr))
    return hr;
  *destination = result.release();
  return S_OK;
}

HRESULT VariantChangeType(VARIANT* destination, const VARIANT* source, WORD flags, VARTYPE type)
{
  return VariantChangeTypeEx(destination, source, LOCALE_USER_DEFAULT, flags, type);
}

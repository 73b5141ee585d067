// Life cycle, content and readings of ole_variant. Every cell of a conversion is
// built and read once here, so numbers are printed into stack buffers and text
// crosses into a BSTR through one reused buffer; the value always owns what it holds.
#include "OLE/ole_var.h"

#include "OLE/ole_exceptions.h"
#include "TK/tk_codepage.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_string.h"
#include "platform/oleaut/real.h"
#include "platform/process.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>

namespace {

constexpr LCID en_us = 1033;

bool is_byte_array_type(VARTYPE vt)
{
  return vt == ole_variant::vt_byte_array || vt == VT_BLOB;
}

// Copies a VARIANT; running out of memory is std::bad_alloc, a type the
// stand-in cannot copy is a type this value does not support.
void copy_variant(VARIANT& destination, const VARIANT& source)
{
  const HRESULT hr = VariantCopy(&destination, &source);
  if (hr == E_OUTOFMEMORY)
    throw std::bad_alloc();
  if (FAILED(hr))
    throw ole_type_exception();
}

// The DATE a COM receiver gets for a date. A time of its own has no calendar
// day: it is the signed fraction of days it spans (what TimeSerial gives), so
// that neither a time of day nor a duration reaches a receiver as midnight.
DATE variant_time_of(const ole_date& date)
{
  const SYSTEMTIME& parts = date.get_time();
  if (date.get_kind() == ole_date::kind_time) {
    const double seconds = parts.wHour * 3600.0 + parts.wMinute * 60.0 + parts.wSecond;
    return (date.is_negative() ? -seconds : seconds) / 86400.0;
  }
  DATE value = 0.0;
  if (!SystemTimeToVariantTime(&parts, &value)) {
    tk_log_message(2, "Failed to convert SYSTEMTIME->VARIANT");
    return 0.0;
  }
  return value;
}

template <class T>
std::string decimal_text(T value)
{
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return std::string(buffer, end);
}

// printf's "%.<digits>e" without the locale: to_chars writes the same mantissa
// and an exponent of at least two digits.
std::string scientific_text(double value, int digits)
{
  if (std::isnan(value)) {
    tk_log_message(3, "Got NaN, replace it with 0");
    return "0";
  }
  char buffer[40];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, digits).ptr;
  return std::string(buffer, end);
}

std::wstring_view up_to_nul(const OLECHAR* text, std::size_t length)
{
  if (text == nullptr)
    return {};
  const std::wstring_view view(text, length);
  return view.substr(0, view.find(L'\0'));
}

std::wstring_view bstr_view(BSTR text)
{
  return up_to_nul(text, SysStringLen(text));
}

// Automation text of a number ("-12.5") in the narrow encoding, with "." as the
// mark whatever the conversion wrote.
std::string automation_text(BSTR text)
{
  const plat::unique_bstr owner(text);
  std::string narrow;
  plat::wide_to_utf8(bstr_view(text), narrow);
  std::replace(narrow.begin(), narrow.end(), ',', '.');
  return narrow;
}

// Truncation toward zero; NaN and values whose integer part leaves 32 bits give 0.
std::int32_t truncate_to_long(double value)
{
  if (!(value > -2147483649.0 && value < 2147483648.0))
    return 0;
  return static_cast<std::int32_t>(value);
}

// Texts are converted through this buffer, which keeps its room between cells
// unless one huge text would pin it.
constexpr std::size_t scratch_keep_limit = 1u << 20;

template <class String>
void trim_scratch(String& scratch)
{
  if (scratch.capacity() > scratch_keep_limit)
    String().swap(scratch);
}

} // namespace

// ---------------------------------------------------------------------------
// Construction and destruction

ole_variant::ole_variant()
{
  tk_log_message(1, "ole_variant::ctor()");
}

ole_variant::ole_variant(const ole_variant& other)
    : i8_(other.i8_), ui8_(other.ui8_), date_(other.date_)
{
  tk_log_message(1, "ole_variant::copy ctor (that.vt=%d)", other.var_.vt);
  // The DATE travels with the VARIANT: it was derived from the same date.
  copy_variant(var_, other.var_);
}

ole_variant::ole_variant(ole_variant&& other) noexcept
    : i8_(other.i8_), ui8_(other.ui8_), date_(other.date_), var_(other.var_)
{
  other.var_ = VARIANT{};
}

ole_variant::ole_variant(const std::string& text)
{
  tk_log_message(1, "ole_variant::ctor(std::string)");
  attach_string(text);
}

ole_variant::ole_variant(const std::wstring& text)
{
  tk_log_message(1, "ole_variant::ctor(std::wstring)");
  attach_wstring(text);
}

ole_variant::ole_variant(const char* text)
{
  tk_log_message(1, "ole_variant::ctor(const char*)");
  attach_string(text == nullptr ? std::string_view() : std::string_view(text));
}

ole_variant::ole_variant(const wchar_t* text)
{
  tk_log_message(1, "ole_variant::ctor(BSTR)");
  *this = text;
}

ole_variant::ole_variant(const byte_vector& bytes)
{
  tk_log_message(1, "ole_variant::ctor(std::vector<BYTE>)");
  attach_binary(bytes);
}

ole_variant::ole_variant(bool value)
{
  tk_log_message(1, "ole_variant::ctor(bool)");
  var_.vt = VT_BOOL;
  var_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

ole_variant::ole_variant(char value) : ole_variant(static_cast<signed char>(value)) {}

ole_variant::ole_variant(signed char value)
{
  tk_log_message(1, "ole_variant::ctor(char)");
  var_.vt = VT_I1;
  var_.cVal = value;
}

ole_variant::ole_variant(unsigned char value)
{
  tk_log_message(1, "ole_variant::ctor(BYTE)");
  var_.vt = VT_UI1;
  var_.bVal = value;
}

ole_variant::ole_variant(short value)
{
  tk_log_message(1, "ole_variant::ctor(short)");
  var_.vt = VT_I2;
  var_.iVal = value;
}

ole_variant::ole_variant(unsigned short value)
{
  tk_log_message(1, "ole_variant::ctor(unsigned short)");
  var_.vt = VT_UI2;
  var_.uiVal = value;
}

ole_variant::ole_variant(int value)
{
  tk_log_message(1, "ole_variant::ctor(long)");
  var_.vt = VT_I4;
  var_.lVal = value;
}

ole_variant::ole_variant(unsigned int value)
{
  tk_log_message(1, "ole_variant::ctor(unsigned int)");
  var_.vt = VT_UI4;
  var_.ulVal = value;
}

ole_variant::ole_variant(long value) : ole_variant(static_cast<long long>(value)) {}

ole_variant::ole_variant(unsigned long value) : ole_variant(static_cast<unsigned long long>(value)) {}

ole_variant::ole_variant(long long value)
{
  tk_log_message(1, "ole_variant::ctor(__int64)");
  set_i8(value);
}

ole_variant::ole_variant(unsigned long long value)
{
  tk_log_message(1, "ole_variant::ctor(unsigned __int64)");
  set_ui8(value);
}

ole_variant::ole_variant(float value)
{
  tk_log_message(1, "ole_variant::ctor(float)");
  var_.vt = VT_R4;
  var_.fltVal = value;
}

ole_variant::ole_variant(double value)
{
  tk_log_message(1, "ole_variant::ctor(double)");
  var_.vt = VT_R8;
  var_.dblVal = value;
}

ole_variant::ole_variant(const CY& value)
{
  tk_log_message(1, "ole_variant::ctor(CY)");
  var_.vt = VT_CY;
  var_.cyVal = value;
}

ole_variant::ole_variant(const DECIMAL& value)
{
  tk_log_message(1, "ole_variant::ctor(DECIMAL)");
  var_.set_decimal(value);
}

ole_variant::ole_variant(const ole_date& value)
{
  tk_log_message(1, "ole_variant::ctor(ole_date)");
  set_date(value);
}

ole_variant::~ole_variant()
{
  if (holds_byte_array() || var_.vt == VT_SAFEARRAY || var_.vt == VT_BLOB_OBJECT)
    tk_log_message(2, "Just before SafeArrayDestroy0");
  clear();
}

// ---------------------------------------------------------------------------
// Assignment and content

ole_variant& ole_variant::operator=(const ole_variant& other)
{
  tk_log_message(1, "ole_variant::operator= (that.vt=%d)", other.var_.vt);
  if (this == &other)
    return *this;
  // VariantCopy leaves this value as it was when it fails.
  copy_variant(var_, other.var_);
  i8_ = other.i8_;
  ui8_ = other.ui8_;
  date_ = other.date_;
  return *this;
}

ole_variant& ole_variant::operator=(ole_variant&& other) noexcept
{
  if (this == &other)
    return *this;
  clear();
  var_ = other.var_;
  other.var_ = VARIANT{};
  i8_ = other.i8_;
  ui8_ = other.ui8_;
  date_ = other.date_;
  return *this;
}

ole_variant& ole_variant::operator=(const byte_vector& bytes)
{
  attach_binary(bytes);
  return *this;
}

ole_variant& ole_variant::operator=(const wchar_t* text)
{
  tk_log_message(1, "ole_variant::operator=(BSTR)");
  attach_wstring(text == nullptr ? std::wstring_view() : std::wstring_view(text));
  return *this;
}

void ole_variant::clear()
{
  // A value the stand-in cannot release is dropped rather than released twice.
  if (FAILED(VariantClear(&var_)))
    var_ = VARIANT{};
}

void ole_variant::set_date(const ole_date& value)
{
  clear();
  date_ = value;
  var_.vt = VT_DATE;
  var_.date = variant_time_of(date_);
}

void ole_variant::set_i8(std::int64_t value)
{
  clear();
  i8_ = value;
  var_.vt = VT_I8;
  var_.llVal = value;
}

void ole_variant::set_ui8(std::uint64_t value)
{
  clear();
  ui8_ = value;
  var_.vt = VT_UI8;
  var_.ullVal = value;
}

VARTYPE ole_variant::get_type() const
{
  tk_log_message(1, "ole_variant::get_type");
  return var_.vt;
}

void ole_variant::attach_variant(VARIANT& value)
{
  tk_log_message(1, "ole_variant::attach_variant(vt=%d)", value.vt);
  if (&value == &var_)
    return;
  clear();
  var_ = value;
  value = VARIANT{};
  switch (var_.vt) {
  case VT_I8:
    i8_ = var_.llVal;
    break;
  case VT_UI8:
    ui8_ = var_.ullVal;
    break;
  case VT_DATE: {
    SYSTEMTIME parts;
    if (VariantTimeToSystemTime(var_.date, &parts)) {
      date_ = ole_date(parts);
    } else {
      tk_log_message(2, "Failed to convert VARIANT->SYSTEMTIME");
      date_ = ole_date();
    }
    break;
  }
  default:
    break;
  }
}

bool ole_variant::holds_byte_array() const
{
  return is_byte_array_type(var_.vt);
}

const SAFEARRAY* ole_variant::byte_array() const
{
  if (!holds_byte_array() || var_.parray == nullptr || SafeArrayGetDim(var_.parray) != 1)
    return nullptr;
  return var_.parray;
}

void ole_variant::allocate_safe_array(std::uint32_t size)
{
  tk_log_message(1, "ole_variant::allocate_safe_array(%u)", size);
  if (holds_byte_array() && var_.parray != nullptr && SafeArrayGetDim(var_.parray) == 1) {
    if (get_safe_array_size(var_.parray) == size)
      return;
    LONG lower = 0;
    SafeArrayGetLBound(var_.parray, 1, &lower);
    const SAFEARRAYBOUND bound{size, lower};
    if (FAILED(SafeArrayRedim(var_.parray, &bound)))
      throw tk_mail_assertion("ole_var", 1354);
    return;
  }
  clear();
  const SAFEARRAYBOUND bound{size, 0};
  SAFEARRAY* array = SafeArrayCreate(VT_UI1, 1, &bound);
  if (array == nullptr)
    throw tk_mail_assertion("ole_var", 1354);
  var_.vt = vt_byte_array;
  var_.parray = array;
}

void ole_variant::attach_binary(const byte_vector& bytes)
{
  attach_binary(bytes.data(), bytes.size());
}

void ole_variant::attach_binary(const unsigned char* bytes, std::size_t count)
{
  tk_log_message(1, "ole_variant::attach_binary(%u)", count);
  if (count == 0)
    return;
  if (count > std::numeric_limits<std::uint32_t>::max())
    throw tk_mail_assertion("ole_var", 1354);
  allocate_safe_array(static_cast<std::uint32_t>(count));
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(var_.parray, &data)))
    throw tk_mail_assertion("ole_var", 1354);
  std::memcpy(data, bytes, count);
  SafeArrayUnaccessData(var_.parray);
}

void ole_variant::attach_string(std::string_view text)
{
  // A byte that is not UTF-8 becomes U+FFFD, as the system's decoder without
  // its strict flag does: the rest of the value is kept, never dropped whole.
  thread_local std::wstring wide;
  plat::utf8_to_wide_lenient(text, wide);
  // The new text is made before the old is released: the two may be one.
  BSTR copy = nullptr;
  if (wide.size() <= std::numeric_limits<unsigned int>::max())
    copy = SysAllocStringLen(wide.data(), static_cast<unsigned int>(wide.size()));
  trim_scratch(wide);
  if (copy == nullptr)
    throw tk_mail_assertion("ole_var", 1434);
  clear();
  var_.vt = VT_BSTR;
  var_.bstrVal = copy;
}

void ole_variant::attach_wstring(std::wstring_view text)
{
  BSTR copy = text.size() > std::numeric_limits<unsigned int>::max()
                  ? nullptr
                  : SysAllocStringLen(text.data(), static_cast<unsigned int>(text.size()));
  if (copy == nullptr)
    throw tk_mail_assertion("ole_var", 1469);
  clear();
  var_.vt = VT_BSTR;
  var_.bstrVal = copy;
}

// ---------------------------------------------------------------------------
// Readings

bool ole_variant::to_bool() const
{
  tk_log_message(1, "ole_variant::to_bool(%08X)", var_.vt);
  switch (var_.vt) {
  case VT_I2: return var_.iVal != 0;
  case VT_UI2: return var_.uiVal != 0;
  case VT_I4: return var_.lVal != 0;
  case VT_UI4: return var_.ulVal != 0;
  case VT_INT: return var_.intVal != 0;
  case VT_UINT: return var_.uintVal != 0;
  case VT_I1: return var_.cVal != 0;
  case VT_UI1: return var_.bVal != 0;
  case VT_R4: return var_.fltVal != 0.0f;  // NaN is true
  case VT_R8: return var_.dblVal != 0.0;
  case VT_CY:
  case VT_DECIMAL: return to_long() != 0;
  case VT_BOOL: return var_.boolVal == VARIANT_TRUE;
  case VT_I8: return i8_ != 0;
  case VT_UI8: return ui8_ != 0;
  default: return false;
  }
}

std::int32_t ole_variant::to_long() const
{
  tk_log_message(1, "ole_variant::to_long(%08X)", var_.vt);
  switch (var_.vt) {
  case VT_I2: return var_.iVal;
  case VT_I1: return var_.cVal;
  case VT_UI1: return var_.bVal;
  case VT_UI2: return var_.uiVal;
  case VT_I4: return var_.lVal;
  case VT_UI4: return static_cast<std::int32_t>(var_.ulVal);
  case VT_INT: return var_.intVal;
  case VT_UINT: return static_cast<std::int32_t>(var_.uintVal);
  case VT_R4: return truncate_to_long(static_cast<double>(var_.fltVal));
  case VT_R8: return truncate_to_long(var_.dblVal);
  case VT_CY: {
    LONG out = 0;
    return SUCCEEDED(VarI4FromCy(var_.cyVal, &out)) ? out : 0;
  }
  case VT_DECIMAL: {
    const DECIMAL value = var_.decimal();
    LONG out = 0;
    return SUCCEEDED(VarI4FromDec(&value, &out)) ? out : 0;
  }
  case VT_BOOL: return var_.boolVal == VARIANT_TRUE ? 1 : 0;
  case VT_I8: return static_cast<std::int32_t>(i8_);
  case VT_UI8: return static_cast<std::int32_t>(ui8_);
  default: return 0;
  }
}

double ole_variant::to_double() const
{
  tk_log_message(1, "ole_variant::to_double(%08X)", var_.vt);
  switch (var_.vt) {
  case VT_EMPTY:
  case VT_NULL: return 0.0;
  case VT_I2: return var_.iVal;
  case VT_I4: return var_.lVal;
  case VT_INT: return var_.intVal;
  case VT_I1: return var_.cVal;
  case VT_UI1: return var_.bVal;
  case VT_UI2: return var_.uiVal;
  case VT_UI4: return var_.ulVal;
  case VT_UINT: return var_.uintVal;
  case VT_R4: return plat::float_as_written(var_.fltVal);
  case VT_R8: return var_.dblVal;
  case VT_CY: {
    double out = 0.0;
    return SUCCEEDED(VarR8FromCy(var_.cyVal, &out)) ? out : 0.0;
  }
  case VT_DECIMAL: {
    const DECIMAL value = var_.decimal();
    double out = 0.0;
    return SUCCEEDED(VarR8FromDec(&value, &out)) ? out : 0.0;
  }
  case VT_BOOL: return var_.boolVal == VARIANT_TRUE ? 1.0 : 0.0;
  case VT_I8: return static_cast<double>(i8_);
  case VT_UI8: return static_cast<double>(ui8_);
  default: throw tk_mail_assertion("ole_var", 940);
  }
}

std::string ole_variant::byte_array_text() const
{
  const SAFEARRAY* array = byte_array();
  const std::uint32_t count = std::min(get_safe_array_size(array), max_rendered_bytes);
  if (count == 0)
    return std::string();
  std::string text(2 + 2 * std::size_t{count}, '\0');
  text[0] = '0';
  text[1] = 'x';
  // The hexadecimal digits end with a terminator, which lands on the string's own.
  tk_bytes_to_hex(count, static_cast<const unsigned char*>(array->pvData), text.data() + 2);
  return text;
}

std::string ole_variant::to_string() const
{
  tk_log_message(1, "ole_variant::to_string (vt=%08X)", var_.vt);
  switch (var_.vt) {
  case vt_byte_array:
  case VT_BLOB:
    return byte_array_text();
  case VT_DECIMAL: {
    const DECIMAL value = var_.decimal();
    BSTR text = nullptr;
    if (FAILED(VarBstrFromDec(&value, en_us, 0, &text)))
      return std::string();
    return automation_text(text);
  }
  case VT_DATE: {
    ole_date::text_buffer buffer;
    return std::string(date_.format(buffer, 6, true));
  }
  case VT_CY: {
    BSTR text = nullptr;
    if (FAILED(VarBstrFromCy(var_.cyVal, LOCALE_USER_DEFAULT, 0, &text)))
      return std::string();
    return automation_text(text);
  }
  case VT_BSTR: {
    std::string narrow;
    plat::wide_to_utf8(bstr_view(var_.bstrVal), narrow);
    return narrow;
  }
  case VT_BOOL: return var_.boolVal == VARIANT_TRUE ? "1" : "0";
  case VT_R4: return scientific_text(static_cast<double>(var_.fltVal), 6);
  case VT_R8: return scientific_text(var_.dblVal, 16);
  case VT_I2: return decimal_text(var_.iVal);
  case VT_I1: return decimal_text(static_cast<int>(var_.cVal));
  case VT_I4: return decimal_text(var_.lVal);
  case VT_INT: return decimal_text(var_.intVal);
  case VT_UI1: return decimal_text(static_cast<unsigned>(var_.bVal));
  case VT_UI2: return decimal_text(var_.uiVal);
  case VT_UI4: return decimal_text(var_.ulVal);
  case VT_UINT: return decimal_text(var_.uintVal);
  case VT_I8: return decimal_text(i8_);
  case VT_UI8: return decimal_text(ui8_);
  default: return std::string();
  }
}

std::wstring ole_variant::to_wstring() const
{
  tk_log_message(1, "ole_variant::to_wstring (vt=%08X)", var_.vt);
  if (var_.vt == VT_BSTR)
    return std::wstring(bstr_view(var_.bstrVal));
  if (holds_byte_array()) {
    const SAFEARRAY* array = byte_array();
    const std::uint32_t count = std::min(get_safe_array_size(array), max_rendered_bytes);
    if (count == 0)
      return std::wstring();
    std::wstring text(2 + 2 * std::size_t{count}, L'\0');
    text[0] = L'0';
    text[1] = L'x';
    tk_bytes_to_hex(count, static_cast<const unsigned char*>(array->pvData), text.data() + 2);
    return text;
  }
  return tk_utf8_to_wstring(to_string());
}

std::uint32_t ole_variant::get_safe_array_size(const SAFEARRAY* array)
{
  LONG lower = 0;
  LONG upper = 0;
  if (SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
      FAILED(SafeArrayGetUBound(array, 1, &upper)) || lower > upper)
    return 0;
  return static_cast<std::uint32_t>(std::int64_t{upper} - std::int64_t{lower} + 1);
}

ole_variant::byte_vector& ole_variant::convert_to_byte_array(const void* data, std::size_t count,
                                                             byte_vector& out)
{
  const auto* bytes = static_cast<const unsigned char*>(data);
  out.assign(bytes, bytes + count);
  return out;
}

std::uint32_t ole_variant::get_at(char* buffer, std::uint32_t pos, std::uint32_t length,
                                  std::uint32_t* written) const
{
  tk_log_message(1, "ole_variant::get_at(pos=%u, length=%u)", pos, length);
  if (written != nullptr)
    *written = 0;
  if (var_.vt == VT_BSTR) {
    const std::wstring_view text = bstr_view(var_.bstrVal);
    if (pos >= text.size())
      return 0;
    const auto piece = static_cast<std::uint32_t>(std::min<std::size_t>(length, text.size() - pos));
    thread_local std::string narrow;
    plat::wide_to_utf8(text.substr(pos, piece), narrow);
    std::memcpy(buffer, narrow.c_str(), narrow.size() + 1);
    if (written != nullptr)
      *written = static_cast<std::uint32_t>(narrow.size());
    trim_scratch(narrow);
    return piece;
  }
  if (holds_byte_array()) {
    const SAFEARRAY* array = byte_array();
    const std::uint32_t count = std::min(get_safe_array_size(array), max_rendered_bytes);
    if (pos >= count)
      return 0;
    const std::uint32_t piece = std::min(length, count - pos);
    tk_bytes_to_hex(piece, static_cast<const unsigned char*>(array->pvData) + pos, buffer);
    if (written != nullptr)
      *written = 2 * piece;
    return piece;
  }
  return 0;
}

std::int64_t ole_variant::get_bytes(const unsigned char*& data, std::string& storage) const
{
  tk_log_message(1, "ole_variant::get_bytes(vt=%d)", var_.vt);
  switch (var_.vt) {
  case VT_EMPTY:
  case VT_NULL:
    tk_log_message(1, "OLE_Variant is empty");
    return 0;
  case vt_byte_array:
  case VT_BLOB: {
    const std::uint32_t count = get_safe_array_size(var_.parray);
    if (count != 0)
      data = static_cast<const unsigned char*>(var_.parray->pvData);
    return count;
  }
  case VT_BSTR:
    plat::wide_to_utf8(bstr_view(var_.bstrVal), storage);
    data = reinterpret_cast<const unsigned char*>(storage.c_str());
    return static_cast<std::int64_t>(storage.size());
  default:
    throw tk_mail_assertion("ole_var", 1235);
  }
}

// A VARIANT the test owns, and makers of the values the DAO and workbook tests
// pass: copies are deep, the value is cleared with its holder, and it hands a
// borrowed VARIANT to the calls that take one by value.
#pragma once

#include "platform/oleaut/variant.h"

#include <string>
#include <utility>

namespace owned {

class variant {
public:
  variant() = default;
  variant(const variant& other) { VariantCopy(&v, &other.v); }
  variant(variant&& other) noexcept : v(std::exchange(other.v, VARIANT{})) {}
  variant& operator=(variant other) noexcept
  {
    std::swap(v, other.v);
    return *this;
  }
  ~variant() { VariantClear(&v); }
  operator VARIANT() const { return v; }

  VARIANT v{};
};

inline variant null()
{
  variant x;
  x.v.vt = VT_NULL;
  return x;
}
inline variant text(const std::wstring& value)
{
  variant x;
  x.v.vt = VT_BSTR;
  x.v.bstrVal = SysAllocStringLen(value.data(), static_cast<unsigned int>(value.size()));
  return x;
}
inline variant i2(short value)
{
  variant x;
  x.v.vt = VT_I2;
  x.v.iVal = value;
  return x;
}
inline variant ui2(unsigned short value)
{
  variant x;
  x.v.vt = VT_UI2;
  x.v.uiVal = value;
  return x;
}
inline variant i4(LONG value)
{
  variant x;
  x.v.vt = VT_I4;
  x.v.lVal = value;
  return x;
}
inline variant r8(double value)
{
  variant x;
  x.v.vt = VT_R8;
  x.v.dblVal = value;
  return x;
}
inline variant date(double value)
{
  variant x;
  x.v.vt = VT_DATE;
  x.v.date = value;
  return x;
}
inline variant boolean(bool value)
{
  variant x;
  x.v.vt = VT_BOOL;
  x.v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return x;
}

} // namespace owned

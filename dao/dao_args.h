// The VARIANT arguments of DAO calls. Each is a plain value that the callee
// only reads, so none is cleared; a text argument borrows the string of its
// dao_bstr, which must outlive the call.
#pragma once

#include "dao/dao_bstr.h"

#include "platform/oleaut/variant.h"

#include <cstdint>

inline VARIANT dao_text_arg(const dao_bstr& text)
{
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = text;
  return v;
}

inline VARIANT dao_long_arg(LONG value)
{
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

inline VARIANT dao_short_arg(short value)
{
  VARIANT v;
  v.vt = VT_I2;
  v.iVal = value;
  return v;
}

inline VARIANT dao_bool_arg(bool value)
{
  VARIANT v;
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

// A collection's item by its position, counted from 0.
inline VARIANT dao_position_arg(std::uint16_t position)
{
  VARIANT v;
  v.vt = VT_UI2;
  v.uiVal = position;
  return v;
}

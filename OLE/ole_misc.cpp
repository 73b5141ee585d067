// Small helpers of the COM value layer. The numeric test is one mask over the
// types 0 to 23, so a type with flags or above 23 is never shifted into it.
#include "OLE/ole_misc.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"

void ole_make_large_integer(std::uint32_t offset, LARGE_INTEGER& out)
{
  out.QuadPart = static_cast<LONGLONG>(offset);
}

LARGE_INTEGER ole_make_large_integer(std::uint32_t offset)
{
  LARGE_INTEGER out;
  ole_make_large_integer(offset, out);
  return out;
}

ULONG ole_get_ref_count(IUnknown* object)
{
  if (object == nullptr)
    throw tk_mail_assertion("ole_misc", 14);
  object->AddRef();
  const ULONG count = object->Release();
  tk_log_message(1, "ole_get_ref_count: %u", count);
  return count;
}

bool ole_is_date_or_bstr(VARTYPE type)
{
  return type == VT_DATE || type == VT_BSTR;
}

bool ole_is_numeric_vt(VARTYPE type)
{
  // VT_I2 VT_I4 VT_R4 VT_R8 VT_CY VT_BOOL VT_DECIMAL VT_I1 VT_UI1 VT_UI2 VT_UI4
  // VT_I8 VT_UI8 VT_INT VT_UINT
  constexpr std::uint32_t numeric_mask = 0xFF487C;
  return type < 24 && ((numeric_mask >> type) & 1u) != 0;
}

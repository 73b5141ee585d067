// Small helpers of the COM value layer: a stream seek offset, a reference count
// read without changing it, and the type classes statements and sheets ask about.
// Every type test answers for the whole 16-bit VARTYPE, flags included.
#pragma once

#include "platform/oleaut/iunknown.h"
#include "platform/oleaut/vartype.h"

#include <cstdint>

// A seek offset for IStream::Seek: the offset in the low part, 0 in the high part.
void ole_make_large_integer(std::uint32_t offset, LARGE_INTEGER& out);
LARGE_INTEGER ole_make_large_integer(std::uint32_t offset);

// The object's reference count, read by one AddRef and one Release (the count
// Release returns). A null interface is an internal error.
ULONG ole_get_ref_count(IUnknown* object);

// The types whose values are written quoted in statements.
bool ole_is_date_or_bstr(VARTYPE type);

// The fifteen integer, real, currency, decimal and boolean types; false for
// every other VARTYPE, VT_ARRAY and VT_BYREF forms included.
bool ole_is_numeric_vt(VARTYPE type);

// Automation strings (BSTR): wide text preceded by its length in bytes (4 bytes)
// and always followed by a NUL. The length, not the NUL, ends the text, so
// embedded NULs survive every copy; a null BSTR is a valid empty text.
#pragma once

#include <memory>

using OLECHAR = wchar_t;
using BSTR = OLECHAR*;

// Copies up to the first NUL; a null source gives a null BSTR.
BSTR SysAllocString(const OLECHAR* text);
// Copies exactly `length` characters (NULs included); a null source gives
// `length` zero characters. Null when memory or the 4-byte length runs out.
BSTR SysAllocStringLen(const OLECHAR* text, unsigned int length);
void SysFreeString(BSTR text);
// Characters, embedded NULs counted; 0 for a null BSTR.
unsigned int SysStringLen(const OLECHAR* text);
unsigned int SysStringByteLen(const OLECHAR* text);

namespace plat {

struct bstr_free {
  void operator()(OLECHAR* text) const noexcept { SysFreeString(text); }
};
// Owns one BSTR.
using unique_bstr = std::unique_ptr<OLECHAR, bstr_free>;

} // namespace plat

// The Automation currency (CY): a 64-bit integer counting ten-thousandths, so
// ±922337203685477.5807 with four exact fractional digits. Conversions round
// ties to even and report DISP_E_OVERFLOW outside that range.
#pragma once

#include "platform/oleaut/bstr.h"
#include "platform/oleaut/decimal.h"
#include "platform/oleaut/hresult.h"
#include "platform/win_types.h"

struct CY {
  LONGLONG int64;  // the value × 10,000
};
static_assert(sizeof(CY) == 8);

// The number text rules of VarDecFromStr; more than four fractional digits are
// rounded. `locale` and `flags` are accepted and ignored.
HRESULT VarCyFromStr(const OLECHAR* text, LCID locale, ULONG flags, CY* out);
// "-12.5": no grouping, trailing fractional zeros dropped.
HRESULT VarBstrFromCy(CY value, LCID locale, ULONG flags, BSTR* out);

HRESULT VarR8FromCy(CY value, double* out);
HRESULT VarI4FromCy(CY value, LONG* out);

HRESULT VarCyFromI8(LONGLONG value, CY* out);
HRESULT VarCyFromR8(double value, CY* out);

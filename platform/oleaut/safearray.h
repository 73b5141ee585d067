// One-dimensional Automation arrays (SAFEARRAY) of bytes (VT_UI1) or of values
// (VT_VARIANT). An array owns its elements; new elements are zero (bytes 0,
// values VT_EMPTY), and a locked array can be neither resized nor destroyed.
#pragma once

#include "platform/oleaut/hresult.h"
#include "platform/oleaut/vartype.h"
#include "platform/win_types.h"

#include <memory>

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};

struct SAFEARRAY {
  WORD cDims;
  WORD fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};

inline constexpr WORD FADF_HAVEVARTYPE = 0x0080;
inline constexpr WORD FADF_VARIANT = 0x0800;

// Null for another element type, another number of dimensions, a last index
// beyond the LONG range, or when memory runs out.
SAFEARRAY* SafeArrayCreate(VARTYPE element_type, unsigned int dimensions, const SAFEARRAYBOUND* bounds);
SAFEARRAY* SafeArrayCreateVector(VARTYPE element_type, LONG lower_bound, ULONG count);
// Releases every element and the array; null is accepted.
HRESULT SafeArrayDestroy(SAFEARRAY* array);
// New count, same lower bound: leading elements kept, new ones zero, dropped
// ones released.
HRESULT SafeArrayRedim(SAFEARRAY* array, const SAFEARRAYBOUND* new_bound);
// Lends the elements until the matching SafeArrayUnaccessData.
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
unsigned int SafeArrayGetDim(const SAFEARRAY* array);
// The upper bound of an empty array is its lower bound - 1.
HRESULT SafeArrayGetLBound(const SAFEARRAY* array, unsigned int dimension, LONG* lower_bound);
HRESULT SafeArrayGetUBound(const SAFEARRAY* array, unsigned int dimension, LONG* upper_bound);
HRESULT SafeArrayGetVartype(const SAFEARRAY* array, VARTYPE* element_type);
// A deep copy (values are copied as VariantCopy does); null gives null.
HRESULT SafeArrayCopy(const SAFEARRAY* array, SAFEARRAY** copy);

namespace plat {

struct safearray_destroy {
  void operator()(SAFEARRAY* array) const noexcept { SafeArrayDestroy(array); }
};
// Owns one array.
using unique_safearray = std::unique_ptr<SAFEARRAY, safearray_destroy>;

} // namespace plat

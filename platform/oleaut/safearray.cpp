// Array storage: the descriptor lives in a block that also records the element
// type, and the elements in one calloc'd buffer, so that even a very large byte
// array is zero-filled without touching its pages.
#include "platform/oleaut/safearray.h"

#include "platform/oleaut/variant.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

// The descriptor first, so that a SAFEARRAY* is also a pointer to its block.
struct array_block {
  SAFEARRAY array;
  VARTYPE element_type;
};

array_block* block_of(const SAFEARRAY* array)
{
  return reinterpret_cast<array_block*>(const_cast<SAFEARRAY*>(array));
}

ULONG element_size(VARTYPE element_type)
{
  switch (element_type) {
  case VT_UI1:
    return 1;
  case VT_VARIANT:
    return sizeof(VARIANT);
  default:
    return 0;
  }
}

bool is_variant_array(const SAFEARRAY* array)
{
  return (array->fFeatures & FADF_VARIANT) != 0;
}

VARIANT* variants_of(const SAFEARRAY* array)
{
  return static_cast<VARIANT*>(array->pvData);
}

// The buffer is never empty, so that AccessData always lends a real address.
void* allocate_elements(ULONG count, ULONG size)
{
  const std::size_t bytes = std::size_t{count} * size;
  return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

void release_elements(SAFEARRAY* array, ULONG first, ULONG end)
{
  if (!is_variant_array(array))
    return;
  for (ULONG i = first; i < end; ++i)
    VariantClear(&variants_of(array)[i]);
}

bool last_index_fits(LONG lower_bound, ULONG count)
{
  return static_cast<long long>(lower_bound) + static_cast<long long>(count) - 1 <= std::numeric_limits<LONG>::max();
}

} // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE element_type, unsigned int dimensions, const SAFEARRAYBOUND* bounds)
{
  const ULONG size = element_size(element_type);
  if (dimensions != 1 || bounds == nullptr || size == 0 || !last_index_fits(bounds->lLbound, bounds->cElements))
    return nullptr;
  auto* block = new (std::nothrow) array_block{};
  if (block == nullptr)
    return nullptr;
  block->element_type = element_type;
  SAFEARRAY& array = block->array;
  array.cDims = 1;
  array.fFeatures = element_type == VT_VARIANT ? WORD{FADF_HAVEVARTYPE | FADF_VARIANT} : FADF_HAVEVARTYPE;
  array.cbElements = size;
  array.rgsabound[0] = *bounds;
  array.pvData = allocate_elements(bounds->cElements, size);
  if (array.pvData == nullptr) {
    delete block;
    return nullptr;
  }
  return &array;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE element_type, LONG lower_bound, ULONG count)
{
  const SAFEARRAYBOUND bound{count, lower_bound};
  return SafeArrayCreate(element_type, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* array)
{
  if (array == nullptr)
    return S_OK;
  if (array->cLocks != 0)
    return DISP_E_ARRAYISLOCKED;
  release_elements(array, 0, array->rgsabound[0].cElements);
  std::free(array->pvData);
  delete block_of(array);
  return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* array, const SAFEARRAYBOUND* new_bound)
{
  if (array == nullptr || new_bound == nullptr)
    return E_INVALIDARG;
  if (array->cLocks != 0)
    return DISP_E_ARRAYISLOCKED;
  const LONG lower_bound = array->rgsabound[0].lLbound;
  const ULONG old_count = array->rgsabound[0].cElements;
  const ULONG new_count = new_bound->cElements;
  if (!last_index_fits(lower_bound, new_count))
    return E_INVALIDARG;
  if (new_count == old_count)
    return S_OK;
  const std::size_t size = array->cbElements;
  const std::size_t new_bytes = new_count == 0 ? 1 : std::size_t{new_count} * size;
  if (new_count < old_count) {
    release_elements(array, new_count, old_count);
    if (void* data = std::realloc(array->pvData, new_bytes))
      array->pvData = data;  // a failed shrink keeps the larger buffer
  } else {
    void* data = std::realloc(array->pvData, new_bytes);
    if (data == nullptr)
      return E_OUTOFMEMORY;
    std::memset(static_cast<unsigned char*>(data) + std::size_t{old_count} * size, 0,
                std::size_t{new_count - old_count} * size);
    array->pvData = data;
  }
  array->rgsabound[0].cElements = new_count;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data)
{
  if (array == nullptr || data == nullptr)
    return E_INVALIDARG;
  ++array->cLocks;
  *data = array->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array)
{
  if (array == nullptr)
    return E_INVALIDARG;
  if (array->cLocks == 0)
    return E_UNEXPECTED;
  --array->cLocks;
  return S_OK;
}

unsigned int SafeArrayGetDim(const SAFEARRAY* array)
{
  return array == nullptr ? 0 : array->cDims;
}

HRESULT SafeArrayGetLBound(const SAFEARRAY* array, unsigned int dimension, LONG* lower_bound)
{
  if (array == nullptr || lower_bound == nullptr)
    return E_INVALIDARG;
  if (dimension != 1)
    return DISP_E_BADINDEX;
  *lower_bound = array->rgsabound[0].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(const SAFEARRAY* array, unsigned int dimension, LONG* upper_bound)
{
  if (array == nullptr || upper_bound == nullptr)
    return E_INVALIDARG;
  if (dimension != 1)
    return DISP_E_BADINDEX;
  // Creation keeps the last index within LONG.
  *upper_bound = static_cast<LONG>(static_cast<long long>(array->rgsabound[0].lLbound) +
                                   static_cast<long long>(array->rgsabound[0].cElements) - 1);
  return S_OK;
}

HRESULT SafeArrayGetVartype(const SAFEARRAY* array, VARTYPE* element_type)
{
  if (array == nullptr || element_type == nullptr)
    return E_INVALIDARG;
  *element_type = block_of(array)->element_type;
  return S_OK;
}

HRESULT SafeArrayCopy(const SAFEARRAY* array, SAFEARRAY** copy)
{
  if (copy == nullptr)
    return E_INVALIDARG;
  *copy = nullptr;
  if (array == nullptr)
    return S_OK;
  plat::unique_safearray result(SafeArrayCreate(block_of(array)->element_type, 1, array->rgsabound));
  if (!result)
    return E_OUTOFMEMORY;
  const ULONG count = array->rgsabound[0].cElements;
  if (is_variant_array(array)) {
    for (ULONG i = 0; i < count; ++i) {
      const HRESULT hr = VariantCopy(&variants_of(result.get())[i], &variants_of(array)[i]);
      if (FAILED(hr))
        return hr;
    }
  } else {
    std::memcpy(result->pvData, array->pvData, std::size_t{count} * array->cbElements);
  }
  *copy = result.release();
  return S_OK;
}

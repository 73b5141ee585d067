// The error of a failed DAO call, read from DBEngine.Errors(0) right after the
// call, and the two checks every DAO call goes through: a negative HRESULT
// raises dao_exception, a success without its object a level-1 tk_exception.
#pragma once

#include "TK/tk_exception.h"
#include "platform/oleaut/iunknown.h"

#include <cstdint>
#include <string>

// Level 0; message = the Description, code = 0x10000 | (Number & 0xFFFF).
class dao_exception : public tk_exception {
public:
  // Reads the engine singleton's Errors(0). When that cannot be read, a
  // level-1 tk_exception ("Unknown exception") is raised in its place.
  dao_exception();
  // An error whose description and number are known already.
  dao_exception(const std::string& description, std::int32_t number);
  dao_exception(const dao_exception&) = default;

  // DAO could not write its own files: 3026 (no space on the disk, or the
  // quota) or 3043 (a disk or network error). No record was refused: what the
  // database holds cannot reach its file.
  bool is_write_failure() const noexcept;
};

// Raises dao_exception for a failed call.
inline void dao_check(HRESULT hr)
{
  if (FAILED(hr))
    throw dao_exception();
}

// The out-object of a call that succeeded; null raises level-1 "Unknown exception".
template <class T>
T* dao_require(T* object)
{
  if (object == nullptr)
    throw tk_exception(tk_level_error);
  return object;
}

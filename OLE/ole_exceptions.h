// The exceptions of the COM value types: a value that cannot be cast, and a type
// that the operation does not support.
#pragma once

#include "TK/tk_exception.h"

class ole_cast_exception : public tk_exception {
public:
  ole_cast_exception()
      : tk_exception(std::string("Cannot cast from source type to destination type"),
                     tk_level_recoverable)
  {
  }
};

class ole_type_exception : public tk_exception {
public:
  ole_type_exception()
      : tk_exception(std::string("The operating type is not supported yet"), tk_level_error)
  {
  }
};

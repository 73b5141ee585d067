// The program's own texts for the DAO errors a user most often meets, keyed
// 0x10000 + the DAO error number; both programs hand them to the error handler.
#pragma once

#include "TK/tk_errco.h"

#include <cstddef>

extern const tk_error_entry dao_error_map[];
extern const std::size_t dao_error_map_size;
// Shared with the MySQL table, which has the same failure (a duplicate key).
extern const char dao_duplicate_values_text[];

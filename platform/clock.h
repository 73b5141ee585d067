// Local wall-clock time, the stand-in for GetLocalTime.
#pragma once

#include "platform/win_types.h"

namespace plat {

// The current local time; wDayOfWeek counts from Sunday = 0.
SYSTEMTIME local_time();

} // namespace plat

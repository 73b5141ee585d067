#include "platform/clock.h"

#include <chrono>
#include <ctime>

namespace plat {

SYSTEMTIME local_time()
{
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                        now.time_since_epoch()).count() % 1000;
  std::tm parts{};
  localtime_r(&seconds, &parts);
  SYSTEMTIME st;
  st.wYear = static_cast<WORD>(parts.tm_year + 1900);
  st.wMonth = static_cast<WORD>(parts.tm_mon + 1);
  st.wDayOfWeek = static_cast<WORD>(parts.tm_wday);
  st.wDay = static_cast<WORD>(parts.tm_mday);
  st.wHour = static_cast<WORD>(parts.tm_hour);
  st.wMinute = static_cast<WORD>(parts.tm_min);
  st.wSecond = static_cast<WORD>(parts.tm_sec);
  st.wMilliseconds = static_cast<WORD>(millis);
  return st;
}

} // namespace plat

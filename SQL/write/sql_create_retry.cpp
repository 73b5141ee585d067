// The rules by which sql_write_database::create_table answers a refused
// CREATE TABLE; each answer changes a setting the previous attempt did not have.
#include "SQL/write/sql_create_retry.h"

#include "TK/tk_log.h"

#include <mysqld_error.h>

namespace {

// The last number of a server message ("max key length is 767 bytes"), 0 for none.
std::uint64_t last_number_in(const std::string& message)
{
  std::size_t end = message.find_last_of("0123456789");
  if (end == std::string::npos)
    return 0;
  std::size_t start = end;
  while (start > 0 && message[start - 1] >= '0' && message[start - 1] <= '9')
    --start;
  return std::stoull(message.substr(start, end - start + 1));
}

} // namespace

sql_create_retry::step sql_create_retry::after(std::uint32_t error_number, const std::string& message)
{
  if (dynamic_ && error_number == ER_ILLEGAL_HA_CREATE_OPTION) {
    tk_log_message(2, "The server takes no ROW_FORMAT=DYNAMIC");
    // Asked again, it would refuse again: the table would be tried for ever.
    can_ask_dynamic_ = false;
    dynamic_ = false;
    return step::again;
  }
  // A server whose rows are COMPACT by default keeps 768 bytes of each long
  // text in the row and takes 767 bytes of a key part: DYNAMIC takes what the
  // source held.
  const bool key_too_long = error_number == ER_TOO_LONG_KEY || error_number == ER_INDEX_COLUMN_TOO_LONG;
  if ((error_number == ER_TOO_BIG_ROWSIZE || key_too_long) && can_ask_dynamic_ && !dynamic_) {
    dynamic_ = true;
    return step::again;
  }
  // A key the server takes only shorter: its text parts are cut to the limit
  // the server named, once for a key and once for a part.
  if (key_too_long) {
    const std::uint64_t limit = last_number_in(message);
    std::uint64_t& bound = error_number == ER_TOO_LONG_KEY ? key_bytes_ : part_bytes_;
    if (limit == 0 || (bound != 0 && bound <= limit))
      return step::give_up;
    bound = limit;
    return step::again;
  }
  // A row the storage engine cannot hold in its page: its widest texts move
  // out of the row, one at a time, until the server takes the table.
  return error_number == ER_TOO_BIG_ROWSIZE ? step::widen_a_text : step::give_up;
}

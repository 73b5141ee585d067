// What a CREATE TABLE the server refused changes before it goes out again:
// DYNAMIC rows asked for, key parts cut to the limit the server named, or the
// widest text moved out of the row. Each change is tried at most once for its
// cause, so that the attempts come to an end.
#pragma once

#include <cstdint>
#include <string>

class sql_create_retry {
public:
  enum class step {
    again,         // send the statement again, as the new settings make it
    widen_a_text,  // move the widest text out of the row, then send it again
    give_up,       // the refusal stands
  };

  // `can_ask_dynamic`: the server and the table's storage engine know
  // ROW_FORMAT=DYNAMIC.
  explicit sql_create_retry(bool can_ask_dynamic) : can_ask_dynamic_(can_ask_dynamic) {}

  // What to do after the server refused the statement with this error number
  // and message.
  step after(std::uint32_t error_number, const std::string& message);

  // Whether the statement asks for ROW_FORMAT=DYNAMIC.
  bool dynamic() const { return dynamic_; }
  // The most bytes the server takes for a key and for one part of it, 0 while
  // it has named no limit.
  std::uint64_t key_bytes() const { return key_bytes_; }
  std::uint64_t part_bytes() const { return part_bytes_; }

private:
  bool can_ask_dynamic_;
  bool dynamic_ = false;
  std::uint64_t key_bytes_ = 0;
  std::uint64_t part_bytes_ = 0;
};

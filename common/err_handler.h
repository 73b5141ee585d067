// The process's reporter of errors and the scope of one conversion run. A report
// is the context (when set) and the program's own text for the error's code, or
// the exception's message; level 0 lets the caller go on, level 1 and 2 end the
// console program. The run scope marks the run finished on every way out.
#pragma once

#include "TK/tk_errco.h"
#include "TK/tk_exception.h"
#include "TK/tk_singl.h"
#include "dao/dao_error_map.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

// The error-text tables both programs hand to the handler, in this order:
// DAO errors (dao_error_map, beside the DAO engine) to the constructor, then
// MySQL errors and the date range to load_err_map.
extern const tk_error_entry mysql_error_map[];
extern const std::size_t mysql_error_map_size;
extern const tk_error_entry date_range_error_map[];
extern const std::size_t date_range_error_map_size;

class error_handler : public tk_singleton<error_handler> {
public:
  // Ends the process with the code. It is not meant to return: when a
  // replacement (a test's) does return, handle ends the current run instead by
  // throwing tk_final_exception.
  using exit_function = std::function<void(int code)>;

  error_handler(std::size_t count, const tk_error_entry* table);
  ~error_handler() override;

  // Adds the rows; a code already present keeps its first text.
  void load_err_map(std::size_t count, const tk_error_entry* table);

  // The text put before the next reports; an empty name clears it.
  void set_context(const std::wstring& name);
  // "<name>, record #<record>".
  void set_context(const std::wstring& name, std::uint32_t record);

  // Reports the error. Returns for level 0; ends the process for level 1 and 2.
  void handle(const tk_exception& e, bool no_abort);

  // Where the console form writes its lines (standard output by default).
  void set_output(std::ostream& out) { out_ = &out; }
  // Replaces what ends the process; an empty function restores the default,
  // which first closes what the current run holds and then exits.
  void set_exit_function(exit_function exit);
  // What the current run holds open (a half-written workbook, the source);
  // released by the default exit before the process ends. Empty between runs.
  void set_run_closer(std::function<void()> closer) { run_closer_ = std::move(closer); }

  std::string context;
  bool do_not_show = false;
  tk_error_converter err_map;

private:
  // Does not return unless a replaced exit function does; then throws
  // tk_final_exception.
  [[noreturn]] void end_process(int code);

  std::ostream* out_;
  exit_function exit_;
  std::function<void()> run_closer_;
};

// The scope of one run: logs its start and end with the local time and, as its
// last act, sets the converter's finished flag (release order, after everything
// the run wrote). no_com: the caller looks after COM itself.
class init_conversion {
public:
  init_conversion(std::atomic<bool>& finished, bool no_com);
  ~init_conversion();
  init_conversion(const init_conversion&) = delete;
  init_conversion& operator=(const init_conversion&) = delete;

private:
  std::atomic<bool>& finished_;
  bool no_com_;
};

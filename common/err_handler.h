// The process's reporter of errors and the scope of one conversion run. A report
// is the context (when set) and the program's own text for the error's code, or
// the exception's message, logged and handed to the program's front end, whose
// answer decides how the caller goes on; nothing here prints or ends the
// process. The context is replaced and read only under its lock, so a report on
// one thread never sees a name half written by another. The run scope marks
// the run finished on every way out.
#pragma once

#include "TK/tk_errco.h"
#include "TK/tk_error_reporter.h"
#include "TK/tk_exception.h"
#include "TK/tk_singl.h"
#include "common/run_front_end.h"
#include "dao/dao_error_map.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

// The error-text tables both programs hand to the handler, in this order:
// DAO errors (dao_error_map, beside the DAO engine) to the constructor, then
// MySQL errors and the date range to load_err_map. The date range's text names
// the way out the program offers: the wizard's check box (date_range_error_map)
// or the console program's option (date_range_console_error_map).
extern const tk_error_entry mysql_error_map[];
extern const std::size_t mysql_error_map_size;
extern const tk_error_entry date_range_error_map[];
extern const std::size_t date_range_error_map_size;
extern const tk_error_entry date_range_console_error_map[];
extern const std::size_t date_range_console_error_map_size;

// Also the installed tk_error_reporter while it is the first one alive, so the
// layers below the core report through it.
class error_handler : public tk_singleton<error_handler>, public tk_error_reporter {
public:
  error_handler(std::size_t count, const tk_error_entry* table);
  ~error_handler() override;

  // Adds the rows; a code already present keeps its first text.
  void load_err_map(std::size_t count, const tk_error_entry* table);

  // The text put before the next reports; an empty name clears it. The worker
  // of a run sets it while a report on another thread may read it.
  void set_context(const std::wstring& name) override;
  // "<name>, record #<record>".
  void set_context(const std::wstring& name, std::uint32_t record);
  // A copy of the context, taken under its lock.
  std::string get_context() const;

  // Reports the error to the front end. Level 2 always, and any level the
  // front end answers end_program, throw qvt_process_exit{-1}; abort_run throws
  // tk_final_exception unless no_abort; otherwise it returns.
  void handle(const tk_exception& e, bool no_abort) override;

  // Where reports go; borrowed, it must outlive its use here. Until a program
  // sets its own, null_front_end.
  void set_front_end(run_front_end& front_end) { front_end_ = &front_end; }
  run_front_end& front_end() const { return *front_end_; }

  // Reports still reach the front end, marked quiet. Set from the front end's
  // answer on the thread of a run, read by the next report anywhere.
  std::atomic<bool> do_not_show{false};
  tk_error_converter err_map;

private:
  mutable std::mutex context_lock_;
  std::string context_;
  run_front_end* front_end_;
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

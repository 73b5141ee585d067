// What the conversion core tells the program it runs in, and the only way the
// core asks anything: the console program and the wizard each implement this.
// Nothing under common/ prints, asks or ends the process by itself.
#pragma once

#include <cstdint>
#include <string>

// How the caller of a report goes on.
enum class report_answer {
  go_on,
  // Go on, and pass later reports with quiet set ("Do not show this again").
  go_on_quietly,
  // The user chose Abort: the run ends quietly (tk_final_exception), unless
  // the caller does not allow an abort; then it goes on.
  abort_run,
  // The program ends with exit code -1 (the console's answer to a level-1 error).
  end_program,
};

// Thrown by the error handler when the program must end: after every internal
// error (level 2) and when a report is answered end_program. Not derived from
// std::exception, so no handler of the core takes it: it unwinds every object
// of the run (the workbook's staging folder, the source) up to the catch at
// the top of the thread, main for the console, the worker's thread function
// for the wizard.
struct qvt_process_exit {
  int code;
};

// Every call comes on the thread that runs the conversion (the converter's
// operator(), the wizard's worker thread), except reports made outside a run,
// which come on the thread that caught the error. A call may block (a dialog);
// the run waits for it. Calls do not throw.
class run_front_end {
public:
  virtual ~run_front_end() = default;

  // The run opened its source; table_count counts the selected tables (those
  // of a loaded profile too), not the queries.
  virtual void run_started(const std::wstring& source, std::int32_t table_count) = 0;
  // An entry (table or query) got its sheet and its rows start; record_count
  // is 0 when the source does not tell it. The converter's progress atomics
  // already hold the name and counts.
  virtual void entry_started(const std::wstring& name, std::uint64_t record_count) = 0;
  // A table entry whose table the source does not list: nothing is written
  // for it and it counts as done.
  virtual void entry_skipped(const std::wstring& name) = 0;
  // The entry's rows are all in its sheet ("Table '<name>' (<n> records) is
  // converted" in the system log).
  virtual void entry_converted(const std::wstring& name, std::uint64_t records) = 0;
  // The entry has more columns than a sheet of the format takes; only the
  // first `limit` would be written. true: go on so; false: the run ends
  // quietly (as after Abort).
  virtual bool columns_truncated(const std::wstring& name, std::uint32_t limit) = 0;
  // A report of the error handler. level: 0 the caller may go on, 1 the
  // operation failed, 2 internal error (the program ends whatever the answer).
  // text: the context and the error's text on one line (line feeds made
  // blanks), UTF-8; for level 2 the bare message. quiet: the user asked to see
  // no more reports (--silent, "Do not show"); keep the text, show nothing.
  virtual report_answer report(std::uint32_t level, const std::string& text, bool quiet) = 0;
  // The run ended by a failure that is none of the system's errors (out of
  // memory, a library's own exception); what: its message.
  virtual void run_failed(const std::string& what) = 0;
  // The last call of a run, before the converter's finished flag is set.
  // reached_end: every entry was converted (or reported) and the workbook written.
  virtual void run_finished(bool reached_end) = 0;
};

// Answers as the console does without a console: notes nothing, asks nothing,
// ends the program at level 1. What the core uses until a program sets its own.
class null_front_end : public run_front_end {
public:
  void run_started(const std::wstring&, std::int32_t) override {}
  void entry_started(const std::wstring&, std::uint64_t) override {}
  void entry_skipped(const std::wstring&) override {}
  void entry_converted(const std::wstring&, std::uint64_t) override {}
  bool columns_truncated(const std::wstring&, std::uint32_t) override { return true; }
  report_answer report(std::uint32_t level, const std::string&, bool) override
  {
    return level == 0 ? report_answer::go_on : report_answer::end_program;
  }
  void run_failed(const std::string&) override {}
  void run_finished(bool) override {}

  // The one the core falls back on.
  static null_front_end& instance()
  {
    static null_front_end none;
    return none;
  }
};

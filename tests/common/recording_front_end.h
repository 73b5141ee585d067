// A front end for the core's tests: writes every call down as one line
// ("entry_started t 2", "report 0 t: text") and answers as it is told, by
// default as the console program does.
#pragma once

#include "TK/tk_exception.h"
#include "common/run_front_end.h"
#include "platform/text_codec.h"

#include <functional>
#include <string>
#include <vector>

namespace common_test {

struct recording_front_end : run_front_end {
  std::vector<std::string> calls;
  // Runs once a call is written down: the moment to look at the progress values.
  std::function<void(const std::string& call)> on_call;
  std::function<report_answer(std::uint32_t level)> answer = [](std::uint32_t level) {
    return level == tk_level_recoverable ? report_answer::go_on : report_answer::end_program;
  };
  bool keep_truncated = true;

  void run_started(const std::wstring& source, std::int32_t table_count) override
  {
    note("run_started " + plat::to_utf8(source) + " " + std::to_string(table_count));
  }
  void entry_started(const std::wstring& name, std::uint64_t record_count) override
  {
    note("entry_started " + plat::to_utf8(name) + " " + std::to_string(record_count));
  }
  void entry_skipped(const std::wstring& name) override { note("entry_skipped " + plat::to_utf8(name)); }
  void entry_converted(const std::wstring& name, std::uint64_t records) override
  {
    note("entry_converted " + plat::to_utf8(name) + " " + std::to_string(records));
  }
  bool columns_truncated(const std::wstring& name, std::uint32_t limit) override
  {
    note("columns_truncated " + plat::to_utf8(name) + " " + std::to_string(limit));
    return keep_truncated;
  }
  report_answer report(std::uint32_t level, const std::string& text, bool quiet) override
  {
    note("report " + std::to_string(level) + (quiet ? " quiet " : " ") + text);
    return answer(level);
  }
  void run_failed(const std::string& what) override { note("run_failed " + what); }
  void run_finished(bool reached_end) override { note("run_finished " + std::to_string(reached_end)); }

  // The report calls only.
  std::vector<std::string> reports() const
  {
    std::vector<std::string> found;
    for (const std::string& call : calls)
      if (call.rfind("report ", 0) == 0)
        found.push_back(call);
    return found;
  }

private:
  void note(std::string call)
  {
    calls.push_back(std::move(call));
    if (on_call)
      on_call(calls.back());
  }
};

} // namespace common_test

// The console program's side of a conversion: the lines qvtbatch writes to its
// standard output and error while it converts, and its answers (it never asks:
// a level-1 report ends the program). "--silent" is read at each call.
#pragma once

#include "common/run_front_end.h"

#include <iosfwd>

class tk_converter;

class console_front_end : public run_front_end {
public:
  // silent_of: the converter whose silent flag the command line sets.
  console_front_end(const tk_converter& silent_of, std::ostream& out, std::ostream& err);

  void run_started(const std::wstring& source, std::int32_t table_count) override;
  void entry_started(const std::wstring& name, std::uint64_t record_count) override;
  void entry_skipped(const std::wstring& name) override;
  void entry_converted(const std::wstring& name, std::uint64_t records) override;
  bool columns_truncated(const std::wstring& name, std::uint32_t limit) override;
  report_answer report(std::uint32_t level, const std::string& text, bool quiet) override;
  void run_failed(const std::string& what) override;
  void run_finished(bool reached_end) override;

private:
  const tk_converter& converter_;
  std::ostream& out_;
  std::ostream& err_;
};

// What the core tells the wizard. Reports go to the wizard's boxes and dialogs
// and its error list on the GUI thread; a run's progress is read by the progress
// page from the converter itself. Once a stop has been asked for, every question
// is answered Abort and nothing more is shown: the wizard is closing.
#pragma once

#include "common/run_front_end.h"

class wizard_front_end : public run_front_end {
public:
  void run_started(const std::wstring& source, std::int32_t table_count) override;
  void entry_started(const std::wstring& name, std::uint64_t record_count) override;
  void entry_skipped(const std::wstring& name) override;
  void entry_converted(const std::wstring& name, std::uint64_t records) override;
  bool columns_truncated(const std::wstring& name, std::uint32_t limit) override;
  report_answer report(std::uint32_t level, const std::string& text, bool quiet) override;
  void run_failed(const std::string& what) override;
  void run_finished(bool reached_end) override;

  // The question asked when an entry has more columns than a sheet takes.
  static std::string truncation_text(std::uint32_t limit);
};

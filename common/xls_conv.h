// The Excel converter: turns every entry of a run (a selected query or table)
// into one worksheet of the destination workbook, in the chosen format. The
// progress values it publishes are atomic, and current_name is replaced and read
// only under its lock; a sheet never receives more rows, columns or characters
// per cell than its format holds.
#pragma once

#include "UDB/udb_converter.h"
#include "UDB/udb_prof.h"
#include "UDB/udb_schema.h"
#include "dao/dao_engine.h"
#include "common/run_front_end.h"
#include "common/xls_engi.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class udb_database;
class udb_recordset;
class xls_tn_validator;

// Which program runs the converter: the wizard's starts from the registry's
// settings, the console program's from none.
enum class qvt_program { console, gui };

inline constexpr wchar_t xls_settings_section[] = L"MS Excel settings";

class xls_converter : public udb_converter {
public:
  explicit xls_converter(qvt_program program_);
  ~xls_converter() override;

  // The query test of the run's source; this converter has none.
  virtual bool test_query(const std::wstring& sql);
  // The source table behind a table entry.
  virtual std::wstring get_src_table_name(const std::wstring& name);

  // Converts every entry. Throws what ends the run.
  void do_convert(udb_database* source_db);
  void do_convert_xlsx(udb_database* source_db);
  // The workbook at the path (empty: destination). An .xlsx workbook is always
  // new (its save replaces the file); an .xls one is opened when the file exists,
  // else created, so the run hands it a staged path of its own, never the old
  // destination.
  std::unique_ptr<udb_database> get_xls_base(const std::wstring& path);
  // Copies the source's records into a new sheet of the base. Throws what ends
  // the entry; record-level failures are reported and counted here.
  void convert_table(udb_database* base, udb_recordset* rows, const std::wstring& sheet,
                     const udb_schema& schema);
  // With split data: removes the numbered siblings of the destination ("name(k)")
  // that the run began with (earlier_files: name(1) up to the first missing
  // number, as count_numbered_files saw them) and did not write again. Runs
  // once the new files have replaced the old ones, so nothing old goes before
  // the new set is complete; a file past that first gap is never touched.
  void clean_if_exists(std::uint32_t earlier_files);
  // How many numbered siblings "name(1)", "name(2)", ... stand beside the
  // workbook, up to the first missing number.
  static std::uint32_t count_numbered_files(const std::wstring& workbook);
  // The k-th numbered sibling of a split .xls workbook: "%s(%d)" of the file
  // name and k, before the extension ("shop.xls", 2: "shop(2).xls").
  static std::wstring numbered_path(const std::wstring& workbook, int k);
  // Restyles the .xls files a run wrote: the workbook and, with split_data, its
  // numbered siblings 1 to files - 1 (`files` counts the workbook too). No other
  // file is opened, whatever lies beside them. Nothing for a run of queries only
  // or an .xlsx run. A file that fails keeps its bytes and is only logged.
  void do_patch(const std::wstring& workbook, std::uint32_t files);

  // [MS Excel settings] without "BLOB to text"; both return true.
  bool load_excel_settings(const udb_profile& profile);
  bool store_excel_settings(udb_profile& profile) const;

  // Sets wrap_text and the wrap flag of every format descriptor.
  void set_wrap_text(bool on);

  // Where the run tells what it does and asks; borrowed, it must outlive the
  // runs. Until a program sets its own, null_front_end.
  void set_front_end(run_front_end& front_end) { front_end_ = &front_end; }

  // The converter's stop is the run's one stop (run_stop), whoever asks for it:
  // the wizard through request_stop, the console program's signals directly.
  // It is lifted when the run ends, so a converter stopped once runs again; a
  // stop that came once the run put its files in place is refused.
  void request_stop() override;
  bool stop_requested() const noexcept override;
  bool stopping() const noexcept;

  // A copy of the name of the entry in work, taken under its lock.
  std::wstring get_current_name() const;
  // The descriptor of format_version; an internal error outside 0 to 2.
  const xls_engine& get_format() const;

  const qvt_program program;

  // Progress: selected tables, every entry of the run (tables and queries),
  // entries done (skipped and failed ones included), and the current entry's
  // record count and records handed to its sheet.
  std::atomic<std::int32_t> table_count{0};
  std::atomic<std::int32_t> entry_count{0};
  std::atomic<std::int32_t> tables_done{0};
  std::atomic<std::uint64_t> record_count{0};
  std::atomic<std::uint64_t> records_done{0};

  std::vector<std::wstring> selected_tables;

  std::uint32_t format_version = xls_format_not_given;
  bool split_data = false;
  bool wrap_text = false;
  bool dates_to_strings = false;
  // The most columns a sheet receives (255 for .xls; an .xlsx run raises it).
  std::uint32_t column_limit = 255;
  // Lowers the format's data-row limit when not 0 (tests).
  std::uint64_t row_limit = 0;

protected:
  void set_current_name(const std::wstring& name);
  // Closes the run's destination and source, on every way out of a run.
  void release_run();
  // Lets the run's workbooks go, the numbered ones first, unwritten when not
  // closed before.
  void release_workbooks();

  run_front_end* front_end_;
  dao_engine dao;
  // What a run holds open: its source, its workbook and (.xls with split
  // data) the numbered workbooks 1, 2, ... that take the rows past a sheet's
  // last, each open from its first sheet to the end of the run.
  std::unique_ptr<udb_database> run_source_;
  std::unique_ptr<udb_database> run_base_;
  std::vector<std::unique_ptr<udb_database>> continuations_;

private:
  // The steps of convert_table (xls_conv.cpp).
  class table_copy;

  void begin_entry(const std::wstring& name);
  // The steps of one entry once its destination is open.
  void convert_entry(udb_database& source_db, udb_database& base, const name_text& entry,
                     xls_tn_validator& validator);
  VARTYPE destination_type(VARTYPE type) const;
  std::uint64_t data_row_limit() const;
  // Rows past a sheet's limit go on in numbered workbooks (.xls with split data).
  bool splits_rows() const;
  // The .xls run from its first entry until its files are in place beside
  // the destination.
  void convert_staged(udb_database& source_db);
  // Writes and closes an .xls workbook; a workbook that could not be written
  // ends the run.
  static void close_workbook(std::unique_ptr<udb_database>& base);

  // Where an .xls run writes its workbook, and how many numbered continuation
  // workbooks beside it the run has written so far.
  std::wstring run_workbook_;
  std::uint32_t split_files_ = 0;

  xls_engine_table engines_;
  mutable std::mutex current_name_lock_;
  std::wstring current_name;
};

// The conversion of a run's entries into worksheets and the copy of one table.
// Rows stream one at a time through one reused output record; a full sheet goes
// on in a numbered workbook (.xls with split data) or is reported once, as are a
// refused record and a failed entry, and the run goes on.
#include "common/xls_conv.h"

#include "TK/tk_exception.h"
#include "TK/tk_files.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "UDB/udb_db.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"
#include "common/err_handler.h"
#include "common/run_stop.h"
#include "common/staged_destination.h"
#include "dao/dao_database.h"
#include "dao/dao_exception.h"
#include "dao/xls_tn_validator.h"
#include "base/format.h"
#include "platform/oleaut/bstr.h"
#include "platform/text_codec.h"
#include "xlsx/xlsx_db.h"
#include "xlsx/xlsx_worksheet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string_view>

namespace {

constexpr const char* dao_missing_text =
    "Failed to load Data Access Objects (DAO) support library.\n"
    "Microsoft Access installation is required to proceed with\n"
    "the application.\n";

bool is_byte_array(VARTYPE type)
{
  return type == VT_BLOB || type == ole_variant::vt_byte_array;
}

// A destination field that is refilled for every record, so that copying a row
// allocates nothing but the values' own texts.
class copied_field : public udb_field {
public:
  // The source field as it is.
  void take(const udb_field& from)
  {
    ole_variant::operator=(from);
    take_column(from, from.get_stored_size());
  }
  // The source field's column with a text of its own.
  void take_text(const udb_field& from, std::wstring_view text)
  {
    const std::uint32_t size = from.get_size();
    attach_wstring(text);
    take_column(from, size);
  }
  // The source field's column with a date value of its own.
  void take_date(const udb_field& from, DATE date)
  {
    VARIANT value;
    value.vt = VT_DATE;
    value.date = date;
    attach_variant(value);
    take_column(from, from.get_stored_size());
  }

private:
  void take_column(const udb_field& from, std::uint32_t size)
  {
    name_ = from.get_name();
    size_ = size;
    not_null_ = from.is_not_null();
    auto_increment_ = from.is_auto_increment();
  }
};

// Whether an .xls date cell can hold the date: a day from 1900-01-01 on (the
// first of Excel's calendar; a DATE of an earlier day, or one no DATE holds,
// such as the years 1 to 99, would come out as another day or as a bare time),
// or a time of day.
bool xls_holds_as_date(const ole_date& date)
{
  switch (date.get_kind()) {
  case ole_date::kind_time:
    return !date.is_duration();
  case ole_date::kind_date:
  case ole_date::kind_date_time:
    return date.get_time().wYear >= 1900 && date.get_time().wYear <= 9999;
  default:
    return false;
  }
}

// The DATE of a date an .xls date cell holds, with its fraction of a second
// (the VARIANT's own DATE counts whole seconds only): the day and the
// microseconds of the day in one division, so the double is the nearest one.
// Late in the calendar a double steps by up to 40 microseconds, so the nearest
// one may lie on a neighbouring midnight: the value is then kept one step
// inside its own day, where it keeps its time of day and its date, and
// 9999-12-31 23:59:59.999999 stays a date a cell holds.
DATE xls_date_value(const VARIANT& value, const ole_date& date)
{
  const SYSTEMTIME& t = date.get_time();
  const double day = std::floor(value.date);
  const double micro = ((t.wHour * 60.0 + t.wMinute) * 60.0 + t.wSecond) * 1e6 + date.get_microseconds();
  const double nearest = (day * 86400e6 + micro) / 86400e6;
  if (micro == 0)
    return nearest;
  return std::clamp(nearest, std::nextafter(day, day + 1.0), std::nextafter(day + 1.0, day));
}

// A date as the text the server sent, in the form every format prints dates
// as text (the .xlsx cells too): into `text`, whose room is reused.
void date_text(const ole_date& date, std::wstring& text)
{
  ole_date::text_buffer buffer;
  const std::string_view printed = date.format(buffer, 6, false);
  text.assign(printed.begin(), printed.end());
}

// A DAO write failure (the engine's own files: no space, quota, I/O) is no
// refused record: the workbook is lost, and the run ends at once with one report.
void end_run_on_write_failure(const tk_exception& e)
{
  const auto* dao = dynamic_cast<const dao_exception*>(&e);
  if (dao != nullptr && dao->is_write_failure())
    throw tk_exception(e.get_message(), tk_level_error);
}

// Every CR LF and every lone CR becomes LF, in place.
void fold_line_ends(std::wstring& text)
{
  std::size_t out = 0;
  for (std::size_t in = 0; in < text.size(); ++in) {
    wchar_t c = text[in];
    if (c == L'\r') {
      if (in + 1 < text.size() && text[in + 1] == L'\n')
        continue;
      c = L'\n';
    }
    text[out++] = c;
  }
  text.resize(out);
}

} // namespace

xls_converter::xls_converter(qvt_program program_)
    : program(program_), front_end_(&null_front_end::instance()), dao(false)
{
  tk_log_message(2, "udb_converter::ctor");
  tk_log_message(2, "xls_converter::ctor");
  engines_[xls_format_excel_50] = std::make_unique<xls_engine_50>();
  engines_[xls_format_excel_2000] = std::make_unique<xls_engine_80>();
  engines_[xls_format_excel_2010] = std::make_unique<xls_engine_2010>();
  for (std::size_t i = 0; i < engines_.size(); ++i)
    xls_engines[i] = engines_[i].get();
}

xls_converter::~xls_converter()
{
  tk_log_message(2, "xls_converter::dtor");
  for (std::size_t i = 0; i < engines_.size(); ++i) {
    if (xls_engines[i] == engines_[i].get())
      xls_engines[i] = nullptr;
  }
}

bool xls_converter::test_query(const std::wstring& /*sql*/)
{
  return false;
}

std::wstring xls_converter::get_src_table_name(const std::wstring& name)
{
  return name;
}

std::wstring xls_converter::get_current_name() const
{
  const std::lock_guard<std::mutex> lock(current_name_lock_);
  return current_name;
}

void xls_converter::set_current_name(const std::wstring& name)
{
  const std::lock_guard<std::mutex> lock(current_name_lock_);
  current_name = name;
}

const xls_engine& xls_converter::get_format() const
{
  if (format_version >= xls_format_count)
    throw tk_mail_assertion("xls_conv", 142);
  return *engines_[format_version];
}

void xls_converter::set_wrap_text(bool on)
{
  wrap_text = on;
  for (const auto& engine : engines_)
    engine->wrap = on;
}

bool xls_converter::stopping() const noexcept
{
  return run_stop::requested();
}

bool xls_converter::stop_requested() const noexcept
{
  return stopping();
}

void xls_converter::request_stop()
{
  // Also breaks what the run may be blocked in (the source's socket, zip).
  run_stop::request();
}

void xls_converter::release_run()
{
  release_workbooks();
  run_source_.reset();
}

std::uint64_t xls_converter::data_row_limit() const
{
  const std::uint64_t own = get_format().max_data_rows;
  return row_limit != 0 && row_limit < own ? row_limit : own;
}

VARTYPE xls_converter::destination_type(VARTYPE type) const
{
  if (type == VT_DATE && (dates_to_strings || format_version == xls_format_excel_50))
    return VT_BSTR;
  if (is_byte_array(type)) {
    if (format_version != xls_format_excel_2010)
      tk_log_message(1, "Switching BLOB to string");
    return VT_BSTR;
  }
  return type;
}

// ---------------------------------------------------------------------------
// The run's entries

std::unique_ptr<udb_database> xls_converter::get_xls_base(const std::wstring& path)
{
  const std::wstring& p = path.empty() ? destination : path;
  tk_log_message(2, L"xls_converter::get_xls_base(%s)", p);
  if (format_version == xls_format_excel_2010)
    return std::make_unique<xlsx_database>(p, false);
  const std::wstring& connect = get_format().connect_string;
  if (tk_is_file_exist2(p, tk_exist_not_folder))
    return dao.open_dao_src(p, connect, udb_mode_append);
  return dao.create_dao_src(p, connect);
}

void xls_converter::do_convert(udb_database* source_db)
{
  tk_log_message(2, "xls_converter::do_convert");
  if (stopping())
    throw tk_final_exception();
  get_format();
  if (format_version != xls_format_excel_2010 && !dao.set_version_if(0))
    throw tk_exception(dao_missing_text, tk_level_error);

  for (const std::wstring& table : selected_tables)
    selected_queries.emplace_back(table, std::wstring());

  // What killed runs left beside the destination goes before this run adds its own.
  staged_destination::remove_abandoned(destination);
  try {
    if (format_version == xls_format_excel_2010) {
      column_limit = 16384;
      do_convert_xlsx(source_db);
    } else {
      convert_staged(*source_db);
    }
  } catch (const tk_exception& e) {
    // The hidden folders the run works in are its own business: a report
    // names what the user sees.
    staged_destination::rethrow_in_user_terms(destination, e);
  }
}

void xls_converter::convert_staged(udb_database& source_db)
{
  // The numbered workbooks of an earlier split run, as they stand before this
  // run changes anything; the new set replaces exactly these.
  const std::uint32_t earlier_files = split_data ? count_numbered_files(destination) : 0;
  // The engine writes the workbook in place: it works on a new workbook in a
  // staging folder, never on the old destination, which the last step replaces.
  staged_destination staged(destination);
  // The workbooks are closed before their staging folder goes, whichever way the run ends.
  struct workbooks_closer {
    xls_converter& converter;
    ~workbooks_closer() { converter.release_workbooks(); }
  } const closer{*this};
  run_workbook_ = staged.path();
  split_files_ = 0;
  xls_tn_validator validator(selected_tables, source_db.get_table_names());
  // One workbook for the whole run: each entry adds its sheet to it, and it is
  // written once, at the end, so an entry costs the same whatever came before it.
  run_base_ = get_xls_base(run_workbook_);
  for (std::size_t i = 0; i < selected_queries.size(); ++i) {
    const name_text entry = selected_queries[i];
    begin_entry(entry.first);
    tk_log_message(2, L"Processing '%s'", entry.first);
    convert_entry(source_db, *run_base_, entry, validator);
    tables_done.fetch_add(1);
  }
  error_handler::instance().set_context(L"");
  if (stopping())
    throw tk_final_exception();
  // A workbook that cannot be written ends the run; nothing is put in place.
  for (std::unique_ptr<udb_database>& continuation : continuations_)
    close_workbook(continuation);
  close_workbook(run_base_);
  // The restyling works on the staged files: exactly the ones this run wrote.
  do_patch(run_workbook_, split_files_ + 1);
  // The last moment a stop keeps the old files; once they are being put in
  // place, a stop is refused and the run finishes.
  if (!run_stop::begin_commit())
    throw tk_final_exception();
  // Nothing to write (no entry made a sheet): the old files stay.
  if (staged.commit())
    clean_if_exists(earlier_files);
  finished.store(true, std::memory_order_release);
}

void xls_converter::release_workbooks()
{
  continuations_.clear();
  run_base_.reset();
}

std::uint32_t xls_converter::count_numbered_files(const std::wstring& workbook)
{
  std::uint32_t k = 0;
  while (tk_is_file_exist2(numbered_path(workbook, static_cast<int>(k + 1)), tk_exist_not_folder))
    ++k;
  return k;
}

void xls_converter::clean_if_exists(std::uint32_t earlier_files)
{
  tk_log_message(1, "xls_converter::clean_if_exists");
  if (!split_data)
    return;
  // Those the new set did not replace; a number past the gap the run began
  // with was never the earlier run's, and stays.
  for (std::uint32_t k = split_files_ + 1; k <= earlier_files; ++k) {
    const std::wstring sibling = numbered_path(destination, static_cast<int>(k));
    tk_log_message(2, L"Delete file '%s'", sibling);
    std::error_code ignored;
    std::filesystem::remove(plat::to_utf8(sibling), ignored);
  }
}

bool xls_converter::splits_rows() const
{
  return split_data && format_version != xls_format_excel_2010;
}

void xls_converter::close_workbook(std::unique_ptr<udb_database>& base)
{
  if (!base)
    return;
  if (auto* workbook = dynamic_cast<dao_database*>(base.get())) {
    try {
      workbook->close();
    } catch (const tk_exception& e) {
      base.reset();
      // Inside an entry a level-0 error would end only that entry, and the run
      // would go on to say "converted" of a workbook that is not there.
      throw tk_exception(e.get_message(), tk_level_error);
    }
  }
  base.reset();
}

void xls_converter::do_convert_xlsx(udb_database* source_db)
{
  tk_log_message(2, "xls_converter::do_convert_xlsx");
  run_base_ = get_xls_base(L"");
  // Every query and every table the source has makes a sheet: zip packs them
  // while their rows are read.
  const auto sheets = std::count_if(
      selected_queries.begin(), selected_queries.end(), [source_db](const name_text& entry) {
        return !entry.second.empty() || source_db->is_table_exist(entry.first);
      });
  static_cast<xlsx_database&>(*run_base_).stream_sheets(static_cast<std::uint32_t>(sheets));
  xls_tn_validator validator(selected_tables, source_db->get_table_names());
  for (std::size_t i = 0; i < selected_queries.size(); ++i) {
    const name_text entry = selected_queries[i];
    begin_entry(entry.first);
    convert_entry(*source_db, *run_base_, entry, validator);
    tables_done.fetch_add(1);
  }
  // What fails from here on belongs to no entry.
  error_handler::instance().set_context(L"");
  tk_log_message(2, "xls_converter::save(active_idx=%d)", format_version);
  if (stopping())
    throw tk_final_exception();
  // A workbook without sheets is not saved: the old file stays.
  try {
    static_cast<xlsx_database&>(*run_base_).save();
  } catch (const tk_exception&) {
    // A stop ends zip: that is no failure to report.
    if (stopping())
      throw tk_final_exception();
    throw;
  }
  run_base_.reset();
  finished.store(true, std::memory_order_release);
}

void xls_converter::begin_entry(const std::wstring& name)
{
  if (stopping())
    throw tk_final_exception();
  set_current_name(name);
  // A failure before the entry's own handler takes over still names the entry.
  error_handler::instance().set_context(name);
}

void xls_converter::convert_entry(udb_database& source_db, udb_database& base, const name_text& entry,
                                  xls_tn_validator& validator)
{
  const std::wstring& name = entry.first;
  const bool is_table = entry.second.empty();
  const bool xlsx = format_version == xls_format_excel_2010;

  if (is_table && !source_db.is_table_exist(name)) {
    tk_log_message(2, L"Table '%s' is not in the source", name);
    front_end_->entry_skipped(name);
    return;
  }

  bool kept = validator.is_acceptable(name);
  std::wstring sheet = kept ? name : validator.get_safe_name(name);
  if (sheet.empty() && !xlsx) {
    // A query without a name gets the sheet name the .xlsx writer gives such a
    // sheet: "Sheet" and the sheet's number in the workbook.
    sheet = base::sprintf(L"Sheet%u", static_cast<unsigned>(base.get_table_names().size() + 1));
    kept = validator.is_acceptable(sheet);
    if (!kept)
      sheet = validator.get_safe_name(sheet);
  }
  if (!xlsx)
    tk_log_message(2, L"pi.tab_name='%s', new_tab_name='%s'", name, sheet);

  std::unique_ptr<udb_recordset> records;
  try {
    records = is_table ? source_db.get_table(get_src_table_name(name), 1)
                       : source_db.get_query(name, entry.second, 1);
    if (!records)
      throw tk_mail_assertion("xls_conv", 252);

    const udb_schema& columns = records->get_schema();
    std::size_t n = columns.size();
    if (n > column_limit) {
      // Not an exception: the run ends quietly, as after Abort.
      if (!front_end_->columns_truncated(name, column_limit))
        throw tk_final_exception();
      n = column_limit;
    }

    udb_schema schema(!xlsx);
    schema.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
      const t_ftd& column = *columns[i];
      const VARTYPE type = destination_type(column.vartype);
      tk_log_message(1, "Orig type=%d, new type=%d", column.vartype, type);
      schema.emplace_back(column.size, column.name, type, false, false, ole_variant(), 0u,
                          std::wstring());
    }

    convert_table(&base, records.get(), sheet, schema);

    const std::wstring line = base::sprintf(L"Table '%s' (%llu records) is converted\r\n", name,
                                            static_cast<unsigned long long>(records_done.load()));
    tk_log_message(3, L"%s", line);
    front_end_->entry_converted(name, records_done.load());
    records.reset();
  } catch (const tk_exception& e) {
    records.reset();
    // A stop breaks the source's reads: the run ends, the entry has no error.
    if (stopping())
      throw tk_final_exception();
    error_handler& handler = error_handler::instance();
    // A workbook that cannot be made is no fault of the table being read.
    handler.set_context(dynamic_cast<const xlsx_package_exception*>(&e) ? std::wstring() : name);
    // A lost connection or a workbook that cannot be written ends the run: the
    // entries after this one could only fail with texts of their own.
    if (e.get_level() != tk_level_recoverable)
      throw;
    end_run_on_write_failure(e);
    handler.handle(e, false);
  }

  // An empty name (.xlsx) takes no name from the others: the writer names it.
  if (!sheet.empty()) {
    if (!kept) {
      tk_log_message(2, L"Store generated table name '%s'", sheet);
      validator.add_existing_name(sheet);
    }
    validator.add_restricted_name(sheet);
  }
  record_count.store(0);
  records_done.store(0);
}

// ---------------------------------------------------------------------------
// The table copy

// One table's copy into its sheet: the steps convert_table walks, top to
// bottom, and what they share. Rows go through one output record whose fields
// are refilled in place, so a row costs no allocation beyond its own texts.
class xls_converter::table_copy {
public:
  table_copy(xls_converter& run, udb_database& base, udb_recordset& rows, const std::wstring& sheet,
             const udb_schema& schema)
      : run_(run), base_(base), rows_(rows), sheet_(sheet), schema_(schema),
        handler_(error_handler::instance())
  {
  }

  // The sheet comes first: a table that cannot have one is not announced.
  void open_sheet() { table_ = base_.create_table(sheet_, schema_, udb_indexes()); }

  // The log, the progress and the front end learn the table and its size.
  void announce()
  {
    name_ = run_.get_current_name();
    count_ = rows_.get_record_count();
    run_.record_count.store(count_);
    if (count_ != 0)
      tk_log_message(3, L"Converting table %s (%llu records)", name_,
                     static_cast<unsigned long long>(count_));
    else
      tk_log_message(3, L"Converting table %s", name_);
    run_.front_end_->entry_started(name_, count_);
  }

  // Every record until the source ends, a stop, or the sheet takes no more.
  void stream_rows()
  {
    format_ = &run_.get_format();
    xlsx_ = run_.format_version == xls_format_excel_2010;
    row_cap_ = run_.data_row_limit();
    rows_.reset();
    // The count the reading is bounded by, taken as the rows start: an .xlsx
    // sheet's head carries it before its rows go out to zip.
    if (xlsx_) {
      if (auto* book = dynamic_cast<xlsx_database*>(&base_))
        book->expect_rows(table_.get(), std::min<std::uint64_t>(rows_.get_record_count(), row_cap_));
    }
    while (!rows_.is_eof()) {
      if (run_.stopping())
        throw tk_final_exception();
      const std::uint64_t done = run_.records_done.load();
      tk_log_message(1, "Converting %llu record", static_cast<unsigned long long>(done));
      const udb_record* record = rows_.get_item();
      if (record == nullptr || !make_room(done))
        break;
      const std::uint32_t columns = fill_row(*record);
      const row_outcome outcome = append_row(columns, done);
      if (outcome == row_outcome::sheet_closed)
        break;
      run_.records_done.fetch_add(1);
      if (outcome == row_outcome::written)
        ++in_sheet_;
      rows_.next();
    }
  }

  // An .xlsx sheet is written out now, so the next table starts with the
  // memory of this one given back; an .xls sheet is complete as it stands.
  void finish()
  {
    tk_log_message(2, "xls_converter::save_table(active_idx=%d)", run_.format_version);
    if (run_.format_version == xls_format_excel_2010) {
      if (auto* book = dynamic_cast<xlsx_database*>(&base_))
        book->save_table(table_.get(), 0);
    }
    table_.reset();
    tk_log_message(1, "xls_converter::convert_table - END");
  }

private:
  enum class row_outcome { written, refused, sheet_closed };

  // Before a row goes in: a full sheet goes on in the next numbered workbook
  // (.xls with split data) or is reported once and closed. False: no more rows.
  bool make_room(std::uint64_t done)
  {
    if (in_sheet_ >= row_cap_ && run_.splits_rows())
      continue_in_next_workbook();
    if (in_sheet_ < row_cap_)
      return true;
    const tk_exception full(
        base::sprintf("The worksheet is full: only the first %llu of %llu records were written "
                      "(%s holds at most %llu data rows per worksheet)",
                      static_cast<unsigned long long>(done), static_cast<unsigned long long>(count_),
                      plat::to_utf8(format_->name), static_cast<unsigned long long>(row_cap_)),
        tk_level_recoverable);
    handler_.set_context(name_);
    handler_.handle(full, false);
    return false;
  }

  // The next numbered workbook gets a sheet of the same name, header first. It
  // stays open for the tables after this one, as the workbook does.
  void continue_in_next_workbook()
  {
    table_.reset();
    handler_.set_context(name_);
    ++part_;
    try {
      if (run_.continuations_.size() < part_)
        run_.continuations_.push_back(
            run_.get_xls_base(numbered_path(run_.run_workbook_, static_cast<int>(part_))));
      run_.split_files_ = std::max(run_.split_files_, part_);
      table_ = run_.continuations_[part_ - 1]->create_table(sheet_, schema_, udb_indexes());
    } catch (const tk_exception& e) {
      // The rows past the sheet's end have no other place: going on would
      // drop them from a run that ends as a success, so the run ends here.
      throw tk_exception(e.get_message(), tk_level_error);
    }
    in_sheet_ = 0;
  }

  // Refills the output record from the source's; returns the columns taken
  // (a record wider than the sheet gives only its first columns).
  std::uint32_t fill_row(const udb_record& record)
  {
    const std::size_t m = std::min<std::size_t>(record.size(), run_.column_limit);
    if (out_.size() != m) {
      out_.reset();
      out_.reserve(m);
      for (std::size_t i = 0; i < m; ++i)
        out_.emplace_back<copied_field>();
    }
    for (std::size_t i = 0; i < m; ++i)
      copy_field(*record[i], static_cast<copied_field&>(*out_[i]), i);
    return static_cast<std::uint32_t>(m);
  }

  // What a cell of the format can hold: text with LF line ends cut to the
  // format's cell limit, a marker for bytes, an .xls date as a date cell
  // where one holds it and as the server's digits where not, the rest as it is.
  void copy_field(const udb_field& from, copied_field& to, std::size_t column)
  {
    const VARIANT& value = from.get_variant();
    const VARTYPE type = from.get_type();
    if (value.vt == VT_EMPTY || value.vt == VT_NULL) {
      to.take(from);
    } else if (type == VT_BSTR && value.vt == VT_BSTR) {
      text_.assign(value.bstrVal, SysStringLen(value.bstrVal));
      fold_line_ends(text_);
      text_.resize(plat::utf16_prefix(text_, format_->max_text_units));
      to.take_text(from, text_);
    } else if (is_byte_array(type)) {
      to.take_text(from, L"<Binary Field>");
    } else if (value.vt == VT_DATE && !xlsx_) {
      // A date cell holds the date with its fraction of a second; a text
      // column, or a date no date cell holds, gets the server's digits.
      const ole_date& date = from.get_date();
      if (column < schema_.size() && schema_[column]->vartype == VT_DATE && xls_holds_as_date(date)) {
        to.take_date(from, xls_date_value(value, date));
      } else {
        date_text(date, text_);
        to.take_text(from, text_);
      }
    } else {
      to.take(from);
    }
  }

  // A record the DAO driver refuses is reported and counted, and the rest of
  // the table still goes in; any other recoverable refusal means the sheet
  // takes no more, said once; worse errors end the entry.
  row_outcome append_row(std::uint32_t columns, std::uint64_t done)
  {
    try {
      table_->append_record(out_, columns);
      return row_outcome::written;
    } catch (const dao_exception& e) {
      end_run_on_write_failure(e);
      handler_.set_context(name_, static_cast<std::uint32_t>(done + 1));
      handler_.handle(e, false);
      return row_outcome::refused;
    } catch (const tk_exception& e) {
      if (e.get_level() != tk_level_recoverable) {
        tk_log_message(2, "Right before dtors");
        tk_log_message(2, "Right after dtors");
        throw;
      }
      handler_.set_context(name_, static_cast<std::uint32_t>(done + 1));
      handler_.handle(e, false);
      return row_outcome::sheet_closed;
    }
  }

  xls_converter& run_;
  udb_database& base_;
  udb_recordset& rows_;
  const std::wstring& sheet_;
  const udb_schema& schema_;
  error_handler& handler_;

  std::unique_ptr<udb_recordset> table_;
  std::wstring name_;
  std::uint64_t count_ = 0;
  const xls_engine* format_ = nullptr;
  bool xlsx_ = false;
  std::uint64_t row_cap_ = 0;
  // The numbered workbook the sheet is in (0: the run's own) and its rows there.
  std::uint32_t part_ = 0;
  std::uint64_t in_sheet_ = 0;
  udb_record out_;
  std::wstring text_;  // reused by every text cell
};

void xls_converter::convert_table(udb_database* base, udb_recordset* rows,
                                  const std::wstring& sheet, const udb_schema& schema)
{
  tk_log_message(2, L"xls_converter::convert_table(%s)", sheet);
  if (base == nullptr)
    throw tk_mail_assertion("xls_conv", 334);
  table_copy copy(*this, *base, *rows, sheet, schema);
  copy.open_sheet();
  copy.announce();
  copy.stream_rows();
  copy.finish();
}

// ---------------------------------------------------------------------------
// Settings

namespace {

// Empty: unchanged; "1": set; anything else: clear.
void read_flag(const std::wstring& value, bool& flag)
{
  if (!value.empty())
    flag = value == L"1";
}

const wchar_t* flag_text(bool flag) { return flag ? L"1" : L"0"; }

} // namespace

bool xls_converter::load_excel_settings(const udb_profile& profile)
{
  tk_log_message(2, "xls_converter::load_excel_settings");
  const std::wstring format = profile.get_value(xls_settings_section, L"format version");
  if (!format.empty())
    format_version = format == L"1" ? 1u : format == L"2" ? 2u : 0u;
  read_flag(profile.get_value(xls_settings_section, L"split data"), split_data);
  bool wrap = wrap_text;
  read_flag(profile.get_value(xls_settings_section, L"wrap text"), wrap);
  set_wrap_text(wrap);
  read_flag(profile.get_value(xls_settings_section, L"convert dates to strings"), dates_to_strings);
  return true;
}

bool xls_converter::store_excel_settings(udb_profile& profile) const
{
  tk_log_message(2, "xls_converter::store_excel_settings");
  profile.set_value(xls_settings_section, L"format version", base::sprintf(L"%u", format_version));
  profile.set_value(xls_settings_section, L"split data", flag_text(split_data));
  profile.set_value(xls_settings_section, L"wrap text", flag_text(wrap_text));
  profile.set_value(xls_settings_section, L"convert dates to strings", flag_text(dates_to_strings));
  return true;
}

// ---------------------------------------------------------------------------
// Restyling the written .xls files

std::wstring xls_converter::numbered_path(const std::wstring& workbook, int k)
{
  tk_file_wname parts(workbook);
  parts.name = base::sprintf(L"%s(%d)", parts.name, k);
  return parts.get_full_path();
}

void xls_converter::do_patch(const std::wstring& workbook, std::uint32_t files)
{
  tk_log_message(2, "xls_converter::do_patch");
  if (table_count.load() == 0 || format_version >= xls_format_excel_2010)
    return;
  // A file that cannot be restyled stays as the driver wrote it; the run does
  // not fail for it, but the log says why.
  xls_engine& engine = *engines_[format_version];
  const auto restyle = [&engine](const std::wstring& path) {
    std::string error;
    if (engine.patch(path, &error))
      return;
    std::wstring reason;
    plat::utf8_to_wide_lenient(error, reason);
    tk_log_message(3, L"The format of '%s' is not changed: %s", path, reason);
  };
  restyle(workbook);
  if (!split_data)
    return;
  for (std::uint32_t k = 1; k < files; ++k)
    restyle(numbered_path(workbook, static_cast<int>(k)));
}

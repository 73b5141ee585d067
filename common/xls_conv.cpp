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
#include "dao/xls_tn_validator.h"
#include "platform/format.h"
#include "platform/oleaut/bstr.h"
#include "platform/text_codec.h"
#include "xlsx/xlsx_db.h"

#include <algorithm>
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

private:
  void take_column(const udb_field& from, std::uint32_t size)
  {
    name_ = from.get_name();
    size_ = size;
    not_null_ = from.is_not_null();
    auto_increment_ = from.is_auto_increment();
  }
};

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
  return stop_requested() || run_stop::requested();
}

void xls_converter::on_stop_requested()
{
  run_stop::request();
}

void xls_converter::release_run()
{
  run_base_.reset();
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

  if (format_version == xls_format_excel_2010) {
    column_limit = 16384;
    do_convert_xlsx(source_db);
    return;
  }

  // The engine reopens the workbook for every entry and appends to what it
  // finds: it works on a new workbook in a staging folder, never on the old
  // destination, which the last step replaces.
  staged_destination staged(destination);
  // The workbook is closed before its staging folder goes, whichever way the run ends.
  struct base_closer {
    std::unique_ptr<udb_database>& base;
    ~base_closer() { base.reset(); }
  } const closer{run_base_};
  run_workbook_ = staged.path();
  split_files_ = 0;
  xls_tn_validator validator(selected_tables, source_db->get_table_names());
  for (std::size_t i = 0; i < selected_queries.size(); ++i) {
    const name_text entry = selected_queries[i];
    begin_entry(entry.first);
    tk_log_message(2, L"Processing '%s'", entry.first);
    run_base_ = get_xls_base(run_workbook_);
    convert_entry(*source_db, *run_base_, entry, validator);
    // A workbook that cannot be written is this entry's failure, not a record's.
    error_handler::instance().set_context(entry.first);
    close_workbook(run_base_);
    tables_done.fetch_add(1);
  }
  error_handler::instance().set_context(L"");
  if (stopping())
    throw tk_final_exception();
  // The restyling works on the staged files: exactly the ones this run wrote.
  // Nothing to write (no entry made a sheet): the old files stay.
  do_patch(run_workbook_, split_files_ + 1);
  if (staged.commit())
    clean_if_exists();
  finished.store(true, std::memory_order_release);
}

void xls_converter::clean_if_exists()
{
  tk_log_message(1, "xls_converter::clean_if_exists");
  if (!split_data)
    return;
  for (std::uint32_t k = split_files_ + 1;; ++k) {
    const std::wstring sibling = numbered_path(destination, static_cast<int>(k));
    if (!tk_is_file_exist2(sibling, tk_exist_not_folder))
      break;
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

  const bool kept = validator.is_acceptable(name);
  const std::wstring sheet = kept ? name : validator.get_safe_name(name);
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

    const std::wstring line = plat::sprintf(L"Table '%s' (%llu records) is converted\r\n", name,
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
    handler.set_context(name);
    // A lost connection or a workbook that cannot be written ends the run: the
    // entries after this one could only fail with texts of their own.
    if (e.get_level() != tk_level_recoverable)
      throw;
    handler.handle(e, false);
  }

  if (!kept) {
    tk_log_message(2, L"Store generated table name '%s'", sheet);
    validator.add_existing_name(sheet);
  }
  validator.add_restricted_name(sheet);
  record_count.store(0);
  records_done.store(0);
}

// ---------------------------------------------------------------------------
// The table copy

void xls_converter::convert_table(udb_database* base, udb_recordset* rows,
                                  const std::wstring& sheet, const udb_schema& schema)
{
  tk_log_message(2, L"xls_converter::convert_table(%s)", sheet);
  if (base == nullptr)
    throw tk_mail_assertion("xls_conv", 334);
  // The numbered workbook that takes the rows past the sheet's limit; declared
  // before the sheet so that the sheet goes first.
  std::unique_ptr<udb_database> continuation;
  std::unique_ptr<udb_recordset> table = base->create_table(sheet, schema, udb_indexes());
  std::uint32_t part = 0;
  std::uint64_t in_sheet = 0;

  const std::wstring name = get_current_name();
  const std::uint64_t count = rows->get_record_count();
  record_count.store(count);
  if (count != 0)
    tk_log_message(3, L"Converting table %s (%llu records)", name,
                   static_cast<unsigned long long>(count));
  else
    tk_log_message(3, L"Converting table %s", name);
  front_end_->entry_started(name, count);

  const xls_engine& format = get_format();
  const std::uint64_t row_cap = data_row_limit();
  error_handler& handler = error_handler::instance();
  udb_record out;
  std::wstring text;

  rows->reset();
  while (!rows->is_eof()) {
    if (stopping())
      throw tk_final_exception();
    const std::uint64_t done = records_done.load();
    tk_log_message(1, "Converting %llu record", static_cast<unsigned long long>(done));
    const udb_record* record = rows->get_item();
    if (record == nullptr)
      break;
    if (in_sheet >= row_cap && splits_rows()) {
      // The next numbered workbook gets a sheet of the same name, header first.
      table.reset();
      handler.set_context(name);
      close_workbook(continuation);
      ++part;
      continuation = get_xls_base(numbered_path(run_workbook_, static_cast<int>(part)));
      split_files_ = std::max(split_files_, part);
      table = continuation->create_table(sheet, schema, udb_indexes());
      in_sheet = 0;
    }
    if (in_sheet >= row_cap) {
      const tk_exception full(
          plat::sprintf("The worksheet is full: only the first %llu of %llu records were written "
                        "(%s holds at most %llu data rows per worksheet)",
                        static_cast<unsigned long long>(done), static_cast<unsigned long long>(count),
                        plat::to_utf8(format.name), static_cast<unsigned long long>(row_cap)),
          tk_level_recoverable);
      handler.set_context(name);
      handler.handle(full, false);
      break;
    }

    const std::size_t m = std::min<std::size_t>(record->size(), column_limit);
    if (out.size() != m) {
      out.reset();
      out.reserve(m);
      for (std::size_t i = 0; i < m; ++i)
        out.emplace_back<copied_field>();
    }
    for (std::size_t i = 0; i < m; ++i) {
      const udb_field& from = *(*record)[i];
      auto& to = static_cast<copied_field&>(*out[i]);
      const VARIANT& value = from.get_variant();
      const VARTYPE type = from.get_type();
      if (value.vt == VT_EMPTY || value.vt == VT_NULL) {
        to.take(from);
      } else if (type == VT_BSTR && value.vt == VT_BSTR) {
        text.assign(value.bstrVal, SysStringLen(value.bstrVal));
        fold_line_ends(text);
        text.resize(plat::utf16_prefix(text, format.max_text_units));
        to.take_text(from, text);
      } else if (is_byte_array(type)) {
        to.take_text(from, L"<Binary Field>");
      } else {
        to.take(from);
      }
    }

    bool written = true;
    try {
      table->append_record(out, static_cast<std::uint32_t>(m));
    } catch (const dao_exception& e) {
      // One refused record; the rest of the table still goes in.
      written = false;
      handler.set_context(name, static_cast<std::uint32_t>(done + 1));
      handler.handle(e, false);
    } catch (const tk_exception& e) {
      if (e.get_level() != tk_level_recoverable) {
        tk_log_message(2, "Right before dtors");
        tk_log_message(2, "Right after dtors");
        throw;
      }
      // The destination takes no more records of this table: say so once and
      // close the sheet with what it has.
      handler.set_context(name, static_cast<std::uint32_t>(done + 1));
      handler.handle(e, false);
      break;
    }
    records_done.fetch_add(1);
    if (written)
      ++in_sheet;
    rows->next();
  }

  tk_log_message(2, "xls_converter::save_table(active_idx=%d)", format_version);
  if (format_version == xls_format_excel_2010) {
    if (auto* book = dynamic_cast<xlsx_database*>(base))
      book->save_table(table.get(), 0);
  }
  table.reset();
  if (continuation) {
    handler.set_context(name);
    close_workbook(continuation);
  }
  tk_log_message(1, "xls_converter::convert_table - END");
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
  profile.set_value(xls_settings_section, L"format version", plat::sprintf(L"%u", format_version));
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
  parts.name = plat::sprintf(L"%s(%d)", parts.name, k);
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

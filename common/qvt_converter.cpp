// The run of a conversion and the converter's settings. The run owns its source
// and destination through the converter, so that whichever way it ends (normally,
// stopped, or by a report that ends the program) they are closed first.
#include "common/qvt_converter.h"

#include "TK/tk_exception.h"
#include "TK/tk_files.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "TK/tk_string.h"
#include "UDB/udb_db.h"
#include "common/err_handler.h"
#include "common/run_stop.h"
#include "platform/text_codec.h"

#include <algorithm>

namespace {

constexpr const char* registry_key = "Software\\Norvale\\Tabloom";

// A SELECT text on one line: CR LF, then LF, then CR each become one blank.
std::wstring one_line(std::wstring text)
{
  tk_wstring line(text);
  line.replace_all(L"\r\n", L" ");
  line.replace_all(L"\n", L" ");
  line.replace_all(L"\r", L" ");
  return line;
}

} // namespace

qorvant_converter::qorvant_converter(qvt_program program_)
    : xls_converter(program_), tk_serializer(registry_key)
{
  tk_log_message(2, "qorvant_converter::ctor");
  if (program == qvt_program::gui) {
    serialize(false);
  } else {
    format_version = xls_format_not_given;
    blob_to_text = false;
    set_wrap_text(false);
    dates_to_strings = false;
    split_data = false;
  }
}

qorvant_converter::~qorvant_converter()
{
  tk_log_message(2, "qorvant_converter::dtor");
  if (program == qvt_program::gui)
    serialize(true);
}

bool qorvant_converter::test_query(const std::wstring& sql)
{
  return mysql_converter_impl::test_query(source, sql);
}

// ---------------------------------------------------------------------------
// The run

void qorvant_converter::operator()()
{
  tk_log_message(2, "qorvant_converter::operator()");
  reached_end = false;
  const bool console = program == qvt_program::console;
  init_conversion scope(finished, console);
  // A stop breaks a blocking read of the source by shutting its socket down;
  // the stop is lifted once the run is over, after the socket is let go. A run
  // that put its files in place keeps refusing stops until the next one starts.
  struct stop_watch {
    explicit stop_watch(int fd)
    {
      run_stop::run_starts();
      run_stop::watch_socket(fd);
    }
    ~stop_watch()
    {
      run_stop::watch_socket(-1);
      run_stop::run_ends();
    }
  } const watch(engine.get_socket());

  try {
    error_handler& handler = error_handler::instance();
    // A report of this run never carries the name of an earlier one's table.
    handler.set_context(L"");

    engine.set_blob_to_text(blob_to_text);
    engine.set_text_limit(get_format().max_text_units);
    run_source_ = engine.open_db(source, 1, L"");
    if (console && selected_tables.empty() && selected_queries.empty())
      selected_tables = run_source_->get_table_names();

    // The tables of a loaded profile wait in selected_queries; they count too.
    const auto queued_tables = std::count_if(selected_queries.begin(), selected_queries.end(),
                                             [](const name_text& e) { return e.second.empty(); });
    table_count.store(static_cast<std::int32_t>(selected_tables.size()) +
                      static_cast<std::int32_t>(queued_tables));
    entry_count.store(static_cast<std::int32_t>(selected_tables.size() + selected_queries.size()));
    tk_log_message(3, L"Converting database %s (%d tables)", source, table_count.load());
    front_end_->run_started(source, table_count.load());

    destination = tk_file_wname(destination).get_full_path();
    do_convert(run_source_.get());

    handler.set_context(L"");
    run_source_.reset();
    reached_end = true;
  } catch (const tk_final_exception&) {
    release_run();
  } catch (const tk_exception& e) {
    release_run();
    // A stop surfaces as a lost connection or a stopped zip: no error of the run.
    try {
      if (!stopping())
        error_handler::instance().handle(e, true);
    } catch (const qvt_process_exit&) {
      front_end_->run_finished(false);
      throw;
    } catch (const std::exception&) {
      // The report ended the run; it is over already.
    }
  } catch (const std::exception& e) {
    release_run();
    tk_log_message(3, "ERROR:\n%s", e.what());
    front_end_->run_failed(e.what());
  } catch (...) {
    // A report that ends the program: it unwinds to the top of the thread.
    release_run();
    front_end_->run_finished(false);
    throw;
  }
  front_end_->run_finished(reached_end);
}

// ---------------------------------------------------------------------------
// Registry

bool qorvant_converter::serialize(bool store)
{
  tk_log_message(1, "serialize( %d )", store);
  tk_reg_key& key = get_reg_key();
  if (key.create(plat::HKEY_CURRENT_USER, get_key_path().c_str()) != 0)
    return false;

  bool ok = true;
  const auto flag = [&](const char* name, bool& value, bool fallback) {
    if (!store)
      value = fallback;
    ok = tk_serializer::serialize(name, value, store) && ok;
  };
  const auto text = [&](const char* name, std::string& value) {
    ok = tk_serializer::serialize(name, value, store) && ok;
  };
  const auto wide_text = [&](const wchar_t* name, std::wstring& value) {
    ok = tk_serializer::serialize(name, value, store) && ok;
  };

  flag("blob2text", blob_to_text, false);
  flag("dates to strings", dates_to_strings, false);
  wide_text(L"dest", destination);
  DWORD engine_number = store ? format_version : xls_format_excel_2010;
  ok = tk_serializer::serialize("engine", engine_number, store) && ok;
  // A number no format has would index past the descriptors: take the newest.
  if (!store)
    format_version = engine_number < xls_format_count ? engine_number : xls_format_excel_2010;
  text("host", host);
  flag("open on exit", open_on_exit, true);
  if (!store)
    port = "3306";
  text("port", port);
  text("pswd", password);
  flag("split", split_data, false);
  // Empty until a profile is first loaded or saved: no value is no failure.
  tk_serializer::serialize(L"profile folder", profile_folder, store);
  wide_text(L"src", source);
  text("user", user);
  bool wrap = wrap_text;
  flag("wrap text", wrap, true);
  if (!store)
    set_wrap_text(wrap);

  return key.close() == 0 && ok;
}

// ---------------------------------------------------------------------------
// Profiles

bool qorvant_converter::load_profile(const std::wstring& path)
{
  tk_log_message(2, L"qorvant_converter::load_profile(%s)", path);
  udb_profile profile;
  if (!profile.load(path))
    return false;
  return load_profile(profile);
}

bool qorvant_converter::load_profile(udb_profile& profile)
{
  for (auto entry = selected_queries.begin(); entry != selected_queries.end();) {
    if (entry->second.empty()) {
      ++entry;
      continue;
    }
    profile.set_value(udb_selected_tables_section, entry->first, one_line(entry->second));
    entry = selected_queries.erase(entry);
  }
  if (!udb_converter::load_profile(profile))
    return false;
  load_excel_settings(profile);
  mysql_converter_impl::load_profile(profile);
  const std::wstring blob = profile.get_value(xls_settings_section, L"BLOB to text");
  if (!blob.empty())
    blob_to_text = blob == L"1";
  return true;
}

bool qorvant_converter::store_profile(const std::wstring& path)
{
  tk_log_message(2, L"qorvant_converter::store_profile(%s)", path);
  udb_profile profile;
  if (!udb_converter::store_profile(profile))
    return false;
  for (auto& entry : profile.get_selected_tables())
    entry.second = one_line(entry.second);
  if (!store_excel_settings(profile) || !mysql_converter_impl::store_profile(profile))
    return false;
  profile.set_value(xls_settings_section, L"BLOB to text", blob_to_text ? L"1" : L"0");
  return profile.store(path);
}

// ---------------------------------------------------------------------------
// Source and destination

void qorvant_converter::get_all_tables(std::vector<std::wstring>& names)
{
  tk_log_message(1, "qorvant_converter::get_all_tables");
  names.clear();
  const std::unique_ptr<udb_database> opened =
      engine.open_db(source, udb_mode_read_only | 0x20 | udb_mode_no_views, L"");
  names = opened->get_table_names();
}

void qorvant_converter::check_dest()
{
  tk_log_message(1, L"check_dest(%s)", destination);
  // An existing file stays: the run replaces it only with a complete workbook.
  common_check_dest(destination);
}

void common_check_dest(const std::wstring& path)
{
  tk_log_message(1, L"common_check_dest(%s)", path);
  // "out/" becomes "out/.xlsx" once the extension is set: a folder, not a file.
  if (tk_is_path_exist(path) || (!path.empty() && tk_file_wname(path).name.empty()))
    throw tk_exception("Destination name should specify a file, not folder.", tk_level_error);
  if (tk_is_file_exist2(path, tk_exist_not_folder) && !tk_is_file_exist2(path, tk_exist_writable))
    throw tk_exception("Destination name specifies an existing read-only file.", tk_level_error);
  const std::wstring folder = tk_file_wname(path).get_folder();
  if (!tk_is_path_exist(folder))
    throw tk_exception("Destination path does not exist.\nPlease verify the correct path was given.",
                       tk_level_error);
  if (!tk_check_access(folder.c_str(), GENERIC_WRITE))
    throw tk_exception("Cannot create or write into the destination file.\n"
                       "Run the program as Administrator or change folder.",
                       tk_level_error);
}

// Moving the generic settings between a converter and a profile. Loading appends
// to the lists and changes a setting only when the profile gives it a value, so a
// profile that lacks a key leaves the converter's own value in place.
#include "UDB/udb_converter.h"

#include "TK/tk_codepage.h"
#include "TK/tk_log.h"

namespace {

// "0" clears the flag, any other value sets it, no value leaves it.
void read_flag(const std::wstring& value, bool& flag)
{
  if (!value.empty())
    flag = value != L"0";
}

} // namespace

bool udb_converter::load_profile(const udb_profile& profile)
{
  tk_log_message(2, L"udb_converter::load_profile");
  for (const auto& [name, text] : profile.get_selected_tables()) {
    if (!text.empty()) {
      tk_log_message(1, L"Loading query '%s'", name);
      selected_queries.emplace_back(name, text);
    } else {
      tk_log_message(1, L"Loading table '%s'", name);
      selected_queries.emplace_back(name, std::wstring());
    }
  }
  for (const auto& query : profile.get_available_queries())
    available_queries.push_back(query);
  for (const auto& view : profile.get_selected_views())
    selected_views.push_back(view);

  const std::wstring src = profile.get_value(udb_generic_settings_section, L"src");
  if (!src.empty()) {
    tk_log_message(1, L"source='%s'", src);
    source = src;
  }
  const std::wstring dest = profile.get_value(udb_generic_settings_section, L"dest");
  if (!dest.empty()) {
    tk_log_message(1, L"dest='%s'", dest);
    destination = dest;
  }
  const std::wstring logfile = profile.get_value(udb_generic_settings_section, L"logfile");
  if (!logfile.empty()) {
    const std::string narrow = tk_wstring_to_ansi(logfile);
    tk_log_message(1, "Logfile=%s", narrow);
    set_logfile(narrow);
  }
  read_flag(profile.get_value(udb_generic_settings_section, L"only definitions"), only_definitions);
  const std::wstring mode_text = profile.get_value(udb_generic_settings_section, L"mode");
  if (mode_text.size() == 1)
    mode = static_cast<std::uint32_t>(mode_text[0]) - static_cast<std::uint32_t>(L'0');
  read_flag(profile.get_value(udb_generic_settings_section, L"skip indexes"), skip_indexes);
  return true;
}

bool udb_converter::store_profile(udb_profile& profile) const
{
  tk_log_message(2, L"udb_converter::store_profile");
  for (const auto& [name, text] : available_queries) {
    tk_log_message(1, L"Available Query: (%s,%s)", name, text);
    profile.set_value(udb_available_queries_section, name, text);
  }
  for (const auto& [name, text] : selected_queries) {
    tk_log_message(1, L"Selected Query: (%s,%s)", name, text);
    profile.set_value(udb_selected_tables_section, name, text);
  }
  for (const auto& [name, text] : selected_views) {
    tk_log_message(1, L"Selected View: (%s,%s)", name, text);
    profile.set_value(udb_selected_views_section, name, text);
  }
  profile.set_value(udb_generic_settings_section, L"src", source);
  profile.set_value(udb_generic_settings_section, L"dest", destination);
  // A log path with no wide form is left out rather than failing the whole store.
  profile.set_value(udb_generic_settings_section, L"logfile",
                    tk_try_ansi_to_wstring(log_file).value_or(std::wstring()));
  profile.set_value(udb_generic_settings_section, L"skip indexes", skip_indexes ? L"1" : L"0");
  profile.set_value(udb_generic_settings_section, L"only definitions", only_definitions ? L"1" : L"0");
  profile.set_value(udb_generic_settings_section, L"mode",
                    std::wstring(1, static_cast<wchar_t>(static_cast<std::uint32_t>(L'0') + mode)));
  return true;
}

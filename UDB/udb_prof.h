// A settings profile: a UTF-8 text file of "[section]" headers and "key=value"
// lines, and the same in memory as named sections of ordered (key, value) pairs.
// Whatever store writes, load reads back to the same sections and pairs: every
// key and value is written on one line, and lines up to 1 MiB are read whole.
#pragma once

#include "platform/text_codec.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

class udb_profile {
public:
  using entry = std::pair<std::wstring, std::wstring>;
  using entries = std::vector<entry>;

  // Section names sort by their UTF-16 code units, case-sensitively.
  using utf16_less = plat::utf16_less;

  // Holds the four sections of the generic settings, empty.
  udb_profile();

  // Adds the file's sections and entries to this profile. A file that is missing,
  // cannot be read, or is no UTF-8 text (a NUL byte, an invalid sequence, a line
  // over 1 MiB) raises a level-1 tk_exception naming the file; false when the text
  // is not a profile (an entry before the first header), keeping what was read up
  // to there.
  bool load(const std::wstring& path);
  // Writes the profile, CR LF line ends, no byte-order mark; a new file is
  // readable by its owner only, since a profile may hold a password. False when
  // the file cannot be written.
  bool store(const std::wstring& path) const;

  // Appends the pair, also when the key is already there.
  void set_value(const std::wstring& section, const std::wstring& key, const std::wstring& value);
  void add_section(const std::wstring& section);
  // The value of the first pair with exactly this key; empty when none.
  std::wstring get_value(const std::wstring& section, const std::wstring& key) const;

  // The entries of the three list sections; a missing one raises a level-1
  // tk_exception_ex.
  entries& get_available_queries();
  entries& get_selected_tables();
  entries& get_selected_views();
  const entries& get_available_queries() const;
  const entries& get_selected_tables() const;
  const entries& get_selected_views() const;

  const std::map<std::wstring, entries, utf16_less>& get_sections() const { return sections_; }
  // The lines without "=" that load met, by section (they are entries as well).
  const std::map<std::wstring, std::vector<std::wstring>, utf16_less>& get_raw_lines() const
  {
    return raw_lines_;
  }

private:
  const entries& section_entries(const std::wstring& section) const;

  std::map<std::wstring, entries, utf16_less> sections_;
  std::map<std::wstring, std::vector<std::wstring>, utf16_less> raw_lines_;
};

inline constexpr wchar_t udb_available_queries_section[] = L"Available Queries";
inline constexpr wchar_t udb_selected_tables_section[] = L"Selected Tables";
inline constexpr wchar_t udb_selected_views_section[] = L"Selected Views";
inline constexpr wchar_t udb_generic_settings_section[] = L"Generic settings";

// The profile file's reader and writer. Lines end in CR LF when written and in
// LF or CR LF when read, each at most 1 MiB; a key or value that holds line breaks is written with
// each break as one blank, so no stored text can split into false entries, and
// without the blanks that reading would trim, so it reads back as written.
#include "UDB/udb_prof.h"

#include "TK/tk_codepage.h"
#include "TK/tk_exception.h"
#include "TK/tk_files.h"
#include "TK/tk_log.h"
#include "TK/tk_string.h"
#include "platform/files.h"
#include "base/format.h"
#include "platform/line_reader.h"

#include <cerrno>
#include <fcntl.h>
#include <cstring>

namespace {

// Far beyond any setting or query a user writes, yet bounded: a file without
// line ends is refused at this point rather than read whole into memory.
constexpr std::size_t longest_line = std::size_t{1} << 20;

std::wstring one_line(const std::wstring& text)
{
  tk_wstring flat(text);
  flat.replace_all(L"\r\n", L" ");
  flat.replace_all(L"\n", L" ");
  flat.replace_all(L"\r", L" ");
  return flat;
}

// Whether a bare line holding only this (trimmed) name reads back as this name:
// it must read neither as an empty line, nor as a header, nor as key=value.
bool reads_back_bare(const std::wstring& name)
{
  if (name.empty() || name.find(L'=') != std::wstring::npos)
    return false;
  return !(name.size() >= 2 && name.front() == L'[' && name.back() == L']');
}

void append_line(std::string& out, const std::wstring& line)
{
  out += tk_wstring_to_utf8(line);
  out += "\r\n";
}

bool write_file(const std::string& path, const std::string& bytes)
{
  plat::unique_fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!fd.valid())
    return false;
  const bool written = plat::write_all(fd.get(), bytes);
  return fd.close() && written;
}

} // namespace

udb_profile::udb_profile()
{
  add_section(udb_available_queries_section);
  add_section(udb_selected_tables_section);
  add_section(udb_selected_views_section);
  add_section(udb_generic_settings_section);
}

bool udb_profile::load(const std::wstring& path)
{
  tk_log_message(2, L"udb_profile::load(%s)", path);
  if (!tk_is_file_exist2(path, tk_exist_not_folder))
    throw tk_exception("Profile does not exist. Please verify the correct path/name was given.", 1);
  std::string narrow_path;
  if (!tk_unicode_to_ansi3(path.c_str(), narrow_path))
    return false;
  const std::string named = "Profile '" + narrow_path + "'";
  plat::line_reader in(narrow_path);
  if (!in.is_open())
    throw tk_exception(named + " cannot be read: " + std::strerror(in.error()), tk_level_error);

  entries* current = nullptr;
  std::wstring current_name;
  std::string bytes;
  for (unsigned number = 1;; ++number) {
    const plat::line_reader::result got = in.next(bytes, longest_line);
    if (got == plat::line_reader::result::end)
      break;
    if (got == plat::line_reader::result::failed)
      throw tk_exception(named + " cannot be read: " + std::strerror(in.error()), tk_level_error);
    const auto refused = [&](const std::string& why) {
      return tk_exception(base::sprintf("%s, line %u: %s", named, number, why), tk_level_error);
    };
    if (got == plat::line_reader::result::too_long)
      throw refused(base::sprintf("the line is longer than %u bytes, the file is no profile",
                                  static_cast<unsigned>(longest_line)));
    // No text file holds a NUL byte, and every C string made of the value would
    // end there, losing the rest unseen.
    if (bytes.find('\0') != std::string::npos)
      throw refused("a NUL byte, the file is not text");
    if (number == 1 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
      bytes.erase(0, 3);
    std::wstring line;
    if (!plat::utf8_to_wide(bytes, line))
      throw refused(std::string("Cannot convert to UNICODE string: ") + std::strerror(EILSEQ));
    line = tk_trim(line);
    if (line.empty())
      continue;
    if (line.size() >= 2 && line.front() == L'[' && line.back() == L']') {
      current_name = line.substr(1, line.size() - 2);
      current = &sections_[current_name];
      continue;
    }
    if (current == nullptr)
      return false;
    const std::size_t equals = line.find(L'=');
    if (equals != std::wstring::npos) {
      current->emplace_back(tk_trim(line.substr(0, equals)), line.substr(equals + 1));
    } else {
      raw_lines_[current_name].push_back(line);
      current->emplace_back(line, std::wstring());
    }
  }
  return true;
}

// A line without "=" that load met is already among its section's entries, so
// it is written there once; writing the raw lines again would repeat them at
// every load and store.
bool udb_profile::store(const std::wstring& path) const
{
  tk_log_message(2, L"udb_profile::store)");
  std::string narrow_path;
  if (!tk_unicode_to_ansi3(path.c_str(), narrow_path))
    return false;

  std::string out;
  for (const auto& [name, section] : sections_) {
    append_line(out, L"[" + one_line(name) + L"]");
    const bool tables = name == udb_selected_tables_section;
    for (const auto& [key, value] : section) {
      // Load trims the line and the key, so blanks there cannot be carried;
      // dropping them here makes the file read back exactly as written.
      const std::wstring flat_key = tk_trim(one_line(key));
      const std::wstring flat_value = tk_rtrim(one_line(value));
      if (flat_key.find(L'=') != std::wstring::npos)
        tk_log_message(3, L"udb_profile::store - the name '%s' holds '=' and reads back as another entry",
                       flat_key);
      if (tables && flat_value.empty() && reads_back_bare(flat_key))
        append_line(out, flat_key);
      else
        append_line(out, flat_key + L"=" + flat_value);
    }
    out += "\r\n";
  }
  return write_file(narrow_path, out);
}

void udb_profile::set_value(const std::wstring& section, const std::wstring& key, const std::wstring& value)
{
  sections_[section].emplace_back(key, value);
}

void udb_profile::add_section(const std::wstring& section) { sections_.try_emplace(section); }

std::wstring udb_profile::get_value(const std::wstring& section, const std::wstring& key) const
{
  const auto found = sections_.find(section);
  if (found == sections_.end())
    return {};
  for (const auto& [k, v] : found->second)
    if (k == key)
      return v;
  return {};
}

const udb_profile::entries& udb_profile::section_entries(const std::wstring& section) const
{
  const auto found = sections_.find(section);
  if (found == sections_.end())
    throw tk_exception_ex("Missing profile section: ", 1);
  return found->second;
}

udb_profile::entries& udb_profile::get_available_queries()
{
  return const_cast<entries&>(std::as_const(*this).get_available_queries());
}
udb_profile::entries& udb_profile::get_selected_tables()
{
  return const_cast<entries&>(std::as_const(*this).get_selected_tables());
}
udb_profile::entries& udb_profile::get_selected_views()
{
  return const_cast<entries&>(std::as_const(*this).get_selected_views());
}
const udb_profile::entries& udb_profile::get_available_queries() const
{
  return section_entries(udb_available_queries_section);
}
const udb_profile::entries& udb_profile::get_selected_tables() const
{
  return section_entries(udb_selected_tables_section);
}
const udb_profile::entries& udb_profile::get_selected_views() const
{
  return section_entries(udb_selected_views_section);
}

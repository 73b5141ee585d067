// The foreign-key parser over CREATE TABLE texts. Keywords are found ignoring case,
// each after the one before it; every search stays inside its line.
#include "SQL/sql_sch.h"

#include "TK/tk_log.h"
#include "TK/tk_string.h"
#include "platform/text_codec.h"

#include <cstddef>

namespace {

char upper(char c)
{
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::size_t find_no_case(const std::string& text, const char* keyword, std::size_t start)
{
  const std::string word = keyword;
  for (std::size_t pos = start; pos + word.size() <= text.size(); ++pos) {
    std::size_t i = 0;
    while (i < word.size() && upper(text[pos + i]) == upper(word[i]))
      ++i;
    if (i == word.size())
      return pos;
  }
  return std::string::npos;
}

std::wstring to_wide(const std::string& text)
{
  std::wstring wide;
  if (!plat::utf8_to_wide(text, wide)) {
    tk_log_message(2, "Not a UTF-8 text: %s", text);
    wide.clear();
  }
  return wide;
}

void skip_spaces(const std::string& text, std::size_t& pos)
{
  while (pos < text.size() && text[pos] == ' ')
    ++pos;
}

// One name at `pos`: a backquoted name (a doubled backquote stands for one), or a
// bare one up to a blank, "(", "." or backquote.
std::string read_identifier(const std::string& text, std::size_t& pos)
{
  std::string name;
  if (pos < text.size() && text[pos] == '`') {
    for (++pos; pos < text.size(); ++pos) {
      if (text[pos] == '`') {
        if (pos + 1 < text.size() && text[pos + 1] == '`') {
          name += '`';
          ++pos;
          continue;
        }
        ++pos;
        break;
      }
      name += text[pos];
    }
    return name;
  }
  while (pos < text.size() && text[pos] != ' ' && text[pos] != '(' && text[pos] != '.' &&
         text[pos] != '`')
    name += text[pos++];
  return name;
}

// The ")" that closes a column list, backquoted names skipped.
std::size_t find_list_end(const std::string& text, std::size_t pos)
{
  bool quoted = false;
  for (; pos < text.size(); ++pos) {
    if (text[pos] == '`')
      quoted = !quoted;
    else if (text[pos] == ')' && !quoted)
      return pos;
  }
  return std::string::npos;
}

} // namespace

sql_fk_parser::sql_fk_parser(const std::wstring& table_name, const std::string& statement)
    : table_name_(table_name), lines_(tk_split(statement, '\n'))
{
  tk_log_message(2, "sql_fk_parser::ctor(%s)", statement);
}

void sql_fk_parser::trim(std::string& text)
{
  text = tk_trim(text);
}

bool sql_fk_parser::get_columns(const std::wstring& text, std::vector<std::wstring>& names)
{
  tk_log_message(1, "sql_fk_parser::get_columns");
  bool open = false;
  std::wstring name;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (!open) {
      if (c == L'`') {
        open = true;
        name.clear();
      }
      continue;
    }
    if (c != L'`') {
      name += c;
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == L'`') {
      name += L'`';
      ++i;
      continue;
    }
    tk_log_message(1, L"GOT FK COLUMN: %s", name);
    names.push_back(name);
    open = false;
  }
  return true;
}

void sql_fk_parser::do_parse(udb_relationships& list)
{
  tk_log_message(2, "sql_fk_parser::do_parse");
  tk_log_message(1, "Got %d chunks", lines_.size());
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    tk_log_message(1, "Processing FK chunk #%d", i);
    const std::string line = tk_trim(lines_[i]);

    const std::size_t constraint = find_no_case(line, "CONSTRAINT ", 0);
    if (constraint == std::string::npos) {
      tk_log_message(1, "CONSTRAINT is not found");
      continue;
    }
    tk_log_message(1, "CONSTRAINT is found at position %d", constraint);
    // From the blank that ends CONSTRAINT: a constraint may have no name.
    const std::size_t foreign_key = find_no_case(line, " FOREIGN KEY", constraint + 10);
    if (foreign_key == std::string::npos) {
      tk_log_message(1, "FOREIGN KEY is not found");
      continue;
    }
    tk_log_message(1, "FOREIGN KEY is found at position %d", foreign_key);

    std::string name = foreign_key > constraint + 11
                           ? line.substr(constraint + 11, foreign_key - constraint - 11)
                           : std::string();
    trim(name);
    if (!name.empty() && name[0] == '`') {
      std::size_t pos = 0;
      name = read_identifier(name, pos);
    } else {
      tk_string unquoted(name);
      name = unquoted.replace_all("`", " ");
      trim(name);
    }
    tk_log_message(1, "Got FK name: %s", name);

    const std::size_t references = find_no_case(line, "REFERENCES ", foreign_key + 12);
    if (references == std::string::npos) {
      tk_log_message(1, "REFERENCES is not found");
      continue;
    }
    std::string fk_columns = line.substr(foreign_key + 12, references - foreign_key - 12);
    trim(fk_columns);
    tk_log_message(1, "Got FK columns: %s", fk_columns);

    std::size_t pos = references + 11;
    skip_spaces(line, pos);
    std::string pk_table = read_identifier(line, pos);
    skip_spaces(line, pos);
    // A table of another database is written `db`.`table`.
    if (pos < line.size() && line[pos] == '.') {
      ++pos;
      skip_spaces(line, pos);
      pk_table = read_identifier(line, pos);
    }
    trim(pk_table);
    tk_log_message(1, "Got PK table: %s", pk_table);

    const std::size_t open = line.find('(', pos);
    if (open == std::string::npos)
      continue;
    const std::size_t close = find_list_end(line, open + 1);
    if (close == std::string::npos)
      continue;
    std::string pk_columns = line.substr(open + 1, close - open - 1);
    trim(pk_columns);
    tk_log_message(1, "Got PK columns: %s", pk_columns);
    tk_log_message(1, "fk_info[length()-1]='%c'", line.back());

    std::string rule = line.substr(close + 1);
    if (!rule.empty() && rule.back() == ',')
      rule.pop_back();
    trim(rule);
    tk_log_message(1, "Got FK rule: %s", rule);

    std::vector<std::wstring> fk_names;
    std::vector<std::wstring> pk_names;
    get_columns(to_wide(fk_columns), fk_names);
    get_columns(to_wide(pk_columns), pk_names);
    list.emplace_back(to_wide(name), std::wstring(), table_name_, to_wide(pk_table), fk_names,
                      pk_names, to_wide(rule));
  }
}

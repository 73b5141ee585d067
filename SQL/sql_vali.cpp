// The MySQL name rules. Each family's get_safe_name prepares the wanted name so
// that the base's cutting and counting can always end in a name its is_acceptable
// takes: the counter of the base is never the way out of a hopeless name.
#include "SQL/sql_vali.h"

#include "TK/tk_log.h"
#include "TK/tk_string.h"
#include "UDB/udb_field.h"
#include "UDB/udb_index.h"
#include "UDB/udb_schema.h"
#include "platform/char_class.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <iterator>

namespace {

// The names that servers before 4.1.0 refuse even between backquotes.
constexpr const wchar_t* old_reserved_words[] = {
    L"add", L"all", L"alter", L"and", L"as", L"asc", L"between", L"bigint", L"binary", L"blob",
    L"both", L"by", L"cascade", L"case", L"char", L"character", L"change", L"column", L"columns",
    L"constraint", L"create", L"cross", L"current_date", L"current_time", L"current_timestamp",
    L"database", L"databases", L"day_hour", L"day_minute", L"day_second", L"dec", L"decimal",
    L"default", L"delayed", L"delete", L"desc", L"describe", L"distinct", L"distinctrow",
    L"double", L"drop", L"else", L"escaped", L"enclosed", L"explain", L"exists", L"fields",
    L"float", L"float4", L"float8", L"foreign", L"from", L"for", L"grant", L"group", L"having",
    L"high_priority", L"hour_minute", L"hour_second", L"ignore", L"in", L"index", L"infile",
    L"inner", L"insert", L"insert_id", L"int", L"int1", L"int2", L"int3", L"int4", L"int8",
    L"integer", L"interval", L"into", L"if", L"is", L"join", L"key", L"keys", L"kill",
    L"last_insert_id", L"leading", L"left", L"like", L"lines", L"limit", L"load", L"lock",
    L"long", L"longblob", L"longtext", L"low_priority", L"match", L"mediumblob", L"mediumtext",
    L"mediumint", L"middleint", L"minute_second", L"natural", L"numeric", L"not", L"null", L"on",
    L"optimize", L"option", L"optionally", L"or", L"order", L"outer", L"outfile", L"partial",
    L"precision", L"primary", L"procedure", L"privileges", L"read", L"real", L"regexp",
    L"rename", L"replace", L"restrict", L"returns", L"revoke", L"rlike", L"select", L"set",
    L"show", L"smallint", L"soname", L"sql_big_tables", L"sql_big_selects",
    L"sql_low_priority_updates", L"sql_log_off", L"sql_log_update", L"sql_select_limit",
    L"sql_small_result", L"sql_big_result", L"sql_warnings", L"straight_join", L"starting",
    L"table", L"tables", L"terminated", L"then", L"tinyblob", L"tinytext", L"tinyint",
    L"trailing", L"to", L"usage", L"use", L"using", L"unique", L"unlock", L"unsigned", L"update",
    L"values", L"varchar", L"varying", L"varbinary", L"with", L"write", L"when", L"where",
    L"year_month", L"zerofill",
};
static_assert(std::size(old_reserved_words) == 167);

// Field and index names refuse the first eight; table and view names, which the
// server also keeps as file names, refuse all of them.
constexpr wchar_t new_illegal_chars[] = {L'`', L'"', L'\'', L'^', L'*', L'\\', L';',
                                         L'+', L'|', L':', L'<', L'>', L'?', L'/'};
constexpr std::size_t new_field_illegal_count = 8;

bool is_ascii_digit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool digits_only(const std::wstring& text)
{
  return std::all_of(text.begin(), text.end(), is_ascii_digit);
}

// Letters and digits of any script, whatever the process locale.
bool is_old_name_char(wchar_t c) { return IsCharAlphaNumericW(c) != 0 || c == L'_' || c == L'$'; }

// Names travel and are kept as utf8mb3: NUL, lone surrogates and characters
// beyond U+FFFF are refused by the server whatever the quoting.
bool is_storable_char(wchar_t c)
{
  const auto code = static_cast<std::uint32_t>(c);
  return code != 0 && (code < 0xD800 || code > 0xDFFF) && code <= 0xFFFF;
}

// The text cut to keep units when it is longer than limit units, as the base cuts.
std::wstring cut_when_over(const std::wstring& text, std::size_t limit, std::size_t keep)
{
  return plat::utf16_length(text) > limit ? plat::utf16_truncate(text, keep) : text;
}

} // namespace

bool sql_server_keeps_table_name(const std::wstring& name)
{
  const std::size_t length = plat::utf16_length(name);
  return length != 0 && length <= sql_max_name_length && name.back() != L' ' &&
         std::all_of(name.begin(), name.end(), is_storable_char);
}

// ---------------------------------------------------------------------------

sql_old_validator::sql_old_validator() : udb_validator(sql_max_name_length)
{
  tk_log_message(2, "sql_old_validator::ctor");
  for (const wchar_t* word : old_reserved_words)
    add_restricted_name(word);
}

bool sql_old_validator::is_acceptable(const std::wstring& name) const
{
  tk_log_message(2, L"sql_old_validator::is_acceptable(%s)", name);
  if (!udb_validator::is_acceptable(name))
    return false;
  for (const wchar_t c : name) {
    if (!is_old_name_char(c)) {
      tk_log_message(2, L"Name contains invalid symbol: '%c'", c);
      return false;
    }
  }
  if (digits_only(name)) {
    tk_log_message(2, "Name consists of digits only");
    return false;
  }
  return true;
}

std::wstring sql_old_validator::get_safe_name(const std::wstring& wanted) const
{
  tk_log_message(2, L"sql_old_validator::get_safe_name(%s)", wanted);
  std::wstring name = wanted;
  std::replace_if(name.begin(), name.end(), [](wchar_t c) { return !is_old_name_char(c); }, L'_');

  // The base keeps the first 63 characters of a longer name and its counter forms
  // the first 58 of those. When the part it keeps is digits only, or the counter
  // is bound to be needed and its part is digits only, every candidate would be
  // digits only and refused: "_" takes the place of the first digit, and an empty
  // name becomes "_" (or "_00000" and up when "_" is taken).
  const std::size_t limit = sql_max_name_length;
  const std::wstring kept = cut_when_over(name, limit, limit - 1);
  const std::wstring stem = cut_when_over(kept, limit - 5, limit - 6);
  if (digits_only(stem) && (digits_only(kept) || is_duplicated(kept))) {
    if (name.empty())
      name = L"_";
    else
      name[0] = L'_';
  }
  return udb_validator::get_safe_name(name);
}

sql_old_fn_validator::sql_old_fn_validator(const udb_record& record)
{
  tk_log_message(2, "sql_old_fn_validator::ctor");
  for (const auto& field : record)
    add_existing_name(field->get_name());
}

sql_old_fn_validator::sql_old_fn_validator(const udb_schema& schema)
{
  tk_log_message(2, "sql_old_fn_validator::ctor");
  for (const auto& column : schema)
    add_existing_name(column->name);
}

sql_old_in_validator::sql_old_in_validator(const udb_indexes& indexes)
{
  tk_log_message(2, "sql_old_in_validator::ctor");
  for (const udb_index& index : indexes)
    add_existing_name(index.name);
}

sql_old_tn_validator::sql_old_tn_validator(const std::vector<std::wstring>& first,
                                           const std::vector<std::wstring>& second)
{
  tk_log_message(2, "sql_old_tn_validator::ctor");
  for (const auto* names : {&first, &second})
    for (const std::wstring& name : *names)
      add_existing_name(name);
}

// ---------------------------------------------------------------------------

sql_new_validator::sql_new_validator(bool table_names) : udb_validator(sql_max_name_length)
{
  tk_log_message(2, "sql_new_validator::ctor");
  const std::size_t count = table_names ? std::size(new_illegal_chars) : new_field_illegal_count;
  for (std::size_t i = 0; i < count; ++i)
    add_illegal_char(new_illegal_chars[i]);
}

bool sql_new_validator::is_acceptable(const std::wstring& name) const
{
  tk_log_message(2, L"sql_new_validator::is_acceptable(%s)", name);
  const std::size_t length = plat::utf16_length(name);
  if (length == 0 || length > sql_max_name_length) {
    tk_log_message(1, "Invalid length");
    return false;
  }
  if (name.front() == L' ' || name.back() == L' ') {
    tk_log_message(1, "ID cannot starts or ends with ' '");
    return false;
  }
  const auto unstorable = std::find_if_not(name.begin(), name.end(), is_storable_char);
  if (unstorable != name.end()) {
    tk_log_message(2, "The name holds a character the server cannot store: U+%04X",
                   static_cast<unsigned>(*unstorable));
    return false;
  }
  return udb_validator::is_acceptable(name);
}

std::wstring sql_new_validator::get_safe_name(const std::wstring& wanted) const
{
  tk_log_message(2, L"sql_new_validator::get_safe_name(%s)", wanted);
  std::wstring name = tk_trim(wanted);
  std::replace_if(name.begin(), name.end(), [](wchar_t c) { return !is_storable_char(c); }, L'_');
  return udb_validator::get_safe_name(name);
}

sql_new_fn_validator::sql_new_fn_validator(const udb_record& record) : sql_new_validator(false)
{
  tk_log_message(2, "sql_new_fn_validator::ctor");
  tk_log_message(2, "Record size=%d", static_cast<int>(record.size()));
  for (std::size_t i = 0; i < record.size(); ++i) {
    tk_log_message(1, "Process record[%d]", static_cast<int>(i));
    add_existing_name(record[i]->get_name());
  }
}

sql_new_fn_validator::sql_new_fn_validator(const udb_schema& schema) : sql_new_validator(false)
{
  tk_log_message(2, "sql_new_fn_validator::ctor");
  tk_log_message(2, "Schema size=%d", static_cast<int>(schema.size()));
  for (std::size_t i = 0; i < schema.size(); ++i) {
    tk_log_message(1, "Process schema[%d]", static_cast<int>(i));
    add_existing_name(schema[i]->name);
  }
}

sql_new_in_validator::sql_new_in_validator(const udb_indexes& indexes) : sql_new_validator(false)
{
  tk_log_message(2, "sql_new_in_validator::ctor");
  // The server keeps PRIMARY, in any case, for the primary key: an ordinary index
  // of that name is refused.
  add_restricted_name(L"PRIMARY");
  for (const udb_index& index : indexes)
    add_existing_name(index.name);
}

sql_new_tn_validator::sql_new_tn_validator(const std::vector<std::wstring>& first,
                                           const std::vector<std::wstring>& second)
    : sql_new_validator(true)
{
  tk_log_message(2, "sql_new_tn_validator::ctor");
  for (const auto* names : {&first, &second})
    for (const std::wstring& name : *names)
      add_existing_name(name);
}

// The key filter of updates and deletes. A key text comes from outside the
// engine, so nothing of it reaches the condition unquoted but a number: tags are
// quoted as names, texts escaped by the one literal rule, and a value meant for
// a numeric or byte column that is no number stops the statement.
#include "SQL/write/sql_sync.h"

#include "OLE/ole_misc.h"
#include "SQL/sql_db.h"
#include "SQL/sql_engi.h"
#include "SQL/sql_util.h"
#include "SQL/write/sql_literals.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_string.h"
#include "UDB/udb_recs.h"
#include "base/format.h"
#include "platform/text_codec.h"

#include <memory>

namespace {

// Numbers and byte arrays: their key values are written bare or not at all.
bool is_number_type(VARTYPE type)
{
  return ole_is_numeric_vt(type) || sql_is_byte_array(type);
}

// The literal rule writes a plain number (and, for bytes, a hex literal) as it
// stands and quotes anything else: a value it would change is not a number.
bool is_bare_literal(const std::wstring& value, VARTYPE type)
{
  return !value.empty() && to_mysql_wstr(value, type) == value;
}

std::wstring decode_entities(const std::wstring& value)
{
  tk_wstring text(value);
  text.replace_all(L"&lt;", L"<");
  text.replace_all(L"&gt;", L">");
  text.replace_all(L"&amp;", L"&");
  return text;
}

} // namespace

sql_sync::sql_sync(sql_database* database) : database_(database)
{
  tk_log_message(2, "sql_sync::ctor");
}

std::wstring sql_sync::get_filter_subquery(const std::wstring& table, const std::wstring& key)
{
  tk_log_message(1, L"sql_sync::get_filter_subquery(%s,%s)", table, key);
  const std::unique_ptr<udb_recordset> columns = database_->get_table(table, 1);
  const udb_schema& schema = columns->get_schema();
  sql_engine& engine = database_->get_engine();

  std::wstring result;
  int open_count = 0;   // "<" of the current element: 1 in the opening tag and value, 2 at the closing tag
  int close_count = 0;  // 1 after the opening tag's ">", until the closing tag's
  std::wstring tag;
  std::wstring value;
  for (std::size_t pos = 0; pos < key.size(); ++pos) {
    const wchar_t c = key[pos];
    if (c == L'<') {
      tk_log_message(1, "Open XML-tag at pos=%d", static_cast<int>(pos));
      if (++open_count < 2)
        continue;
      if (close_count == 0)
        throw tk_exception(base::sprintf(L"Key '%s' has a tag inside a tag", key), tk_level_error);
      const t_ftd* column = schema.find(tag);
      if (column != nullptr && is_number_type(column->vartype)) {
        tk_log_message(1, "No quotes for numeric or binary");
        if (!is_bare_literal(value, column->vartype)) {
          tk_log_message(2, L"Key value '%s' of '%s' is not a number", value, tag);
          throw tk_exception(base::sprintf(L"Key value '%s' of column '%s' is not a number", value, tag),
                             tk_level_error);
        }
        result += L'=' + value;
      } else {
        result += L'=' + sql_quote_wtext(decode_entities(value));
      }
      tag.clear();
      value.clear();
      open_count = 0;
    } else if (c == L'>') {
      tk_log_message(1, "Close XML-tag at pos=%d", static_cast<int>(pos));
      if (close_count == 0) {
        if (!result.empty())
          result += L" and ";
        result += engine.get_safe_name(tag);
        close_count = 1;
      } else {
        close_count = 0;
      }
    } else if (open_count == 1) {
      (close_count == 0 ? tag : value) += c;
    }
  }
  // A cut key would leave a bare column name as a condition of its own.
  if (open_count != 0 || close_count != 0)
    throw tk_exception(base::sprintf(L"Key '%s' ends inside an element", key), tk_level_error);
  return result;
}

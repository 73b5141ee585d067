// The base bodies of the recordset interface: a recordset that holds no rows, the
// choice of the key index, the key of a record, and the SQL condition of a tagged
// key. Values never reach the condition unquoted unless they are plain numbers.
#include "UDB/udb_recs.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_field.h"


udb_recordset::udb_recordset(udb_database* owner, const std::wstring& name,
                             const std::wstring& query_text, bool schema_flag)
    : query_text_(query_text), name_(name), schema_(schema_flag), owner_(owner)
{
}

udb_recordset::udb_recordset(udb_database* owner, const std::wstring& name, bool schema_flag)
    : udb_recordset(owner, name, std::wstring(), schema_flag)
{
}

udb_recordset::udb_recordset(const std::wstring& name)
    : udb_recordset(nullptr, name, std::wstring(), true)
{
  tk_log_message(2, "udb_recordset::ctor(default)");
}

udb_recordset::~udb_recordset()
{
  tk_log_message(1, "udb_recordset::dtor");
}

void udb_recordset::update(const udb_record&, const std::wstring&)
{
  tk_log_message(1, "udb_recordset::update2");
}

void udb_recordset::update(const udb_record&)
{
  tk_log_message(1, "udb_recordset::update1");
}

void udb_recordset::save() {}

udb_record* udb_recordset::get_item()
{
  return nullptr;
}

bool udb_recordset::is_eof()
{
  return true;
}

void udb_recordset::next() {}

void udb_recordset::prev() {}

void udb_recordset::reset() {}

void udb_recordset::move_to(std::int32_t position)
{
  tk_log_message(1, "udb_recordset::move_to(%d)", position);
}

void udb_recordset::delete_key(const std::wstring&) {}

void udb_recordset::delete_key(const udb_record&) {}

void udb_recordset::add_index(const udb_index& index)
{
  tk_log_message(2, L"udb_recordset::add_index(%s, %d)", index.name, key_index_);
  if (!indexes_.is_acceptable_name(index.name)) {
    tk_log_message(2, L"Index '%s' cannot be processed", index.name);
    return;
  }
  if (index.primary || (index.unique && key_index_ < 0)) {
    tk_log_message(2, "Store primary/unique key");
    key_index_ = static_cast<std::int32_t>(indexes_.size());
  }
  indexes_.push_back(index);
}

std::unique_ptr<udb_record> udb_recordset::get_key(const udb_record& record) const
{
  tk_log_message(1, "udb_recordset::get_key(that.size=%d)", record.size());
  if (key_index_ < 0 || static_cast<std::size_t>(key_index_) >= indexes_.size())
    throw tk_exception(std::string("There's no primary/unique key"), tk_level_error);

  auto key = std::make_unique<udb_record>();
  for (const std::wstring& name : indexes_[static_cast<std::size_t>(key_index_)].fields) {
    const udb_field* field = record.find(name);
    if (field == nullptr) {
      tk_log_message(3, L"Key field '%s' is not found in record", name);
      return nullptr;
    }
    tk_log_message(1, L">> Got key field: %s", field->to_wstring());
    key->push_back(std::make_unique<udb_field>(*field));
  }
  tk_log_message(1, "Just before exit: result.size=%d", key->size());
  return key;
}

namespace {

bool is_bare_value_type(VARTYPE vt)
{
  switch (vt) {
  case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_BOOL: case VT_DECIMAL:
  case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8:
    return true;
  case VT_BLOB: case VT_BLOB_OBJECT: case VT_ARRAY | VT_UI1:
    tk_log_message(1, "Special processing for binary");
    return true;
  default:
    return false;
  }
}

bool is_digit(wchar_t c)
{
  return c >= L'0' && c <= L'9';
}

bool is_hex_digit(wchar_t c)
{
  return is_digit(c) || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// A decimal number (sign, digits, point, exponent) or a hexadecimal literal: the
// only texts that may stand in a condition without quotes.
bool is_plain_number(const std::wstring& v)
{
  std::size_t i = 0;
  if (v.size() > 2 && v[0] == L'0' && (v[1] == L'x' || v[1] == L'X')) {
    for (i = 2; i < v.size(); ++i)
      if (!is_hex_digit(v[i]))
        return false;
    return true;
  }
  if (i < v.size() && (v[i] == L'-' || v[i] == L'+'))
    ++i;
  std::size_t digits = 0;
  for (; i < v.size() && is_digit(v[i]); ++i)
    ++digits;
  if (i < v.size() && v[i] == L'.')
    for (++i; i < v.size() && is_digit(v[i]); ++i)
      ++digits;
  if (digits == 0)
    return false;
  if (i < v.size() && (v[i] == L'e' || v[i] == L'E')) {
    ++i;
    if (i < v.size() && (v[i] == L'-' || v[i] == L'+'))
      ++i;
    if (i == v.size() || !is_digit(v[i]))
      return false;
    while (i < v.size() && is_digit(v[i]))
      ++i;
  }
  return i == v.size();
}

void replace_all(std::wstring& text, const std::wstring& from, const std::wstring& to)
{
  for (std::size_t pos = 0; (pos = text.find(from, pos)) != std::wstring::npos; pos += to.size())
    text.replace(pos, from.size(), to);
}

} // namespace

std::wstring udb_recordset::get_filter_subquery(const std::wstring& filter) const
{
  tk_log_message(1, L"udb_recordset::get_filter_subquery(%s)", filter);
  std::wstring result;
  int open_count = 0;       // "<" seen in the current element
  bool in_value = false;    // the opening tag's ">" was seen
  std::wstring name;
  std::wstring value;

  for (std::size_t pos = 0; pos < filter.size(); ++pos) {
    const wchar_t c = filter[pos];
    if (c == L'<') {
      tk_log_message(1, "Open XML-tag at pos=%d", pos);
      if (++open_count == 2) {
        const t_ftd* column = schema_.find(name);
        if (column != nullptr && is_bare_value_type(column->vartype) && is_plain_number(value)) {
          result += L'=';
          result += value;
        } else {
          replace_all(value, L"&lt;", L"<");
          replace_all(value, L"&gt;", L">");
          replace_all(value, L"&amp;", L"&");
          // An apostrophe would end the literal early and let the rest of the
          // value through as SQL. The condition is standard SQL (identifiers in
          // double quotes), where a backslash is an ordinary character.
          replace_all(value, L"'", L"''");
          result += L"='";
          result += value;
          result += L"' ";
        }
        name.clear();
        value.clear();
        open_count = 0;
      }
    } else if (c == L'>') {
      tk_log_message(1, "Close XML-tag at pos=%d", pos);
      if (in_value) {
        in_value = false;  // the end of the closing tag
        continue;
      }
      if (!result.empty())
        result += L" and ";
      const t_ftd* column = schema_.find(name);
      if (column == nullptr) {
        tk_log_message(2, L"Field %s not found in the schema", name);
        throw tk_exception(
            std::string("The structure of data source does not conform to the destination table."),
            tk_level_recoverable);
      }
      result += L'"';
      result += column->name;  // as the schema writes it, whatever the key's case
      result += L'"';
      in_value = true;
    } else if (open_count == 1) {
      (in_value ? value : name) += c;
    }
  }
  return result;
}

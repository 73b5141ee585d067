// Column and index clauses of CREATE TABLE. Key lengths are counted in bytes at
// the most a character of the engine's character set takes (four for utf8mb4),
// as InnoDB counts them (3,072 bytes a key), prefix parts at their prefix, so an
// index the server would refuse is cut (a plain one) or given up (a unique one)
// here instead of sinking the table.
#include "SQL/write/sql_init.h"

#include "SQL/sql_engi.h"
#include "SQL/sql_util.h"
#include "SQL/write/sql_literals.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_properties.h"
#include "UDB/udb_vali.h"
#include "platform/case_fold.h"
#include "base/format.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::uint32_t version_index_not_null = 0x031702;  // 3.23.2
constexpr std::uint32_t version_fractional_seconds = 0x050604;  // 5.6.4
constexpr std::size_t max_index_fields = 16;
constexpr std::size_t max_indexes = 63;
constexpr std::size_t max_indexes_old = 15;
constexpr std::uint32_t max_indexed_text = 768;
constexpr std::uint64_t max_key_bytes = 3072;
constexpr std::uint64_t max_key_old = 256;

bool can_have_auto_num(VARTYPE type)
{
  switch (type) {
  case VT_I2:
  case VT_I4:
  case VT_BOOL:
  case VT_I1:
  case VT_UI1:
  case VT_UI2:
  case VT_UI4:
  case VT_I8:
  case VT_UI8:
  case VT_INT:
  case VT_UINT:
    return true;
  default:
    return false;
  }
}

bool is_lob(VARTYPE type, std::uint32_t size)
{
  return type == VT_BLOB || type == VT_BLOB_OBJECT || type == (VT_ARRAY | VT_UI1) ||
         (type == VT_BSTR && (size == 0 || size > max_indexed_text));
}

bool is_plain_text(const t_ftd& column)
{
  return column.vartype == VT_BSTR && column.dw_reserved != sql_text_fixed &&
         column.dw_reserved != sql_text_geometry && column.dw_reserved != sql_text_geometry2;
}

// A text column declared as one of the TEXT types, which the row holds only a
// pointer to: too long for a VARCHAR, or made TEXT for the row's size.
bool is_text_type(const t_ftd& column, std::uint32_t bytes_per_char)
{
  if (!column.native_type.empty())
    return column.native_type.find(L"TEXT") != std::wstring::npos;
  return is_plain_text(column) && (column.size == 0 || column.size > sql_max_varchar_chars(bytes_per_char));
}

// One column of a key, as the server counts it.
struct key_part {
  std::wstring name;
  std::uint32_t prefix;      // 0: the whole column
  std::uint64_t length;      // in characters (bytes for binary)
  std::uint64_t unit_bytes;  // bytes a character of the part takes
  bool can_cut;

  std::uint64_t bytes() const { return unit_bytes * length; }
  void cut_to(std::uint64_t units)
  {
    length = units;
    prefix = static_cast<std::uint32_t>(units);
  }
};

std::uint64_t key_length(const std::vector<key_part>& parts)
{
  std::uint64_t total = 0;
  for (const key_part& p : parts)
    total += p.bytes();
  return total;
}

// A key too long for the server is cut to fit, as far as its parts can be cut:
// every part to the limit of one part, then the longest parts shorter until the
// whole fits. Whether a part was cut.
bool cut_to_fit(std::vector<key_part>& parts, std::uint64_t key_limit, std::uint64_t part_limit)
{
  bool cut = false;
  for (key_part& p : parts)
    if (p.can_cut && p.bytes() > part_limit) {
      p.cut_to(part_limit / p.unit_bytes);
      cut = true;
    }
  for (std::uint64_t total = key_length(parts); total > key_limit; total = key_length(parts)) {
    key_part* longest = nullptr;
    for (key_part& p : parts)
      if (p.can_cut && p.length > 1 && (longest == nullptr || p.bytes() > longest->bytes()))
        longest = &p;
    if (longest == nullptr)
      break;
    const std::uint64_t excess_units = (total - key_limit + longest->unit_bytes - 1) / longest->unit_bytes;
    longest->cut_to(longest->length > excess_units ? longest->length - excess_units : 1);
    cut = true;
  }
  return cut;
}

// Why the server would refuse the key for its length, or an empty text when it fits.
std::wstring why_too_long(const std::vector<key_part>& parts, std::uint64_t key_limit, std::uint64_t part_limit)
{
  const auto too_long_part =
      std::find_if(parts.begin(), parts.end(), [&](const key_part& p) { return p.bytes() > part_limit; });
  if (too_long_part != parts.end())
    return base::sprintf(L"its part '%s' of %d bytes is longer than the %d the server takes", too_long_part->name,
                         too_long_part->bytes(), part_limit);
  const std::uint64_t total = key_length(parts);
  if (total > key_limit)
    return base::sprintf(L"its key of %d bytes is longer than the %d the server takes", total, key_limit);
  return {};
}

} // namespace

sql_schema_initializer::sql_schema_initializer(const sql_engine& engine, const std::wstring& table,
                                               const udb_schema& source, const udb_indexes& indexes,
                                               std::wstring& auto_increment_name)
    : engine_(engine),
      table_(table),
      schema_(sql_max_varchar_chars(engine.is_old_version() ? sql_utf8_bytes
                                                             : sql_bytes_per_char(engine.get_character_set()))),
      auto_increment_name_(auto_increment_name),
      indexes_(indexes)
{
  tk_log_message(1, "sql_engine::create_fn_validator( const udb_schema& )");
  validator_ = engine_.create_fn_validator(source);
  tk_log_message(2, "sql_schema_initializer::ctor");
  source_names_.reserve(source.size());
  schema_.reserve(source.size());
  for (const auto& column : source) {
    const bool acceptable = validator_->is_acceptable(column->name);
    const std::wstring name = acceptable ? column->name : validator_->get_safe_name(column->name);
    auto copy = std::make_shared<t_ftd>(*column);
    copy->name = name;
    tk_log_message(2, L"GOT FIELD: name=%s, type=%d, size=%d, flags=%d, description=%s", name,
                   copy->vartype, copy->size, copy->dw_reserved, copy->comment);
    schema_.push_back(std::move(copy));
    source_names_.push_back(column->name);
    if (!acceptable) {
      tk_log_message(2, L"Store generated column name '%s'", name);
      validator_->add_existing_name(name);
      validator_->add_mapped_pair(column->name, name);
    }
    // A later column of the same name, in any case, must not take it again.
    validator_->add_restricted_name(name);
  }
}

sql_schema_initializer::~sql_schema_initializer() = default;

const t_names_map& sql_schema_initializer::get_names_map() const
{
  return validator_->get_mapped_pairs();
}

std::wstring sql_schema_initializer::widen_widest_text()
{
  const std::uint32_t bytes = sql_bytes_per_char(engine_.get_character_set());
  t_ftd* widest = nullptr;
  for (const auto& column : schema_)
    if (column->native_type.empty() && is_plain_text(*column) && !is_text_type(*column, bytes) &&
        (widest == nullptr || column->size > widest->size))
      widest = column.get();
  if (widest == nullptr)
    return {};
  // A TEXT holds every value of a VARCHAR of the same character set; a key over
  // it takes its former length as a prefix.
  widest->native_type = L"TEXT";
  tk_log_message(3, L"Column '%s' of table '%s' becomes TEXT for the row's size", widest->name, table_);
  return widest->name;
}

void sql_schema_initializer::get_init_chunks(std::vector<std::wstring>& chunks,
                                             const udb_properties* table_node)
{
  tk_log_message(2, "sql_schema_initializer::get_init_chunks(n_columns=%d)", schema_.size());
  auto_increment_name_.clear();
  for (std::size_t i = 0; i < schema_.size(); ++i)
    chunks.push_back(column_clause(i, table_node));
  tk_log_message(2, "sql_schema_initializer::get_init_chunks - END");
}

std::wstring sql_schema_initializer::column_clause(std::size_t i, const udb_properties* table_node)
{
  const sql_engine& engine = engine_;
  const t_ftd& column = *schema_[i];
  const std::wstring& source_name = source_names_[i];
  tk_log_message(2, L"Processing field '%s'", column.name);
  const bool new_server = !engine.is_old_version();

  std::wstring clause = new_server ? sql_quote_name(column.name) + L" " : column.name + L" ";

  // A geometry column is VT_BSTR too, but takes no character set: the clause
  // would make the whole statement a syntax error.
  const bool geometry = column.dw_reserved == sql_text_geometry ||
                        column.dw_reserved == sql_text_geometry2;
  const bool text = column.native_type.empty()
                        ? column.vartype == VT_BSTR && !geometry
                        : column.native_type.find(L"CHAR") != std::wstring::npos ||
                              column.native_type.find(L"TEXT") != std::wstring::npos;
  std::wstring charset;
  if (text) {
    if (const udb_properties* node = table_node ? table_node->get_child(column.name) : nullptr) {
      const auto it = node->get_values().find(L"character_set");
      if (it != node->get_values().end())
        charset = it->second;
    }
    if (charset.empty())
      charset = engine.get_character_set();
  }
  // Old servers name no character set: their limits stay those of the first ones.
  const std::uint32_t bytes = new_server ? sql_bytes_per_char(charset) : sql_utf8_bytes;

  tk_log_message(1, L"native_type=%s", column.native_type);
  clause += column.native_type.empty()
                ? get_sql_native_type2(column, bytes, engine.get_server_version() >= version_fractional_seconds)
                : column.native_type;
  if (new_server && text)
    clause += L" CHARACTER SET " + charset;

  if (column.not_null || column.auto_increment || indexes_.is_idx_field(source_name, true) ||
      (engine.get_server_version() < version_index_not_null &&
       indexes_.is_idx_field(source_name, false)))
    clause += L" NOT NULL";

  tk_log_message(1, "sql_schema_initializer::can_have_def_value");
  if (column.auto_increment) {
    tk_log_message(2, "WARNING: auto_increment columns cannot have default value!");
  } else if (column.vartype != VT_BLOB && column.vartype != VT_BLOB_OBJECT &&
             !is_text_type(column, bytes)) {
    // Texts beyond VARCHAR are TEXT types, which take no literal default everywhere.
    const std::wstring value = make_mysql_def_val(column);
    tk_log_message(1, L"got def value: %s", value);
    if (!value.empty())
      clause += L" DEFAULT " + value;
  }

  if (column.auto_increment && can_have_auto_num(column.vartype)) {
    tk_log_message(1, "sql_schema_initializer::can_have_auto_num");
    if (!auto_increment_name_.empty())
      throw tk_mail_assertion("sql_init", 140);
    auto_increment_name_ = column.name;
    clause += L" AUTO_INCREMENT";
  }

  if (!column.comment.empty()) {
    tk_log_message(1, L"Setting column's comment: '%s'", column.comment);
    clause += L" COMMENT " + sql_quote_wtext(column.comment);
  }
  tk_log_message(2, L"sql_query=%s", clause);
  return clause;
}

sql_indexes_initializer::sql_indexes_initializer(const sql_engine& engine, const sql_schema& columns,
                                                 const udb_indexes& source,
                                                 const std::wstring& auto_increment_name,
                                                 const t_names_map& names_map)
    : engine_(engine), auto_increment_name_(auto_increment_name), columns_(columns), names_map_(names_map)
{
  tk_log_message(2, "sql_indexes_initializer::ctor");
  tk_log_message(1, "sql_engine::create_in_validator");
  const auto validator = engine_.create_in_validator(source);
  for (const udb_index& index : source) {
    tk_log_message(2, L"Processing '%s'", index.name);
    const bool acceptable = index.name.empty() || validator->is_acceptable(index.name);
    const std::wstring name = acceptable ? index.name : validator->get_safe_name(index.name);
    if (!acceptable)
      tk_log_message(2, L"new_name=%s", name);
    std::vector<std::wstring> fields;
    fields.reserve(index.fields.size());
    for (const std::wstring& field : index.fields)
      fields.push_back(column_name_of(field));
    tk_log_message(1, L"udb_index::ctor('%s',%d,%d)", name, index.unique, index.primary);
    udb_index mapped(name, index.unique, index.primary, fields);
    mapped.prefix_lengths = index.prefix_lengths;
    indexes_.push_back(mapped);
    if (!acceptable || index.name.empty()) {
      tk_log_message(2, L"Store generated index name '%s'", name);
      validator->add_existing_name(name);
    }
    validator->add_restricted_name(name);
  }
  tk_log_message(2, "sql_indexes_initializer::ctor - END");
}

std::wstring sql_indexes_initializer::column_name_of(const std::wstring& field) const
{
  // Columns id and ID: the second was renamed; an index on "id" must keep the
  // first, which a lookup ignoring case would miss.
  const auto exact = names_map_.find(field);
  if (exact != names_map_.end())
    return exact->second;
  for (const auto& column : columns_)
    if (column->name == field)
      return field;
  return names_map_.get_mapped_name(field);
}

void sql_indexes_initializer::limit_keys(std::uint64_t key_bytes, std::uint64_t part_bytes)
{
  key_bytes_ = key_bytes;
  part_bytes_ = part_bytes;
}

void sql_indexes_initializer::get_init_chunks(std::vector<std::wstring>& chunks)
{
  tk_log_message(2, "sql_indexes_initializer::get_init_chunks(n_indexes=%d)", indexes_.size());
  const sql_engine& engine = engine_;
  given_up_keys_.clear();
  cut_keys_.clear();
  const std::size_t limit = engine.is_old_version() ? max_indexes_old : max_indexes;
  bool auto_increment_covered = auto_increment_name_.empty();
  std::size_t counted = 0;
  for (const udb_index& index : indexes_) {
    tk_log_message(2, L"Process index '%s'", index.name);
    if (index.fields.empty()) {
      tk_log_message(3, L"Skip index '%s' as it is built on empty fields list", index.name);
      continue;
    }
    if (index.fields.size() > max_index_fields) {
      tk_log_message(2, "Max number of indexes has been reached");
      continue;
    }
    bool holds_auto_increment = false;
    std::wstring why_not;
    bool cut = false;
    const std::wstring clause = index_clause(index, holds_auto_increment, why_not, cut);
    if (!clause.empty()) {
      chunks.push_back(clause);
      if (cut)
        cut_keys_.push_back(index.name);
      // Only an index that is written makes the auto-increment column a key.
      auto_increment_covered = auto_increment_covered || holds_auto_increment;
    } else {
      // A unique key given up lets rows in that the source refused; any other
      // is at least missed.
      given_up_keys_.push_back((index.primary  ? std::wstring(L"The primary key")
                                : index.unique ? L"The unique index '" + index.name + L"'"
                                               : L"The index '" + index.name + L"'") +
                               L" is not created: " + why_not + L".");
    }
    if (++counted == limit)
      break;
  }
  if (auto_increment_covered)
    return;
  tk_log_message(2, "Creating index for auto-field");
  tk_log_message(1, "sql_engine::create_in_validator");
  const auto validator = engine.create_in_validator(indexes_);
  const std::wstring name = validator->is_acceptable(auto_increment_name_)
                                ? auto_increment_name_
                                : validator->get_safe_name(auto_increment_name_);
  chunks.push_back(L"INDEX " + engine.get_safe_name(name) + L" (" +
                   engine.get_safe_name(auto_increment_name_) + L")");
}

std::wstring sql_indexes_initializer::index_clause(const udb_index& index, bool& holds_auto_increment,
                                                   std::wstring& why_not, bool& cut) const
{
  const sql_engine& engine = engine_;
  const bool old_server = engine.is_old_version();
  // Newer servers count a key in bytes, at the most a character of the
  // character set takes; old ones in characters.
  const std::uint64_t bytes = old_server ? 1 : sql_bytes_per_char(engine.get_character_set());
  const std::uint64_t key_limit = key_bytes_ != 0 ? key_bytes_ : old_server ? max_key_old : max_key_bytes;
  const std::uint64_t part_limit = part_bytes_ != 0 ? part_bytes_ : key_limit;

  std::vector<key_part> parts;
  for (const std::wstring& field : index.fields) {
    tk_log_message(1, L"Process idx.field %s", field);
    if (!auto_increment_name_.empty() && plat::equal_no_case(field, auto_increment_name_)) {
      tk_log_message(2, "Got index for auto_increment field");
      holds_auto_increment = true;
    }
    const t_ftd* column = columns_.find(field);
    if (column == nullptr) {
      tk_log_message(2, L"Index column '%s' is not found", field);
      why_not = L"its column '" + field + L"' is not in the table";
      return {};
    }
    const std::size_t i = parts.size();
    std::uint32_t prefix = i < index.prefix_lengths.size() && !old_server ? index.prefix_lengths[i] : 0;
    // A column made TEXT for the row's size keeps its key over its former length.
    if (prefix == 0 && column->native_type == L"TEXT" && !old_server)
      prefix = column->size;
    // A plain key on a long text is cut below like any other too long for the
    // server; only a unique one, which a cut would make refuse rows, is given up.
    const bool cut_whole_text = !index.unique && !index.primary && !old_server && column->size != 0 &&
                                is_plain_text(*column);
    if (prefix == 0 && is_lob(column->vartype, column->size) && !cut_whole_text) {
      tk_log_message(3, L"Index '%s' built on LOB column(s) is not allowed", index.name);
      why_not = L"its column '" + field + L"' cannot be a key without a prefix length";
      return {};
    }
    const bool text = column->vartype == VT_BSTR;
    const std::uint32_t length = prefix != 0 ? prefix : column->size;
    const bool can_cut = !old_server && length > 1 &&
                         (prefix != 0 || (text && column->dw_reserved != sql_text_geometry &&
                                          column->dw_reserved != sql_text_geometry2));
    parts.push_back({field, prefix, length, text ? bytes : 1, can_cut});
  }

  // A unique key is not cut, as it would refuse rows that differ only past
  // the cut; it is given up and reported.
  if (!index.unique && !index.primary)
    cut = cut_to_fit(parts, key_limit, part_limit);
  why_not = why_too_long(parts, key_limit, part_limit);
  if (!why_not.empty()) {
    tk_log_message(3, L"Index '%s' is too big, skip it", index.name);
    cut = false;
    return {};
  }

  std::wstring clause = index.primary ? std::wstring(L"PRIMARY KEY")
                                      : (index.unique ? L"UNIQUE " : L"INDEX ") + engine.get_safe_name(index.name);
  clause += L" (";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    clause += (i > 0 ? L", " : L"") + engine.get_safe_name(parts[i].name);
    if (parts[i].prefix != 0 && !old_server)
      clause += base::sprintf(L"(%d)", parts[i].prefix);
  }
  tk_log_message(2, L"sql_query=%s", clause);
  return clause + L")";
}

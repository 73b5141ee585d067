// The DAO database: a workbook's worksheets, or an Access database's tables,
// queries and relations. A table is listed only once DAO has appended it, so a
// failed definition leaves no name behind.
#include "dao/dao_database.h"

#include "TK/tk_codepage.h"
#include "TK/tk_error_reporter.h"
#include "TK/tk_log.h"
#include "dao/dao_args.h"
#include "dao/dao_bstr.h"
#include "dao/dao_exception.h"
#include "dao/dao_record.h"
#include "dao/dao_recordset.h"
#include "dao/dao_schema_initializer.h"
#include "dao/dao_validators.h"
#include "platform/case_fold.h"
#include "platform/char_class.h"
#include "base/format.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace {

constexpr LONG linked_table = 0x40000000;
constexpr LONG system_object = static_cast<LONG>(0x80000002u);
// DAO's "not a valid name" as a dao_exception's code.
constexpr std::uint32_t invalid_name = 0x10000u + 3125;

} // namespace

dao_database::dao_database(const std::wstring& name, DAODatabase* database, std::uint32_t mode)
    : udb_database(name, mode, false), database_(database)
{
  tk_log_message(2, L"dao_database::dao_database( %s, mode=%d )", name, mode);
  if (!database_)
    throw tk_mail_assertion("dao_db", 59);
  dao_check(database_->get_TableDefs(table_defs_.put()));
  dao_require(table_defs_.get());
  short count = 0;
  dao_check(table_defs_->get_Count(&count));
  for (short i = 0; i < count; ++i) {
    ole_com_ptr<DAOTableDef> table;
    dao_check(table_defs_->get_Item(dao_position_arg(static_cast<std::uint16_t>(i)), table.put()));
    dao_require(table.get());
    dao_bstr table_name;
    dao_check(table->get_Name(table_name.address()));
    LONG attributes = 0;
    dao_check(table->get_Attributes(&attributes));
    if ((attributes & linked_table) != 0) {
      tk_log_message(2, L"Skip linked table '%s'", table_name.to_wstring());
    } else if ((attributes & system_object) != 0) {
      tk_log_message(2, L"Skip system table '%s'", table_name.to_wstring());
    } else {
      tk_log_message(2, L"Got table: '%s'", table_name.to_wstring());
      table_names_.push_back(table_name.to_wstring());
    }
  }
  tk_log_message(2, "Right before extracting queries/vews");
  if ((mode_ & mode_no_views) == 0) {
    try {
      init_views();
    } catch (const dao_exception& e) {
      tk_log_message(2, "ERROR1:\n%s", e.get_message());
    }
  }
  tk_log_message(2, "Right before extracting FKs");
  if ((mode_ & mode_no_fkeys) == 0) {
    try {
      init_fkeys();
    } catch (const dao_exception& e) {
      tk_log_message(3, "ERROR2:\n%s", e.get_message());
    }
  }
  tk_log_message(2, "dao_database::ctor - END");
}

dao_database::~dao_database()
{
  tk_log_message(1, "dao_database::~dao_database");
  if (!closed_ && database_) {
    closed_ = true;
    // A failure has no one to go to here: the converter's close() reports it.
    if (FAILED(database_->Close()))
      tk_log_message(3, L"The workbook '%s' could not be written", name_);
  }
  tk_log_message(1, "dao_database::~dao_database - END");
}

void dao_database::close()
{
  tk_log_message(2, L"dao_database::close(%s)", name_);
  if (closed_)
    return;
  closed_ = true;
  dao_check(database_->Close());
}

void dao_database::init_views()
{
  tk_log_message(2, "dao_database::init_views");
  dao_check(database_->get_QueryDefs(query_defs_.put()));
  dao_require(query_defs_.get());
  short count = 0;
  dao_check(query_defs_->get_Count(&count));
  tk_log_message(2, "Got %d queries", count);
  for (short i = 0; i < count; ++i) {
    ole_com_ptr<DAOQueryDef> query;
    dao_check(query_defs_->get_Item(dao_position_arg(static_cast<std::uint16_t>(i)), query.put()));
    dao_require(query.get());
    dao_bstr query_name;
    dao_check(query->get_Name(query_name.address()));
    tk_log_message(2, L"Got query name: '%s'", query_name.to_wstring());
    dao_bstr sql;
    dao_check(query->get_SQL(sql.address()));
    tk_log_message(2, L"Got query SQL: '%s'", sql.to_wstring());
    views_.emplace_back(query_name.to_wstring(), rewrite_view_sql(sql.to_wstring()));
  }
}

namespace {

constexpr std::size_t max_index_name = 64;

wchar_t fold_ascii(wchar_t c)
{
  return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// Where `what` next stands in `text` from `from`, A-Z folded; npos when nowhere.
std::size_t find_no_case(const std::wstring& text, std::wstring_view what, std::size_t from)
{
  if (what.empty() || what.size() > text.size())
    return std::wstring::npos;
  for (std::size_t p = from; p + what.size() <= text.size(); ++p) {
    std::size_t k = 0;
    while (k < what.size() && fold_ascii(text[p + k]) == fold_ascii(what[k]))
      ++k;
    if (k == what.size())
      return p;
  }
  return std::wstring::npos;
}

bool is_blank(wchar_t c)
{
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

bool is_whole_word(const std::wstring& text, std::size_t begin, std::size_t end)
{
  const bool starts = begin == 0 || IsCharAlphaNumericW(text[begin - 1]) == 0;
  return starts && (end >= text.size() || text[end] == L'(' || is_blank(text[end]));
}

bool opens_call(const std::wstring& text, std::size_t at)
{
  while (at < text.size() && is_blank(text[at]))
    ++at;
  return at < text.size() && text[at] == L'(';
}

// Whether a position lies inside quoted text: a '...' or "..." literal (a
// doubled quote reopens it) or a [...] name. Asked for rising positions, it
// walks on from the previous one, so the text before that must not change.
class quote_tracker {
public:
  bool inside(const std::wstring& text, std::size_t at)
  {
    for (; scanned_ < at; ++scanned_) {
      const wchar_t c = text[scanned_];
      if (closing_ != 0) {
        if (c == closing_)
          closing_ = 0;
      } else if (c == L'\'' || c == L'"') {
        closing_ = c;
      } else if (c == L'[') {
        closing_ = L']';
      }
    }
    return closing_ != 0;
  }

private:
  std::size_t scanned_ = 0;
  wchar_t closing_ = 0;
};

// The one search-and-replace loop: every occurrence that `accept(begin, end)`
// takes is replaced, and the search goes on from the next character.
template <class Accept>
std::wstring& replace_accepted(std::wstring& text, std::wstring_view what, const wchar_t* with, Accept accept)
{
  for (std::size_t p = find_no_case(text, what, 0); p != std::wstring::npos; p = find_no_case(text, what, p + 1))
    if (accept(p, p + what.size()))
      text.replace(p, what.size(), with);
  return text;
}

} // namespace

std::wstring& dao_database::replace_no_case(std::wstring& text, const wchar_t* what, const wchar_t* with)
{
  return replace_accepted(text, what, with, [](std::size_t, std::size_t) { return true; });
}

std::wstring& dao_database::replace_word_no_case(std::wstring& text, const wchar_t* what, const wchar_t* with)
{
  quote_tracker quotes;
  return replace_accepted(text, what, with, [&](std::size_t begin, std::size_t end) {
    return is_whole_word(text, begin, end) && !quotes.inside(text, begin);
  });
}

std::wstring& dao_database::replace_call_no_case(std::wstring& text, const wchar_t* what, const wchar_t* with)
{
  quote_tracker quotes;
  return replace_accepted(text, what, with, [&](std::size_t begin, std::size_t end) {
    return is_whole_word(text, begin, end) && opens_call(text, end) && !quotes.inside(text, begin);
  });
}

std::wstring dao_database::rewrite_view_sql(const std::wstring& sql)
{
  std::wstring out = sql;
  replace_no_case(out, L"]![", L"].[");
  // ASC is also the sort order: only the call is the function.
  replace_call_no_case(out, L"asc", L"ascii");
  static const std::pair<const wchar_t*, const wchar_t*> words[] = {
      {L"alike", L"like"}, {L"chr", L"char"},     {L"clng", L"round"},    {L"iif", L"if"},
      {L"lcase", L"lower"}, {L"left$", L"left"},  {L"len", L"length"},    {L"mid$", L"mid"},
      {L"nz", L"ifnull"},   {L"right$", L"right"}, {L"sqr", L"sqrt"},     {L"stdev", L"stddev"},
      {L"strcomp", L"strcmp"}, {L"ucase", L"upper"},
  };
  for (const auto& [access, mysql] : words)
    replace_word_no_case(out, access, mysql);
  // A literal that holds these texts keeps them.
  for (const auto& [access, mysql] : {std::pair{L"<>", L"!="}, std::pair{L"WITH OWNERACCESS OPTION", L""}}) {
    quote_tracker quotes;
    replace_accepted(out, access, mysql,
                     [&](std::size_t begin, std::size_t) { return !quotes.inside(out, begin); });
  }
  return out;
}

std::wstring dao_database::gen_ui_name(const std::wstring& table, const std::vector<std::wstring>& taken,
                                       const SYSTEMTIME& now)
{
  tk_log_message(2, L"dao_database::gen_ui_name(%s)", table);
  const std::wstring time = base::sprintf(L"%02d%02d%02d%02d%02d%02d", now.wYear % 100, now.wMonth, now.wDay,
                                          now.wHour, now.wMinute, now.wSecond);
  tk_log_message(2, L"buf=%s", time);
  const std::wstring stem = L"ui_" + table;
  for (unsigned n = 1;; ++n) {
    // The time alone repeats within one second; a counter keeps the name free.
    const std::wstring tail = n == 1 ? time : base::sprintf(L"_%u", n) + time;
    std::wstring name = stem.substr(0, max_index_name - tail.size()) + tail;
    if (std::none_of(taken.begin(), taken.end(),
                     [&name](const std::wstring& other) { return plat::equal_no_case(other, name); }))
      return name;
  }
}

void dao_database::init_fkeys()
{
  tk_log_message(2, "dao_database::init_fkeys");
  const dao_bstr no_name(std::wstring{});
  const dao_bstr sql(std::string("SELECT szRelationship, szColumn, szObject, szReferencedObject, szReferencedColumn, "
                                 "grbit FROM MSysRelationships ORDER BY szRelationship"));
  ole_com_ptr<DAOQueryDef> query;
  dao_check(database_->CreateQueryDef(dao_text_arg(no_name), dao_text_arg(sql), query.put()));
  dao_require(query.get());
  ole_com_ptr<DAORecordset> rows;
  dao_check(query->OpenRecordset(dao_short_arg(plat::dao::db_open_dynaset), dao_long_arg(plat::dao::db_read_only), rows.put()));
  dao_require(rows.get());
  VARIANT_BOOL eof = VARIANT_FALSE;
  dao_check(rows->get_EOF(&eof));
  if (eof == VARIANT_FALSE)
    dao_check(rows->MoveFirst());

  // The rows of one relationship follow each other (the order is by name); a
  // relationship is complete when a row of another name comes, or the end.
  std::wstring name;
  std::wstring fk_table, pk_table;
  LONG flags = 0;
  std::vector<std::wstring> fk_columns, pk_columns;
  const auto add_current = [&] {
    if (is_system_table(fk_table) || is_system_table(pk_table))
      return;
    udb_relationship relationship(fk_table, pk_table, fk_columns, pk_columns, std::wstring());
    relationship.name = relationships_.gen_relship_name(relationship);
    if ((flags & 0x1000) != 0)
      relationship.rule += L" ON DELETE CASCADE";
    if ((flags & 0x100) != 0)
      relationship.rule += L" ON UPDATE CASCADE";
    relationships_.push_back(relationship);
  };
  while (eof == VARIANT_FALSE) {
    tk_log_message(1, "Reading next record from MSysRelationships");
    ole_com_ptr<DAOFields> fields;
    dao_check(rows->get_Fields(fields.put()));
    dao_require(fields.get());
    const dao_record row(fields.get());
    if (row.size() != 6)
      throw tk_mail_assertion("dao_db", 557);
    const std::wstring row_name = row[0]->to_wstring();
    bool same = false;
    if (!name.empty()) {
      same = plat::equal_no_case(name, row_name);
      if (same)
        tk_log_message(2, L"'%s' is a multi-column FK", name);
      else
        add_current();
    }
    if (!same) {
      name = row_name;
      flags = row[5]->to_long();
      fk_table = row[2]->to_wstring();
      pk_table = row[3]->to_wstring();
      fk_columns.clear();
      pk_columns.clear();
    }
    fk_columns.push_back(row[1]->to_wstring());
    pk_columns.push_back(row[4]->to_wstring());
    tk_log_message(2, L"rels_name=%s, src=%s.%s, dest=%s.%s, grbit=%08X", row_name, row[2]->to_wstring(),
                   row[1]->to_wstring(), row[3]->to_wstring(), row[4]->to_wstring(), static_cast<std::uint32_t>(flags));
    dao_check(rows->MoveNext());
    dao_check(rows->get_EOF(&eof));
  }
  if (!name.empty())
    add_current();
}

bool dao_database::is_system_table(const std::wstring& name)
{
  for (const wchar_t* system : {L"MSysNavPaneGroups", L"MSysNavPaneGroupCategories", L"MSysNavPaneGroupToObjects"})
    if (plat::equal_no_case(name, system)) {
      tk_log_message(2, L"%s is a system/internal tables", name);
      return true;
    }
  return false;
}

std::unique_ptr<udb_recordset> dao_database::create_table(const std::wstring& name, const udb_schema& columns,
                                                          const udb_indexes& indexes)
{
  tk_log_message(2, L"dao_database::create_table (%s)", name);
  if ((mode_ & mode_read_only) != 0)
    throw tk_mail_assertion("dao_db", 153);
  const bool listed = std::find(table_names_.begin(), table_names_.end(), name) != table_names_.end();
  // An earlier table mended to this name holds it: this one is not that table
  // again but one of its own, and is mended in turn.
  const bool taken = listed && names_map_.is_taken_by_other_table(name, name);
  if (is_table_exist(name) && !taken && (listed || (mode_ & mode_append) != 0)) {
    if ((mode_ & mode_append) != 0)
      return get_table(name, 8);
    throw tk_mail_assertion("dao_db", 159);
  }
  // DAO names tables without regard to case: a twin in case of a listed table
  // gets a name of its own, and a name the database refuses is mended; the
  // names map tells what became of it.
  dao_validator names;
  for (const std::wstring& table : table_names_)
    names.add_existing_name(table);
  std::wstring created = is_table_exist(name) ? names.get_safe_name(name) : name;
  std::unique_ptr<dao_schema_initializer> schema;
  for (bool mended = false;; mended = true) {
    try {
      schema = define_table(created, columns, indexes);
      break;
    } catch (const dao_exception& e) {
      if (mended || e.get_code() != invalid_name)
        throw;
      tk_log_message(2, "Table name refused: %s", e.get_message());
      created = names.get_safe_name(name);
    }
  }

  if (created != name)
    names_map_.add_tn_mapping(name, created);
  table_names_.push_back(created);
  tk_log_message(2, L"udb_names_map::add_fn_map(%s)", created);
  names_map_.add_fn_map(created, schema->get_validator().get_mapped_pairs());
  return get_table(created, 2);
}

std::unique_ptr<dao_schema_initializer> dao_database::define_table(const std::wstring& name, const udb_schema& columns,
                                                                   const udb_indexes& indexes)
{
  const dao_bstr table_name(name);
  const dao_bstr empty(std::wstring{});
  VARIANT attributes;
  attributes.vt = VT_I4;
  attributes.lVal = 0;
  ole_com_ptr<DAOTableDef> table;
  dao_check(database_->CreateTableDef(dao_text_arg(table_name), attributes, dao_text_arg(empty), dao_text_arg(empty),
                                      table.put()));
  dao_require(table.get());

  auto schema = std::make_unique<dao_schema_initializer>(table.get(), columns);
  schema->initialize();
  dao_indexes_initializer(table.get(), *schema, indexes).initialize();

  tk_log_message(1, "Right before Append");
  dao_check(table_defs_->Append(table.get()));
  table.release();
  return schema;
}

std::unique_ptr<udb_recordset> dao_database::get_table(const std::wstring& name, std::uint32_t mode)
{
  tk_log_message(2, L"dao_database::get_table(%s, %d)", name, mode);
  if (!is_table_exist(name)) {
    tk_log_message(2, L"Table '%s' does not exists", name);
    throw tk_mail_assertion("dao_db", 298);
  }
  const dao_bstr table_name(name);
  ole_com_ptr<DAOTableDef> table;
  dao_check(table_defs_->get_Item(dao_text_arg(table_name), table.put()));
  dao_require(table.get());
  tk_log_message(1, "Right after tdfs->getItem");
  LONG attributes = 0;
  dao_check(table->get_Attributes(&attributes));
  if ((attributes & (linked_table | system_object)) != 0)
    return nullptr;

  const dao_bstr no_name(std::wstring{});
  const dao_bstr sql(L"SELECT * FROM [" + name + L"]");
  ole_com_ptr<DAOQueryDef> query;
  dao_check(database_->CreateQueryDef(dao_text_arg(no_name), dao_text_arg(sql), query.put()));
  dao_require(query.get());
  tk_log_message(1, "Right after src->CreateQueryDef");
  ole_com_ptr<DAORecordset> recordset;
  dao_check(query->OpenRecordset(dao_short_arg(plat::dao::db_open_dynaset),
                                 dao_short_arg((mode & mode_read_only) != 0 ? 4 : 8), recordset.put()));
  dao_require(recordset.get());
  return std::make_unique<dao_recordset>(this, name, recordset.get(), table.get());
}

std::unique_ptr<udb_recordset> dao_database::get_query(const std::wstring& name, const std::wstring& sql,
                                                       std::uint32_t mode)
{
  tk_log_message(2, L"dao_database::get_query(%s, %s, %d)", name, sql, mode);
  const dao_bstr no_name(std::wstring{});
  const dao_bstr text(sql);
  ole_com_ptr<DAOQueryDef> query;
  dao_check(database_->CreateQueryDef(dao_text_arg(no_name), dao_text_arg(text), query.put()));
  dao_require(query.get());
  const std::uint32_t count = get_query_count(sql);
  ole_com_ptr<DAORecordset> recordset;
  dao_check(query->OpenRecordset(dao_short_arg(plat::dao::db_open_dynaset),
                                 dao_short_arg((mode & mode_read_only) != 0 ? 4 : 8), recordset.put()));
  dao_require(recordset.get());
  return std::make_unique<dao_recordset>(this, name, sql, recordset.get(), query.get(), count);
}

std::uint32_t dao_database::get_query_count(const std::wstring& sql)
{
  const dao_bstr no_name(std::wstring{});
  const dao_bstr text(L"select count(*) from (" + sql + L")");
  ole_com_ptr<DAOQueryDef> query;
  dao_check(database_->CreateQueryDef(dao_text_arg(no_name), dao_text_arg(text), query.put()));
  dao_require(query.get());
  ole_com_ptr<DAORecordset> recordset;
  dao_check(query->OpenRecordset(dao_short_arg(plat::dao::db_open_dynaset), dao_long_arg(plat::dao::db_read_only),
                                 recordset.put()));
  dao_require(recordset.get());
  dao_check(recordset->MoveFirst());
  ole_com_ptr<DAOFields> fields;
  dao_check(recordset->get_Fields(fields.put()));
  dao_require(fields.get());
  ole_com_ptr<DAOField> field;
  dao_check(fields->get_Item(dao_long_arg(0), field.put()));
  dao_require(field.get());
  VARIANT value;
  VariantInit(&value);
  dao_check(field->get_Value(&value));
  VARIANT count;
  VariantInit(&count);
  const HRESULT changed = VariantChangeType(&count, &value, 0, VT_UI4);
  VariantClear(&value);
  return SUCCEEDED(changed) ? count.ulVal : 0;
}

bool dao_database::test_query(const std::wstring& sql)
{
  tk_log_message(2, L"dao_database::test_query(%s)", sql);
  const dao_bstr no_name(std::wstring{});
  const dao_bstr text(sql);
  ole_com_ptr<DAOQueryDef> query;
  if (FAILED(database_->CreateQueryDef(dao_text_arg(no_name), dao_text_arg(text), query.put())) || !query)
    return false;
  VARIANT deny_write;
  deny_write.vt = VT_I4;
  deny_write.lVal = plat::dao::db_deny_write;
  VARIANT dynaset;
  dynaset.vt = VT_I4;
  dynaset.lVal = plat::dao::db_open_dynaset;
  ole_com_ptr<DAORecordset> recordset;
  if (FAILED(query->OpenRecordset(dynaset, deny_write, recordset.put())) || !recordset)
    return false;
  recordset->Close();
  return true;
}

bool dao_database::delete_tab(const std::wstring& name)
{
  tk_log_message(1, L"dao_database::delete_tab(%s)", name);
  if ((mode_ & mode_read_only) != 0)
    throw tk_mail_assertion("dao_db", 203);
  if (!is_table_exist(name))
    throw tk_mail_assertion("dao_db", 204);
  const dao_bstr table_name(name);
  dao_check(table_defs_->Delete(table_name));
  return udb_database::delete_tab(name);
}

namespace {

// The DAO relation attributes of a relationship's rule text: only the two
// cascades have a place in a DAO relation.
LONG relation_attributes(const std::wstring& rule)
{
  LONG attributes = 0;
  if (find_no_case(rule, L"ON DELETE CASCADE", 0) != std::wstring::npos)
    attributes |= 0x1000;
  if (find_no_case(rule, L"ON UPDATE CASCADE", 0) != std::wstring::npos)
    attributes |= 0x100;
  return attributes;
}

// The index that DAO writes into `indexes` once appended: a unique one over
// the referenced columns, their types and sizes as the table has them.
ole_com_ptr<DAOIndex> new_unique_index(DAOTableDef& table, const std::wstring& name, const udb_recordset& referenced,
                                       const std::vector<std::wstring>& columns)
{
  const dao_bstr index_name(name);
  ole_com_ptr<DAOIndex> index;
  dao_check(table.CreateIndex(dao_text_arg(index_name), index.put()));
  dao_require(index.get());
  tk_log_message(2, "Step #1");
  const ole_com_ptr<DAOIndexFields> index_fields = dao_index_fields(*index.get());
  tk_log_message(2, "Step #2");
  udb_schema columns_of_table = referenced.get_schema();
  for (const std::wstring& column : columns) {
    tk_log_message(2, L"\tProcess unique index field %s", column);
    const t_ftd& descriptor = columns_of_table.get_field1(column);
    const dao_bstr field_name(column);
    ole_com_ptr<DAOField> field;
    dao_check(index->CreateField(dao_text_arg(field_name), dao_long_arg(dao_field::get_native_type(descriptor)),
                                 dao_long_arg(static_cast<LONG>(descriptor.size)), field.put()));
    dao_require(field.get());
    dao_check(index_fields->Append(field.get()));
  }
  dao_check(index->put_Primary(VARIANT_FALSE));
  dao_check(index->put_Unique(VARIANT_TRUE));
  return index;
}

// The name of every item of a DAO collection (a table's indexes, the
// relations' own ones too; the database's relations).
template <typename Item, typename Collection>
std::vector<std::wstring> item_names(Collection& items)
{
  short count = 0;
  dao_check(items.get_Count(&count));
  std::vector<std::wstring> names;
  for (short i = 0; i < count; ++i) {
    ole_com_ptr<Item> item;
    dao_check(items.get_Item(dao_position_arg(static_cast<std::uint16_t>(i)), item.put()));
    dao_require(item.get());
    dao_bstr name;
    dao_check(item->get_Name(name.address()));
    names.push_back(name.to_wstring());
  }
  return names;
}

} // namespace

void dao_database::create_relationships(const udb_relationships& relationships)
{
  tk_log_message(2, "dao_database::create_relationships");
  if (mode_ == mode_append) {
    tk_log_message(3, "Foreign keys are not converted in append mode");
    return;
  }
  ole_com_ptr<DAORelations> relations;
  dao_check(database_->get_Relations(relations.put()));
  dao_require(relations.get());
  // Every name, of the relations there and of those to make, is reserved before
  // the first is made: a name mended for one (a backquote Jet refuses) never
  // takes the name of a relation still to come.
  dao_validator names;
  for (const std::wstring& name : item_names<DAORelation>(*relations.get()))
    names.add_existing_name(name);
  for (const udb_relationship& relationship : relationships)
    names.add_existing_name(relationship.name);
  std::vector<std::wstring> made;
  for (const udb_relationship& relationship : relationships) {
    tk_log_message(3, L"Processing '%s'", relationship.name);
    // A relation holds only tables of its own database; the copied table of
    // the same name is another table.
    if (!relationship.pk_schema.empty()) {
      tk_report_item_failure(relationship.name,
                             tk_exception("It refers to table '" + tk_wstring_to_utf8(relationship.pk_table) +
                                              "' of database '" + tk_wstring_to_utf8(relationship.pk_schema) +
                                              "', which a relation of this database cannot: it is not created",
                                          tk_level_recoverable));
      continue;
    }
    try {
      std::wstring name = relationship.name;
      const bool twin = std::any_of(made.begin(), made.end(),
                                    [&](const std::wstring& other) { return plat::equal_no_case(other, name); });
      if (twin || !names.is_acceptable(name)) {
        name = names.get_safe_name(relationship.name);
        names.add_existing_name(name);
        tk_log_message(2, L"Relation '%s' made as '%s'", relationship.name, name);
      }
      made.push_back(name);
      create_relationship(*relations.get(), relationship, name);
    } catch (const dao_exception& e) {
      tk_log_message(2, "ERROR:\n%s", e.get_message());
      tk_report_item_failure(relationship.name, e);
    }
  }
}

void dao_database::create_relationship(DAORelations& relations, const udb_relationship& source,
                                       const std::wstring& name)
{
  // The relationship under the names its tables and fields were created with.
  udb_relationship relationship = source;
  relationship.pk_table = names_map_.get_tn_mapped_name(source.pk_table, true);
  relationship.fk_table = names_map_.get_tn_mapped_name(source.fk_table, true);
  for (std::wstring& field : relationship.pk_flds)
    field = names_map_.get_fn_mapped_name(relationship.pk_table, field);
  for (std::wstring& field : relationship.fk_flds)
    field = names_map_.get_fn_mapped_name(relationship.fk_table, field);

  // A referenced table the database does not hold (or one DAO keeps no
  // relation on) fails this relationship alone, as DAO's own lookup would.
  std::unique_ptr<udb_recordset> referenced =
      is_table_exist(relationship.pk_table) ? get_table(relationship.pk_table, mode_read_only) : nullptr;
  if (!referenced)
    throw dao_exception("Item not found in this collection.", 3265);
  // DAO wants a unique index of exactly the referenced fields; one that merely
  // starts with them (UNIQUE(a, b) for a relation on a) does not serve.
  tk_log_message(1, "udb_indexes::has_unique_index_of");
  ole_com_ptr<DAOIndexes> indexes;
  ole_com_ptr<DAOIndex> unique_index;
  if (!referenced->get_indexes().has_unique_index_of(relationship.pk_flds)) {
    tk_log_message(2, L"Table %s does not have unique index on FK columns, add it", relationship.pk_table);
    const dao_bstr table_name(relationship.pk_table);
    ole_com_ptr<DAOTableDef> table;
    dao_check(table_defs_->get_Item(dao_text_arg(table_name), table.put()));
    dao_require(table.get());
    dao_check(table->get_Indexes(indexes.put()));
    dao_require(indexes.get());
    const std::wstring index_name = gen_ui_name(relationship.pk_table, item_names<DAOIndex>(*indexes.get()));
    tk_log_message(2, L"Gen.name=%s", index_name);
    unique_index = new_unique_index(*table.get(), index_name, *referenced, relationship.pk_flds);
  }

  tk_log_message(2, "Step #3");
  const dao_bstr relation_name(name);
  const dao_bstr table_name(relationship.pk_table);
  const dao_bstr foreign_table(relationship.fk_table);
  ole_com_ptr<DAORelation> relation;
  dao_check(database_->CreateRelation(dao_text_arg(relation_name), dao_text_arg(table_name), dao_text_arg(foreign_table),
                                      dao_long_arg(relation_attributes(relationship.rule)), relation.put()));
  dao_require(relation.get());
  tk_log_message(2, "Step #4");
  ole_com_ptr<DAOFields> fields;
  dao_check(relation->get_Fields(fields.put()));
  dao_require(fields.get());
  if (relationship.fk_flds.size() != relationship.pk_flds.size())
    throw tk_mail_assertion("dao_db", 449);
  udb_schema columns = referenced->get_schema();
  for (std::size_t i = 0; i < relationship.pk_flds.size(); ++i) {
    tk_log_message(1, L"Adding fields (%s,%s)", relationship.fk_flds[i], relationship.pk_flds[i]);
    const t_ftd& descriptor = columns.get_field1(relationship.pk_flds[i]);
    const dao_bstr field_name(relationship.pk_flds[i]);
    ole_com_ptr<DAOField> field;
    dao_check(relation->CreateField(dao_text_arg(field_name), dao_long_arg(dao_field::get_native_type(descriptor)),
                                    dao_long_arg(0), field.put()));
    dao_require(field.get());
    const dao_bstr foreign_name(relationship.fk_flds[i]);
    field->put_ForeignName(foreign_name);
    dao_check(fields->Append(field.get()));
  }
  referenced.reset();
  if (unique_index)
    dao_check(indexes->Append(unique_index.get()));
  dao_check(relations.Append(relation.get()));
}

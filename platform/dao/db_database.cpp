// Database, QueryDefs, QueryDef, Relations and Relation of a workbook, and the
// session behind them. A workbook stores no queries and no relations: its only
// query is the temporary SELECT * FROM [sheet] that opens a sheet for rows.
#include "platform/dao/db_model.h"

#include <cwctype>

namespace plat::dao {

session::session(std::shared_ptr<error_state> errors_, std::wstring name_, std::unique_ptr<excel_workbook> book,
                 bool read_only_)
    : errors(std::move(errors_)), name(std::move(name_)), read_only(read_only_), book_(std::move(book))
{
  for (std::size_t i = 0; i < book_->sheet_count(); ++i) {
    auto table = std::make_shared<table_data>();
    table->name = book_->sheet_name(i);
    for (const excel_column& column : book_->sheet_columns(i)) {
      field_ptr field = make_field(column.name, column.type, 0);
      field->frozen = field->in_collection = true;
      table->fields->items.push_back(std::move(field));
    }
    table->fields->frozen = true;
    table->sheet = static_cast<std::ptrdiff_t>(i);
    tables.push_back(std::move(table));
  }
}

excel_workbook& session::book()
{
  if (book_ == nullptr)
    raise(err_object_closed);
  return *book_;
}

std::ptrdiff_t session::find_table(std::wstring_view table) const
{
  for (std::size_t i = 0; i < tables.size(); ++i)
    if (equal_no_case(tables[i]->name, table))
      return static_cast<std::ptrdiff_t>(i);
  return -1;
}

void session::close()
{
  std::unique_ptr<excel_workbook> book = std::move(book_);
  if (book == nullptr)
    raise(err_object_closed);
  for (const auto& open : recordsets)
    if (const auto recordset = open.lock())
      close_recordset(*recordset);
  recordsets.clear();
  if (!read_only)
    book->close();
}

namespace {

// The sheet a query reads: the name in "SELECT * FROM [name]" (keywords
// without case, any white space between them, an optional ';' at the end).
std::wstring queried_table(std::wstring_view sql)
{
  std::size_t at = 0;
  const auto skip_blanks = [&] {
    while (at < sql.size() && std::iswspace(static_cast<wint_t>(sql[at])))
      ++at;
  };
  const auto keyword = [&](std::wstring_view word, bool blank_after) {
    skip_blanks();
    if (sql.size() - at < word.size() || !equal_no_case(sql.substr(at, word.size()), word))
      raise(err_invalid_sql);
    at += word.size();
    if (blank_after && (at == sql.size() || !std::iswspace(static_cast<wint_t>(sql[at]))))
      raise(err_invalid_sql);
  };
  keyword(L"SELECT", false);
  keyword(L"*", false);
  keyword(L"FROM", false);
  skip_blanks();
  if (at == sql.size() || sql[at] != L'[')
    raise(err_invalid_sql);
  const std::size_t close = sql.find(L']', at + 1);
  if (close == std::wstring_view::npos)
    raise(err_invalid_sql);
  std::wstring name(sql.substr(at + 1, close - at - 1));
  at = close + 1;
  skip_blanks();
  if (at < sql.size() && sql[at] == L';')
    ++at;
  skip_blanks();
  if (at != sql.size() || name.empty())
    raise(err_invalid_sql);
  return name;
}

class querydef_object final : public com_object<DAOQueryDef> {
public:
  querydef_object(session_ptr owner, std::wstring sql) : owner_(std::move(owner))
  {
    set_sql(std::move(sql));
  }

  HRESULT get_Name(BSTR* name) override
  {
    return guarded(errors(), [&] { put_text(name, L""); });
  }
  HRESULT get_SQL(BSTR* sql) override
  {
    return guarded(errors(), [&] { put_text(sql, sql_); });
  }
  HRESULT put_SQL(BSTR sql) override
  {
    return guarded(errors(), [&] { set_sql(text_of(sql)); });
  }
  HRESULT get_Fields(DAOFields** fields) override
  {
    return guarded(errors(), [&] {
      out_ptr(fields);
      *fields = make_fields(owner_->errors, table()->fields).detach();
    });
  }
  HRESULT OpenRecordset(VARIANT type, VARIANT options, DAORecordset** recordset) override
  {
    return guarded(errors(), [&] {
      out_ptr(recordset);
      const LONG kind = long_arg(type, db_open_dynaset);
      const LONG flags = long_arg(options, 0);
      if (kind < 0 || kind > 0x7FFF)
        raise(err_invalid_argument);
      *recordset = open_recordset(owner_, table(), static_cast<short>(kind), flags).detach();
    });
  }
  HRESULT Close() override { return S_OK; }

private:
  error_state& errors() { return *owner_->errors; }
  void set_sql(std::wstring sql)
  {
    table_name_ = queried_table(sql);
    sql_ = std::move(sql);
  }
  // The sheet as it is now: a query may name one appended after it was made.
  table_ptr table() const
  {
    owner_->book();
    const std::ptrdiff_t at = owner_->find_table(table_name_);
    if (at < 0)
      raise(err_input_not_found, table_name_);
    return owner_->tables[static_cast<std::size_t>(at)];
  }

  session_ptr owner_;
  std::wstring sql_;
  std::wstring table_name_;
};

class relation_object final : public com_object<DAORelation> {
public:
  relation_object(std::shared_ptr<error_state> errors, std::wstring name, std::wstring table,
                  std::wstring foreign_table, LONG attributes)
      : errors_(std::move(errors)), name_(std::move(name)), table_(std::move(table)),
        foreign_table_(std::move(foreign_table)), attributes_(attributes)
  {
  }

  HRESULT get_Name(BSTR* name) override
  {
    return guarded(*errors_, [&] { put_text(name, name_); });
  }
  HRESULT get_Table(BSTR* table) override
  {
    return guarded(*errors_, [&] { put_text(table, table_); });
  }
  HRESULT get_ForeignTable(BSTR* table) override
  {
    return guarded(*errors_, [&] { put_text(table, foreign_table_); });
  }
  HRESULT get_Attributes(LONG* attributes) override
  {
    return guarded(*errors_, [&] { *out_value(attributes) = attributes_; });
  }
  HRESULT get_Fields(DAOFields** fields) override
  {
    return guarded(*errors_, [&] { *out_ptr(fields) = make_fields(errors_, fields_).detach(); });
  }
  HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, DAOField** field) override
  {
    return guarded(*errors_, [&] {
      out_ptr(field);
      *field = create_field_object(errors_, name, type, size).detach();
    });
  }

private:
  std::shared_ptr<error_state> errors_;
  std::wstring name_, table_, foreign_table_;
  LONG attributes_;
  std::shared_ptr<field_list> fields_ = std::make_shared<field_list>();
};

class workbook_database final : public com_object<DAODatabase> {
public:
  explicit workbook_database(session_ptr owner) : owner_(std::move(owner)) {}

  HRESULT get_Name(BSTR* name) override
  {
    return guarded(errors(), [&] { put_text(name, owner_->name); });
  }
  HRESULT get_TableDefs(DAOTableDefs** tables) override
  {
    return guarded(errors(), [&] {
      out_ptr(tables);
      owner_->book();
      *tables = make_tabledefs(owner_).detach();
    });
  }
  HRESULT get_QueryDefs(DAOQueryDefs** queries) override
  {
    return guarded(errors(), [&] {
      out_ptr(queries);
      owner_->book();
      *queries = make_com<empty_collection<DAOQueryDefs, DAOQueryDef>>(owner_->errors).detach();
    });
  }
  HRESULT get_Relations(DAORelations** relations) override
  {
    return guarded(errors(), [&] {
      out_ptr(relations);
      owner_->book();
      *relations = make_com<empty_collection<DAORelations, DAORelation>>(owner_->errors).detach();
    });
  }
  HRESULT CreateTableDef(VARIANT name, VARIANT attributes, VARIANT source_table, VARIANT connect,
                         DAOTableDef** table) override
  {
    return guarded(errors(), [&] {
      out_ptr(table);
      owner_->book();
      // A linked table would need a second source; a workbook has none.
      if (!text_arg(source_table).empty() || !text_arg(connect).empty())
        raise(err_not_supported);
      auto data = std::make_shared<table_data>();
      data->name = text_arg(name);
      data->attributes = long_arg(attributes, 0);
      *table = make_tabledef(owner_, std::move(data)).detach();
    });
  }
  HRESULT CreateQueryDef(VARIANT name, VARIANT sql, DAOQueryDef** query) override
  {
    return guarded(errors(), [&] {
      out_ptr(query);
      owner_->book();
      if (!text_arg(name).empty())  // a stored query: a workbook keeps none
        raise(err_not_supported);
      *query = make_com<querydef_object>(owner_, text_arg(sql)).detach();
    });
  }
  HRESULT CreateRelation(VARIANT name, VARIANT table, VARIANT foreign_table, VARIANT attributes,
                         DAORelation** relation) override
  {
    return guarded(errors(), [&] {
      out_ptr(relation);
      owner_->book();
      *relation = make_com<relation_object>(owner_->errors, text_arg(name), text_arg(table), text_arg(foreign_table),
                                            long_arg(attributes, 0))
                      .detach();
    });
  }
  HRESULT Close() override
  {
    return guarded(errors(), [&] { owner_->close(); });
  }

private:
  error_state& errors() { return *owner_->errors; }

  session_ptr owner_;
};

} // namespace

com_ref<DAODatabase> make_workbook_database(session_ptr owner)
{
  return com_ref<DAODatabase>::adopt(make_com<workbook_database>(std::move(owner)).detach());
}

} // namespace plat::dao

// The workbook driver's entry, its session, and the Database and QueryDef of
// a workbook. A workbook stores no queries and no relations: its only
// query is the temporary SELECT * FROM [sheet] that opens a sheet for rows.
#include "platform/dao/excel/session.h"

#include "platform/dao/dao_drivers.h"
#include "platform/dao/database_object.h"
#include "platform/dao/excel/excel_driver.h"
#include "platform/dao/querydef_object.h"
#include "platform/text_codec.h"

#include <cwctype>

namespace plat::dao {

workbook_session::workbook_session(std::shared_ptr<error_state> errors_, std::wstring name_, std::unique_ptr<excel_workbook> book,
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

excel_workbook& workbook_session::book()
{
  if (book_ == nullptr)
    raise(err_object_closed);
  return *book_;
}

std::ptrdiff_t workbook_session::find_table(std::wstring_view table) const
{
  for (std::size_t i = 0; i < tables.size(); ++i)
    if (equal_no_case(tables[i]->name, table))
      return static_cast<std::ptrdiff_t>(i);
  return -1;
}

void workbook_session::close()
{
  std::unique_ptr<excel_workbook> book = std::move(book_);
  if (book == nullptr)
    raise(err_object_closed);
  recordsets.close_all(&close_recordset);
  if (!read_only)
    book->close();
}

namespace {

// The workbook format a driver names ("Excel 5.0", "Excel 8.0"); any other
// driver: 3170.
biff_version workbook_version(std::wstring_view driver)
{
  if (equal_no_case(driver, L"Excel 5.0"))
    return biff_version::biff5;
  if (equal_no_case(driver, L"Excel 8.0"))
    return biff_version::biff8;
  raise(err_no_isam);
}

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

// A workbook's only query, SELECT * FROM [sheet]: it has no name, and its
// text is checked when it is set.
class workbook_query {
public:
  workbook_query(workbook_session_ptr owner_, std::wstring sql) : owner(std::move(owner_)) { set_sql(std::move(sql)); }

  std::wstring_view name() const { return L""; }
  const std::wstring& sql() const { return sql_; }
  void set_sql(std::wstring sql)
  {
    table_name_ = queried_table(sql);
    sql_ = std::move(sql);
  }
  std::shared_ptr<field_list> fields() const { return table()->fields; }
  com_ref<DAORecordset> open(short type, LONG options) const { return open_recordset(owner, table(), type, options); }

  workbook_session_ptr owner;

private:
  // The sheet as it is now: a query may name one appended after it was made.
  table_ptr table() const
  {
    owner->book();
    const std::ptrdiff_t at = owner->find_table(table_name_);
    if (at < 0)
      raise(err_input_not_found, table_name_);
    return owner->tables[static_cast<std::size_t>(at)];
  }

  std::wstring sql_;
  std::wstring table_name_;
};

// What the Database object asks of a workbook: it stores no queries and no
// relations, so both collections are empty.
struct workbook_objects {
  using session = workbook_session;

  static void check_open(workbook_session& owner) { owner.book(); }
  static com_ref<DAOTableDefs> tabledefs(const workbook_session_ptr& owner) { return make_tabledefs(owner); }
  static com_ref<DAOQueryDefs> querydefs(const workbook_session_ptr& owner)
  {
    return com_ref<DAOQueryDefs>::adopt(
        make_com<empty_collection<DAOQueryDefs, DAOQueryDef>>(owner->errors).detach());
  }
  static com_ref<DAORelations> relations(const workbook_session_ptr& owner)
  {
    return com_ref<DAORelations>::adopt(
        make_com<empty_collection<DAORelations, DAORelation>>(owner->errors).detach());
  }
  static com_ref<DAOTableDef> create_tabledef(const workbook_session_ptr& owner, std::wstring name, LONG attributes)
  {
    auto data = std::make_shared<table_data>();
    data->name = std::move(name);
    data->attributes = attributes;
    return make_tabledef(owner, std::move(data));
  }
  static com_ref<DAOQueryDef> create_querydef(const workbook_session_ptr& owner, const VARIANT& name,
                                              const VARIANT& sql)
  {
    if (!text_arg(name).empty())  // a stored query: a workbook keeps none
      raise(err_not_supported);
    return com_ref<DAOQueryDef>::adopt(make_com<querydef_object<workbook_query>>(owner, text_arg(sql)).detach());
  }
};

com_ref<DAODatabase> open_workbook(std::shared_ptr<error_state> errors, std::wstring path, std::wstring_view driver,
                                   bool read_only)
{
  const biff_version version = workbook_version(driver);
  auto book = std::make_unique<excel_workbook>(to_utf8(path), version);
  auto owner = std::make_shared<workbook_session>(std::move(errors), std::move(path), std::move(book), read_only);
  return make_workbook_database(std::move(owner));
}

} // namespace

com_ref<DAODatabase> make_workbook_database(workbook_session_ptr owner)
{
  return com_ref<DAODatabase>::adopt(make_com<database_object<workbook_objects>>(std::move(owner)).detach());
}

void register_excel_driver()
{
  install_workbook_driver(&open_workbook);
}

} // namespace plat::dao

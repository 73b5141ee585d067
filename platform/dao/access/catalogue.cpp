// The catalogue of an Access database: the __dao_* tables beside the user's
// tables, and MSysRelationships. Every definition written here is written to
// SQLite and to the catalogue in the same transaction, and read back from both:
// SQLite tells which tables and columns exist, the catalogue what DAO says of them.
// A name Jet would refuse is refused before anything of its object is made.
#include "platform/dao/access/store.h"

#include "platform/text_codec.h"

#include <sqlite3.h>

namespace plat::dao {

namespace {

constexpr const char* format_mark = "qorvant dao store 1";

// A field SQLite describes but the catalogue does not (a table made by other
// means): its type from the declared column type.
field_ptr field_from_declaration(const std::wstring& name, std::wstring_view declared)
{
  const auto has = [&](std::wstring_view word) {
    for (std::size_t at = 0; at + word.size() <= declared.size(); ++at)
      if (equal_no_case(declared.substr(at, word.size()), word))
        return true;
    return false;
  };
  short type = db_memo;
  if (has(L"INT"))
    type = db_long;
  else if (has(L"REAL") || has(L"FLOA") || has(L"DOUB"))
    type = db_double;
  else if (has(L"BLOB"))
    type = db_long_binary;
  return make_field(name, type, 0);
}

// The column type SQLite keeps a field's values under. Number and date fields
// take no affinity: SQLite would turn a text the field's type cannot hold (a
// decimal of 30 digits, a date with a zero month) into a number or keep the
// text, as it sees fit; without affinity every value stays as it was given.
std::string sqlite_type(short type)
{
  switch (type) {
  case db_boolean: case db_byte: case db_integer: case db_long: case db_big_int: return "INTEGER";
  case db_currency: case db_single: case db_double: case db_date: case db_time: case db_numeric:
  case db_decimal: case db_float: return "";
  case db_text: case db_memo: case db_guid: return "TEXT COLLATE NOCASE";
  case db_binary: case db_long_binary: return "BLOB";
  default: raise(err_invalid_type);  // attachments need Access's own engine
  }
}

// The SQLite default of a field whose DefaultValue is a plain literal (a
// number, or a quoted text for a text field); expressions stay Jet's own and
// are only kept in the catalogue.
std::string sqlite_default(const field_data& field)
{
  const std::wstring& text = field.default_value;
  if (text.empty())
    return {};
  const bool textual = field.type == db_text || field.type == db_memo;
  if (textual && text.size() >= 2 && text.front() == L'"' && text.back() == L'"') {
    std::string literal = " DEFAULT '";
    for (const char c : to_utf8(std::wstring_view(text).substr(1, text.size() - 2))) {
      literal += c;
      if (c == '\'')
        literal += '\'';
    }
    return literal + "'";
  }
  if (textual)
    return {};
  std::size_t used = 0;
  try {
    (void)std::stod(to_utf8(text), &used);
  } catch (const std::exception&) {
    return {};
  }
  return used == text.size() ? " DEFAULT (" + to_utf8(text) + ")" : std::string();
}

std::string join_names(const field_list& fields, wchar_t separator)
{
  std::wstring names;
  for (const field_ptr& field : fields.items) {
    if (!names.empty())
      names += separator;
    names += field->name;
  }
  return to_utf8(names);
}

std::string index_name(const std::wstring& table, const std::wstring& index)
{
  return quoted_name(L"ix:" + table + L":" + index);
}

// Jet's rules for the name of any object: not empty, no leading blank, no
// control character and none of . ! ` [ ] (a name with "]" could not be
// written in brackets, and its table never opened again).
void check_name(const std::wstring& name)
{
  if (name.empty() || name.front() == L' ')
    raise(err_invalid_name, name);
  for (const wchar_t c : name)
    if (c < 0x20 || c == L'.' || c == L'!' || c == L'`' || c == L'[' || c == L']')
      raise(err_invalid_name, name);
}

} // namespace

void create_catalogue(sqlite3* db, std::wstring_view password)
{
  sql_statement(db, "CREATE TABLE __dao_db(key TEXT PRIMARY KEY, value TEXT)").run();
  sql_statement(db,
                "CREATE TABLE __dao_fields(tbl TEXT COLLATE NOCASE, position INTEGER, name TEXT COLLATE NOCASE, "
                "type INTEGER, size INTEGER, required INTEGER, allow_zero_length INTEGER, default_value TEXT, "
                "attributes INTEGER, description TEXT, format TEXT, PRIMARY KEY(tbl, name))")
      .run();
  sql_statement(db,
                "CREATE TABLE __dao_indexes(tbl TEXT COLLATE NOCASE, position INTEGER, name TEXT COLLATE NOCASE, "
                "is_primary INTEGER, is_unique INTEGER, is_foreign INTEGER, fields TEXT, PRIMARY KEY(tbl, name))")
      .run();
  sql_statement(db, "CREATE TABLE __dao_queries(position INTEGER PRIMARY KEY, name TEXT UNIQUE COLLATE NOCASE, sql TEXT)")
      .run();
  sql_statement(db,
                "CREATE TABLE MSysRelationships(szRelationship TEXT COLLATE NOCASE, szColumn TEXT COLLATE NOCASE, "
                "szObject TEXT COLLATE NOCASE, szReferencedObject TEXT COLLATE NOCASE, "
                "szReferencedColumn TEXT COLLATE NOCASE, grbit INTEGER, icolumn INTEGER, ccolumn INTEGER)")
      .run();
  // Rows of one relationship come back in column order whatever reads them
  // ordered by name.
  sql_statement(db, "CREATE INDEX __dao_relationship_rows ON MSysRelationships(szRelationship, icolumn)").run();
  sql_statement fields(db, "INSERT INTO __dao_fields(tbl, position, name, type, size, required, allow_zero_length, "
                           "default_value, attributes) VALUES ('MSysRelationships', ?, ?, ?, ?, 0, 1, '', ?)");
  const struct {
    const wchar_t* name;
    short type;
  } columns[] = {{L"szRelationship", db_text}, {L"szColumn", db_text},           {L"szObject", db_text},
                 {L"szReferencedObject", db_text}, {L"szReferencedColumn", db_text}, {L"grbit", db_long},
                 {L"icolumn", db_long},        {L"ccolumn", db_long}};
  long long position = 0;
  for (const auto& column : columns) {
    const field_ptr field = make_field(column.name, column.type, 0);
    fields.bind(0, position++).bind(1, field->name).bind(2, field->type).bind(3, field->size);
    fields.bind(4, field->attributes).run();
  }
  sql_statement(db, std::string("INSERT INTO __dao_db VALUES ('format', '") + format_mark + "')").run();
  sql_statement(db, "INSERT INTO __dao_db VALUES ('password', ?)").bind(0, std::wstring(L"")).run();
  if (!password.empty()) {
    std::wstring record;
    utf8_to_wide_lenient(password_record(password), record);
    sql_statement(db, "UPDATE __dao_db SET value = ? WHERE key = 'password'").bind(0, record).run();
  }
}

void check_catalogue(sqlite3* db)
{
  bool ours = false;
  try {
    sql_statement mark(db, "SELECT value FROM __dao_db WHERE key = 'format'");
    ours = mark.step() && to_utf8(mark.text(0)) == format_mark;
  } catch (const dao_error& e) {
    if (e.number() != err_input_not_found && e.number() != err_invalid_sql)
      throw;
  }
  if (!ours)
    raise(err_unrecognized_format, L"");
}

std::string stored_password(sqlite3* db)
{
  sql_statement record(db, "SELECT value FROM __dao_db WHERE key = 'password'");
  return record.step() ? to_utf8(record.text(0)) : std::string();
}

void load_tables(access_session& session)
{
  sqlite3* db = session.db();
  session.tables.clear();
  sql_statement names(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
                          "ESCAPE '\\' AND name NOT LIKE '\\_\\_dao\\_%' ESCAPE '\\' ORDER BY rowid");
  sql_statement columns(db, "SELECT name, type, \"notnull\" FROM pragma_table_info(?) ORDER BY cid");
  sql_statement described(db, "SELECT name, type, size, required, allow_zero_length, default_value, attributes, "
                              "description, format FROM __dao_fields WHERE tbl = ? ORDER BY position");
  sql_statement indexes(db, "SELECT name, is_primary, is_unique, is_foreign, fields FROM __dao_indexes "
                            "WHERE tbl = ? ORDER BY position");
  while (names.step()) {
    auto table = std::make_shared<access_table>();
    table->def = std::make_shared<table_data>();
    table->stored = true;
    table_data& def = *table->def;
    def.name = names.text(0);
    if (def.name.size() >= 4 && equal_no_case(std::wstring_view(def.name).substr(0, 4), L"MSys"))
      def.attributes = db_system_object;

    std::vector<field_ptr> catalogue;
    described.bind(0, def.name);
    while (described.step()) {
      const field_ptr field = make_field(described.text(0), static_cast<short>(described.integer(1)),
                                         static_cast<LONG>(described.integer(2)));
      field->required = described.integer(3) != 0;
      field->allow_zero_length = described.integer(4) != 0;
      field->default_value = described.text(5);
      field->attributes = static_cast<LONG>(described.integer(6));
      if (!described.is_null(7))
        field->user_properties.emplace_back(L"Description", described.text(7));
      if (!described.is_null(8))
        field->user_properties.emplace_back(L"Format", described.text(8));
      catalogue.push_back(field);
    }
    described.reset();

    columns.bind(0, def.name);
    while (columns.step()) {
      const std::wstring name = columns.text(0);
      field_ptr field;
      for (const field_ptr& known : catalogue)
        if (equal_no_case(known->name, name))
          field = known;
      if (!field) {
        field = field_from_declaration(name, columns.text(1));
        field->required = columns.integer(2) != 0;
      }
      field->frozen = field->in_collection = true;
      def.fields->items.push_back(std::move(field));
    }
    columns.reset();
    def.fields->frozen = true;

    indexes.bind(0, def.name);
    while (indexes.step()) {
      auto index = std::make_shared<index_data>();
      index->name = indexes.text(0);
      index->primary = indexes.integer(1) != 0;
      index->unique = indexes.integer(2) != 0;
      index->foreign = indexes.integer(3) != 0;
      const std::wstring list = indexes.text(4);
      for (std::size_t at = 0; at <= list.size();) {
        std::size_t end = list.find(L'\n', at);
        if (end == std::wstring::npos)
          end = list.size();
        const std::wstring name = list.substr(at, end - at);
        const std::ptrdiff_t column = def.fields->find(name);
        field_ptr field = column >= 0 ? make_field(name, def.fields->items[static_cast<std::size_t>(column)]->type,
                                                   def.fields->items[static_cast<std::size_t>(column)]->size)
                                      : make_field(name, db_text, 0);
        field->frozen = field->in_collection = true;
        index->fields->items.push_back(std::move(field));
        at = end + 1;
      }
      index->fields->frozen = index->frozen = true;
      table->indexes.push_back(std::move(index));
    }
    indexes.reset();
    session.tables.push_back(std::move(table));
  }
}

void store_table(access_session& session, access_table& table)
{
  sqlite3* db = session.writable_db();
  savepoint change(db);
  table_data& def = *table.def;
  check_name(def.name);
  if (def.fields->items.empty())
    raise(err_no_field);
  for (const field_ptr& field : def.fields->items)
    check_name(field->name);
  for (const index_ptr& index : table.indexes)
    check_name(index->name);
  std::string create = "CREATE TABLE " + quoted_name(def.name) + " (";
  bool counter = false;
  for (const field_ptr& field : def.fields->items) {
    if (&field != &def.fields->items.front())
      create += ", ";
    create += quoted_name(field->name);
    const std::string type = sqlite_type(field->type);
    if ((field->attributes & db_auto_incr_field) != 0) {
      if (counter || type != "INTEGER")  // one counter per table, of whole numbers, as in Jet
        raise(err_not_supported);
      counter = true;
      // The row id itself: numbers are given once, never again after a delete.
      create += " INTEGER PRIMARY KEY AUTOINCREMENT";
    } else if (!type.empty()) {
      create += " " + type;
    }
    if (field->required)
      create += " NOT NULL";
    create += sqlite_default(*field);
  }
  sql_statement(db, create + ")").run();

  sql_statement fields(db, "INSERT INTO __dao_fields(tbl, position, name, type, size, required, allow_zero_length, "
                           "default_value, attributes) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
  long long position = 0;
  for (const field_ptr& field : def.fields->items) {
    fields.bind(0, def.name).bind(1, position++).bind(2, field->name).bind(3, field->type).bind(4, field->size);
    fields.bind(5, field->required ? 1 : 0).bind(6, field->allow_zero_length ? 1 : 0).bind(7, field->default_value);
    fields.bind(8, field->attributes).run();
  }
  for (const index_ptr& index : table.indexes)
    store_index(session, table, *index);
  change.commit();
}

void store_index(access_session& session, const access_table& table, const index_data& index)
{
  sqlite3* db = session.writable_db();
  savepoint change(db);
  check_name(index.name);
  if (index.fields->items.empty())
    raise(err_no_field);
  std::string columns;
  for (const field_ptr& field : index.fields->items) {
    if (table.def->fields->find(field->name) < 0)
      raise(err_item_not_found);
    columns += (columns.empty() ? "" : ", ") + quoted_name(field->name);
  }
  for (const index_ptr& other : table.indexes) {
    if (other.get() == &index)
      continue;
    if (equal_no_case(other->name, index.name))
      raise(err_index_exists, index.name);
    if (other->primary && index.primary)
      raise(err_primary_exists);
  }
  const bool unique = index.unique || index.primary;
  sql_statement(db, std::string(unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                        index_name(table.def->name, index.name) + " ON " + quoted_name(table.def->name) + " (" +
                        columns + ")")
      .run();
  std::wstring fields;
  utf8_to_wide_lenient(join_names(*index.fields, L'\n'), fields);
  sql_statement(db, "INSERT INTO __dao_indexes(tbl, position, name, is_primary, is_unique, is_foreign, fields) "
                    "VALUES (?, (SELECT count(*) FROM __dao_indexes WHERE tbl = ?1), ?, ?, ?, ?, ?)")
      .bind(0, table.def->name)
      .bind(1, index.name)
      .bind(2, index.primary ? 1 : 0)
      .bind(3, unique ? 1 : 0)
      .bind(4, index.foreign ? 1 : 0)
      .bind(5, fields)
      .run();
  change.commit();
}

void drop_table(access_session& session, const access_table& table)
{
  sqlite3* db = session.writable_db();
  if (table.def->attributes != 0)  // MSysRelationships belongs to the engine
    raise(err_not_supported);
  sql_statement related(db, "SELECT 1 FROM MSysRelationships WHERE szObject = ? OR szReferencedObject = ?1");
  if (related.bind(0, table.def->name).step())
    raise(err_in_relationship, table.def->name);
  savepoint change(db);
  sql_statement(db, "DROP TABLE " + quoted_name(table.def->name)).run();
  sql_statement(db, "DELETE FROM __dao_fields WHERE tbl = ?").bind(0, table.def->name).run();
  sql_statement(db, "DELETE FROM __dao_indexes WHERE tbl = ?").bind(0, table.def->name).run();
  change.commit();
}

std::vector<stored_query> load_queries(access_session& session)
{
  std::vector<stored_query> queries;
  sql_statement rows(session.db(), "SELECT name, sql FROM __dao_queries ORDER BY position");
  while (rows.step())
    queries.push_back({rows.text(0), rows.text(1)});
  return queries;
}

void store_query(access_session& session, const stored_query& query)
{
  sqlite3* db = session.writable_db();
  check_name(query.name);
  if (sql_statement(db, "SELECT 1 FROM __dao_queries WHERE name = ?").bind(0, query.name).step() ||
      session.find_table(query.name) >= 0)
    raise(err_object_exists, query.name);
  sql_statement(db, "INSERT INTO __dao_queries(name, sql) VALUES (?, ?)").bind(0, query.name).bind(1, query.sql).run();
}

std::vector<relation_data> load_relations(access_session& session)
{
  std::vector<relation_data> relations;
  sql_statement rows(session.db(), "SELECT szRelationship, szColumn, szObject, szReferencedObject, "
                                   "szReferencedColumn, grbit FROM MSysRelationships ORDER BY rowid");
  while (rows.step()) {
    const std::wstring name = rows.text(0);
    relation_data* relation = nullptr;
    for (relation_data& known : relations)
      if (equal_no_case(known.name, name))
        relation = &known;
    if (relation == nullptr) {
      relation = &relations.emplace_back();
      relation->name = name;
      relation->foreign_table = rows.text(2);
      relation->table = rows.text(3);
      relation->attributes = static_cast<LONG>(rows.integer(5));
    }
    const field_ptr field = make_field(rows.text(4), db_text, 0);
    field->foreign_name = rows.text(1);
    field->frozen = field->in_collection = true;
    relation->fields->items.push_back(field);
  }
  for (relation_data& relation : relations)
    relation.fields->frozen = true;
  return relations;
}

void store_relation(access_session& session, const relation_data& relation)
{
  sqlite3* db = session.writable_db();
  check_name(relation.name);
  if (relation.fields->items.empty())
    raise(err_relation_no_fields);
  if (sql_statement(db, "SELECT 1 FROM MSysRelationships WHERE szRelationship = ?").bind(0, relation.name).step())
    raise(err_object_exists, relation.name);
  const access_table& referenced = *session.table(relation.table);
  access_table& foreign = *session.table(relation.foreign_table);

  // The referenced fields need a unique index of exactly those fields; the
  // foreign fields must exist and be of the same types.
  auto foreign_index = std::make_shared<index_data>();
  for (const field_ptr& field : relation.fields->items) {
    const std::ptrdiff_t one = referenced.def->fields->find(field->name);
    const std::ptrdiff_t many = foreign.def->fields->find(field->foreign_name);
    if (one < 0 || many < 0)
      raise(err_item_not_found);
    if (referenced.def->fields->items[static_cast<std::size_t>(one)]->type !=
        foreign.def->fields->items[static_cast<std::size_t>(many)]->type)
      raise(err_relation_fields);
    field_ptr column = make_field(foreign.def->fields->items[static_cast<std::size_t>(many)]->name,
                                  foreign.def->fields->items[static_cast<std::size_t>(many)]->type, 0);
    column->frozen = column->in_collection = true;
    foreign_index->fields->items.push_back(std::move(column));
  }
  const auto covers_exactly = [&](const index_data& index) {
    if (!(index.unique || index.primary) || index.fields->items.size() != relation.fields->items.size())
      return false;
    for (const field_ptr& field : relation.fields->items)
      if (index.fields->find(field->name) < 0)
        return false;
    return true;
  };
  bool unique = false;
  for (const index_ptr& index : referenced.indexes)
    unique = unique || covers_exactly(*index);
  if (!unique)
    raise(err_no_unique_index);

  savepoint change(db);
  sql_statement row(db, "INSERT INTO MSysRelationships VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
  long long position = 0;
  for (const field_ptr& field : relation.fields->items) {
    row.bind(0, relation.name).bind(1, field->foreign_name).bind(2, foreign.def->name);
    row.bind(3, referenced.def->name).bind(4, field->name).bind(5, static_cast<long long>(relation.attributes));
    row.bind(6, position++).bind(7, static_cast<long long>(relation.fields->items.size())).run();
  }
  // Jet keeps the many side's index under the relation's name.
  foreign_index->name = relation.name;
  for (int n = 1; foreign.find_index(foreign_index->name) >= 0; ++n)
    foreign_index->name = relation.name + std::to_wstring(n);
  foreign_index->foreign = true;
  foreign_index->fields->frozen = foreign_index->frozen = true;
  store_index(session, foreign, *foreign_index);
  change.commit();
  foreign.indexes.push_back(std::move(foreign_index));
}

} // namespace plat::dao

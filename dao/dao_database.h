// A file opened through the DAO engine as a udb_database: for a conversion, the
// destination workbook, whose tables are worksheets. The workbook is written
// when the DAO database closes: close() reports a failure to write it, and the
// destructor closes (unchecked) only what close() has not.
#pragma once

#include "OLE/ole_ptr.h"
#include "UDB/udb_db.h"
#include "platform/clock.h"
#include "platform/dao/dao_interfaces.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class dao_schema_initializer;

class dao_database : public udb_database {
public:
  // Mode bits: 1 read-only, 8 append to an existing table, 16 exclusive,
  // 32 and 64 (both clear: read foreign keys), 128 no views.
  static constexpr std::uint32_t mode_read_only = 1, mode_append = 8, mode_no_fkeys = 32 | 64,
                                 mode_no_views = 128;

  // Holds its own reference to `database` (null is an internal error); lists
  // the tables and reads views and foreign keys as the mode says.
  dao_database(const std::wstring& name, DAODatabase* database, std::uint32_t mode);
  ~dao_database() override;

  // A new table defined from the columns (names made acceptable, unique
  // ignoring case) and opened for appending. With mode bit 8 an existing table
  // is opened for appending instead. A twin in case of a listed table, and a
  // name the database refuses as a name (3125), get a name of their own, which
  // the names map records; nothing is made under the refused one.
  // ole_type_exception for a column type DAO has no field for; dao_exception
  // when DAO refuses the definition.
  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& columns,
                                              const udb_indexes& indexes) override;
  // A recordset over the table (read-only with mode bit 0, else append-only);
  // null for a linked or system table.
  std::unique_ptr<udb_recordset> get_table(const std::wstring& name, std::uint32_t mode) override;
  // A recordset over the rows of `sql` (read-only with mode bit 0, else
  // append-only), its record count that of the whole result. dao_exception
  // when DAO cannot count or open it.
  std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& sql,
                                           std::uint32_t mode) override;
  // The number of rows `sql` gives.
  std::uint32_t get_query_count(const std::wstring& sql);
  // The statement opens as a recordset; never raises.
  bool test_query(const std::wstring& sql) override;
  bool delete_tab(const std::wstring& name) override;
  // One DAO relation per relationship, its cascades kept, its tables and fields
  // under the names they were created with; a referenced table without a
  // unique index of exactly the referenced columns gets one first. A
  // relationship DAO refuses is reported through the installed reporter and
  // the next one is made. Mode 8 (appending) writes none.
  void create_relationships(const udb_relationships& relationships) override;

  // Closes the DAO database, which writes the workbook. A failure raises
  // dao_exception (the previous file stays); the database is closed either way.
  // Recordsets made from it must be deleted first.
  void close();
  bool is_closed() const { return closed_; }

  // Lists the stored queries as views, their SQL rewritten for MySQL.
  void init_views();
  static bool is_system_table(const std::wstring& name);

  // Access SQL in MySQL's words: "]![" as "].[", Access functions by their
  // MySQL names (whole words), "<>" as "!=", no "WITH OWNERACCESS OPTION",
  // each outside quoted text only. "asc" is taken for the function only where
  // it is called, so a sort order "ASC" stays.
  static std::wstring rewrite_view_sql(const std::wstring& sql);
  // Every occurrence of `what` (letters A-Z without case) replaced in place.
  // The search goes on one character after each occurrence, inside `with`,
  // so `with` must not hold `what` after its first character.
  static std::wstring& replace_no_case(std::wstring& text, const wchar_t* what, const wchar_t* with);
  // The same for whole words outside quoted text ('...', "...", [...]): after
  // no letter or digit, before the end, a blank, "(", a tab, CR or LF.
  static std::wstring& replace_word_no_case(std::wstring& text, const wchar_t* what, const wchar_t* with);
  // The same for calls: a whole word that "(" follows after optional blanks,
  // outside quoted text ('...', "...", [...]). For function names that SQL
  // also has as keywords.
  static std::wstring& replace_call_no_case(std::wstring& text, const wchar_t* what, const wchar_t* with);

  // The name of a unique index added to `table`: "ui_" and the table name, cut
  // so that the whole keeps to 64 characters, then `now` as yymmddhhmmss. A
  // name among `taken` (the table's index names, compared ignoring case) gets
  // a counter before the time instead, so one second can give many names.
  static std::wstring gen_ui_name(const std::wstring& table, const std::vector<std::wstring>& taken,
                                  const SYSTEMTIME& now = plat::local_time());

  DAODatabase* get_dao_database() const { return database_.get(); }

private:
  // Reads MSysRelationships: rows of one name (ignoring case) are one
  // relationship; those of the navigation-pane tables are left out.
  void init_fkeys();
  // The relation made under `name`, which Jet takes and no other relation holds.
  void create_relationship(DAORelations& relations, const udb_relationship& source, const std::wstring& name);
  // The table defined and appended under that name; dao_exception when DAO refuses it.
  std::unique_ptr<dao_schema_initializer> define_table(const std::wstring& name, const udb_schema& columns,
                                                       const udb_indexes& indexes);

  ole_com_ptr<DAODatabase> database_;
  ole_com_ptr<DAOQueryDefs> query_defs_;
  ole_com_ptr<DAOTableDefs> table_defs_;
  bool closed_ = false;
};

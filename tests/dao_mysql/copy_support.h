// What the copies between engines share: a copier that moves every table of one
// database into another through the engine-neutral interfaces only (tables with
// their indexes, rows streamed, then the foreign keys), and an Access database
// in a folder of the test's own.
#pragma once

#include "../SQL/sql_test_support.h"
#include "../SQL/write/recording_reporter.h"

#include "UDB/udb_db.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"
#include "dao/dao_database.h"
#include "dao/dao_engine.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Every table of `from` made in `to` and filled row by row, then the foreign
// keys; what the target reports of single items goes to the installed reporter.
inline void copy_tables(udb_database& from, udb_database& to)
{
  const std::vector<std::wstring> names = from.get_table_names();
  for (const std::wstring& name : names) {
    auto source = from.get_table(name, 1);
    auto target = to.create_table(name, source->get_schema(), source->get_indexes());
    for (source->reset(); !source->is_eof(); source->next()) {
      const udb_record& row = *source->get_item();
      target->append_record(row, static_cast<std::uint32_t>(row.size()));
    }
    target->save();
  }
  to.create_relationships(from.get_relationships());
}

// A MySQL engine that reads for a copy: its session has the copy's own modes
// and time zone, as a sql_write_engine's always has.
inline std::unique_ptr<sql_engine> copy_reader(const test_server_info& server = test_server())
{
  auto engine = std::make_unique<sql_engine>();
  engine->set_copy_session(true);
  engine->connect(server.host, server.user, server.password, static_cast<int>(server.port));
  return engine;
}

// The DAO engine and an Access database file in a folder that goes with it.
class access_file {
public:
  access_file() : engine_(false)
  {
    if (!engine_.set_version_if(0))
      throw std::runtime_error("no DBEngine");
    plat::utf8_to_wide(dir_.file("copy.mdb"), path_);
  }

  std::unique_ptr<udb_database> create() { return engine_.create_db(path_); }
  std::unique_ptr<udb_database> open() { return engine_.open_db(path_, 0, L""); }
  // Writes the database's changes to the file.
  static void close(udb_database& database) { dynamic_cast<dao_database&>(database).close(); }

  // The way of a copy that passes through Access: from `from` into a new file,
  // which is written out and read again into `to`.
  void copy_through(udb_database& from, udb_database& to)
  {
    {
      auto middle = create();
      copy_tables(from, *middle);
      close(*middle);
    }
    auto middle = open();
    copy_tables(*middle, to);
  }

private:
  dao_engine engine_;
  temp_dir dir_;
  std::wstring path_;
};

// CHECKSUM TABLE of a qualified, quoted table name, on the server `admin`
// talks to (the shared test server when none is given).
inline std::string checksum_of(sql_admin& admin, const std::string& table)
{
  const std::string statement = "CHECKSUM TABLE " + table;
  if (mysql_real_query(admin.handle(), statement.data(), statement.size()) != 0)
    throw std::runtime_error(mysql_error(admin.handle()));
  std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> result(mysql_store_result(admin.handle()),
                                                                &mysql_free_result);
  MYSQL_ROW row = mysql_fetch_row(result.get());
  return row != nullptr && row[1] != nullptr ? row[1] : "NULL";
}

inline std::string checksum_of(const std::string& table)
{
  sql_admin own;
  return checksum_of(own, table);
}

// A copy that should go through without a word: every report is a failure.
inline void expect_no_reports(const recording_reporter& reporter)
{
  for (const auto& report : reporter.reports)
    ADD_FAILURE() << plat::to_utf8(report.context) << ": " << report.message;
}

inline std::wstring wide(const std::string& text)
{
  std::wstring out;
  plat::utf8_to_wide(text, out);
  return out;
}

inline std::string quote_name(const std::string& name)
{
  std::string quoted = "`";
  for (const char c : name)
    quoted += c == '`' ? std::string("``") : std::string(1, c);
  return quoted + "`";
}

// The copy's table holds what the server makes of the source table's rows in the
// copy's column types: every value by its HEX, row by row in key order, and the
// whole by CHECKSUM TABLE.
inline void expect_same_rows(sql_admin& admin, const scratch_database& source_db, const std::string& source,
                      const scratch_database& copy_db, const std::string& copy)
{
  SCOPED_TRACE(source + " copied as " + copy);
  const std::string copied = copy_db.quoted() + "." + quote_name(copy);
  scratch_database expected_db(admin, "_exp");
  const std::string expected = expected_db.quoted() + ".expected";
  admin.run("SET SESSION sql_mode = ''");
  admin.run("CREATE TABLE " + expected + " LIKE " + copied);
  admin.run("INSERT INTO " + expected + " SELECT * FROM " + source_db.quoted() + "." + quote_name(source));
  const std::string values = admin.value(
      "SELECT GROUP_CONCAT(CONCAT('IFNULL(HEX(`', REPLACE(COLUMN_NAME, '`', '``'), '`), ''null'')') ORDER BY "
      "ORDINAL_POSITION) FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = '" + copy_db.name() +
      "' AND TABLE_NAME = '" + copy + "'");
  const auto rows = [&](const std::string& table) {
    return admin.value("SELECT GROUP_CONCAT(CONCAT_WS(',', " + values + ") ORDER BY 1 SEPARATOR ';') FROM " + table);
  };
  EXPECT_EQ(rows(copied), rows(expected));
  EXPECT_EQ(checksum_of(copied), checksum_of(expected));
}

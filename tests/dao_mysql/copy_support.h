// What the copies between engines share: a copier that moves every table of one
// database into another through the engine-neutral interfaces only (tables with
// their indexes, rows streamed, then the foreign keys), and an Access database
// in a folder of the test's own.
#pragma once

#include "../SQL/sql_test_support.h"

#include "UDB/udb_db.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"
#include "dao/dao_database.h"
#include "dao/dao_engine.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <memory>
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

private:
  dao_engine engine_;
  temp_dir dir_;
  std::wstring path_;
};

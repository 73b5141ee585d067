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
#include "support/test_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
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

// A MariaDB server of the test's own, started and stopped as the shared one is,
// for a global setting a test must not impose on the tests beside it.
class own_test_server {
public:
  own_test_server()
  {
    run("start");
    info_ = read_test_server_env(dir_.file("env"));
  }
  ~own_test_server()
  {
    try {
      run("stop");
    } catch (...) {
    }
  }
  own_test_server(const own_test_server&) = delete;
  own_test_server& operator=(const own_test_server&) = delete;

  const test_server_info& info() const { return info_; }

  template <class Engine = sql_engine>
  std::unique_ptr<Engine> connected_engine() const
  {
    auto engine = std::make_unique<Engine>();
    engine->connect(info_.host, info_.user, info_.password, static_cast<int>(info_.port));
    return engine;
  }

private:
  void run(const std::string& command)
  {
    const std::string line = "'" QVT_TESTS_DIR "/../scripts/test-server' " + command + " '" + dir_.path().string() +
                             "' >/dev/null";
    if (std::system(line.c_str()) != 0)
      throw std::runtime_error("test-server " + command + " failed");
  }

  temp_dir dir_;
  test_server_info info_;
};

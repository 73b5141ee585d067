// The MySQL engine that writes: it creates and drops databases, takes the
// properties that say how tables are made, and opens every database as a
// sql_write_database. The connection and the reading switches are those of
// sql_engine; only code that writes into MySQL (tests, benchmarks, copies
// between engines) builds one.
#pragma once

#include "SQL/sql_engi.h"

#include <cstdint>
#include <memory>
#include <string>

class sql_write_engine : public sql_engine {
public:
  // Every session it opens is a copy's (set_copy_session).
  sql_write_engine() { set_copy_session(true); }

  // CREATE DATABASE in the engine's character set, then the new database opened
  // (mode 2) and selected.
  std::unique_ptr<udb_database> create_db(const std::wstring& name) override;
  // DROP DATABASE between switching foreign-key checks off and on again (a switch
  // that fails is only logged); a refused DROP raises and leaves the checks off.
  bool db_delete(const std::wstring& name) override;
  // Keeps the tree and takes the storage engine ("engine", InnoDB when absent)
  // and the character set ("character set", unchanged when absent) from its node.
  void set_properties(udb_properties* properties) override;

protected:
  std::unique_ptr<udb_database> open_database(const std::wstring& name, std::uint32_t mode) override;
};

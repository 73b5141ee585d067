// The values and rows of the MySQL engine. How each column's cells become values
// is decided once per result (a row plan); a row built from a plan can be filled
// again in place with the next row of the same result, so that streaming a table
// allocates nothing per cell beyond the values' own texts and byte arrays.
#pragma once

#include "UDB/udb_field.h"
#include "UDB/udb_schema.h"

#include <mysql.h>

#include <cstdint>
#include <string>
#include <vector>

// One result column as its cells are read.
struct sql_column {
  enum class kind : std::uint8_t {
    text,     // UTF-8 text
    bytes,    // a byte array of exactly the cell's length
    boolean,  // BIT(1): true when the byte is not zero
    bits,     // a wider BIT: its bytes as one unsigned number
    typed,    // the text read as `vartype`
  };

  std::wstring name;
  int type = 0;  // the MySQL field type
  VARTYPE vartype = VT_BSTR;
  kind how = kind::typed;
  // UTF-16 units of a text, or bytes of a byte array, that a row keeps (0: all).
  // Rows read with a limit are a workbook's (sql_cells::for_workbook); without
  // one, every value is as the server holds it.
  std::size_t kept_units = 0;
};

class sql_row_plan {
public:
  sql_row_plan() = default;
  // A query's rows: from the result's own field descriptors and the engine's
  // blob-to-text flag. `kept_units` bounds every text and byte array (0: none).
  sql_row_plan(unsigned count, const MYSQL_FIELD* fields, std::size_t kept_units = 0);
  // A table's rows: the schema's VARTYPEs, with the result's field types beside
  // them (the schema does not tell a BIT column from a number).
  sql_row_plan(const udb_schema& schema, unsigned count, const MYSQL_FIELD* fields,
               std::size_t kept_units = 0);

  std::size_t size() const { return columns_.size(); }
  const sql_column& operator[](std::size_t i) const { return columns_[i]; }
  // Rows built from plans of different results are never refilled from each other.
  std::uint64_t get_id() const { return id_; }

private:
  std::vector<sql_column> columns_;
  std::uint64_t id_ = 0;
};

// A cell value; its size is the cell's length in bytes, its flags are false.
class sql_field : public udb_field {
public:
  // The cell by its MySQL type: bytes, or text decoded from UTF-8 by the caller.
  sql_field(const std::wstring& name, int type, unsigned long length, int flags, const char* cell);
  sql_field(const std::wstring& name, int type, unsigned long length, int flags, const wchar_t* cell);
  // The cell by the descriptor's VARTYPE.
  sql_field(const t_ftd& descriptor, unsigned long length, const char* cell);
  sql_field(const sql_column& column, const char* cell, unsigned long length);

  // Replaces the value with the cell's, keeping the name.
  void assign(const sql_column& column, const char* cell, unsigned long length);
};

class sql_record : public udb_record {
public:
  // The first `count` cells of a row, by the schema's descriptors.
  sql_record(unsigned count, const udb_schema& schema, const unsigned long* lengths, MYSQL_ROW row);
  // The cells of a row by the result's field descriptors; null descriptors are an
  // internal error.
  sql_record(unsigned count, const MYSQL_FIELD* fields, const unsigned long* lengths, MYSQL_ROW row);
  sql_record(const sql_row_plan& plan, const unsigned long* lengths, MYSQL_ROW row);

  // Takes the row's values in place when this record was built by the same plan.
  // False, with nothing changed, when it was not.
  bool refill(const sql_row_plan& plan, const unsigned long* lengths, MYSQL_ROW row);

private:
  std::uint64_t plan_id_ = 0;
};

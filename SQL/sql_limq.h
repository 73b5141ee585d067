// One streamed reading of a table or query, cut into pages of records. The
// connection carries the stream until the object is destroyed; a page is filled
// in place, and a stream the server or the network breaks raises, never ends early.
#pragma once

#include "SQL/sql_rec.h"
#include "SQL/sql_util.h"

#include <mysql.h>

#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

class sql_database;
class udb_schema;

class sql_limited_query {
public:
  static constexpr std::uint32_t page_size = 256;
  using page = std::array<std::unique_ptr<sql_record>, page_size>;

  // Runs "SELECT * FROM " the quoted table (the `columns` list in place of *
  // when one is given), its first `first_rows` rows only when that is not 0. A
  // query runs as it was typed, so that the server returns its rows in the
  // query's own order (a derived table's ORDER BY is the server's to drop), but
  // only once the text has prepared as a derived table: a statement that is not
  // a query is refused there and never runs.
  sql_limited_query(sql_database& owner, const std::wstring& text, bool is_query,
                    std::uint32_t first_rows = 0, const std::wstring& columns = std::wstring());
  ~sql_limited_query();
  sql_limited_query(const sql_limited_query&) = delete;
  sql_limited_query& operator=(const sql_limited_query&) = delete;

  unsigned get_field_count() const { return field_count_; }
  MYSQL_FIELD* get_fields() const { return fields_; }

  // Reads the next rows into the page, up to its size: by the schema when one is
  // given and not empty, else by the result's field descriptors. Returns how many
  // slots now hold rows of this page; the others keep stale rows. A null page is
  // an internal error. When the stream breaks, the rows received before the
  // break are returned first and the error (sql_exception, or
  // sql_connection_lost_exception) is raised by the call that would read past
  // them.
  std::uint32_t store_to(page* rows, const udb_schema* schema);
  // The stream broke after the rows of the last page.
  bool is_broken() const { return failure_ != nullptr; }

private:
  MYSQL* handle_;
  sql_result_ptr result_;
  unsigned field_count_ = 0;
  MYSQL_FIELD* fields_ = nullptr;
  std::unique_ptr<sql_row_plan> plan_;
  bool ended_ = false;
  std::exception_ptr failure_;  // the error that broke the stream
};

// How MySQL columns and their cells become typed values, and how names and texts
// go into statements. A column is binary only when the server marks it so and
// its character set is binary (63); every name put into a statement is quoted with
// its inner backquotes doubled, and every literal is escaped by the client library.
#pragma once

#include "OLE/ole_var.h"
#include "platform/oleaut/vartype.h"

#include <mysql.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

inline constexpr unsigned sql_binary_charset = 63;

// Owns a client-library result. Freeing a streamed one fetches and drops the rows
// not read, so the connection is free again.
struct sql_result_free {
  void operator()(MYSQL_RES* result) const { mysql_free_result(result); }
};
using sql_result_ptr = std::unique_ptr<MYSQL_RES, sql_result_free>;

// Owns a prepared statement of the client library.
struct sql_stmt_close {
  void operator()(MYSQL_STMT* stmt) const { mysql_stmt_close(stmt); }
};
using sql_stmt_ptr = std::unique_ptr<MYSQL_STMT, sql_stmt_close>;

// `name` with every backquote doubled, between two backquotes.
std::wstring sql_quote_name(std::wstring_view name);
// A user's SELECT as a statement of its own: the text without the blanks and
// semicolons that end it, and a line end, so that a final ";" or line comment
// does not break it or what follows it.
std::wstring sql_query_statement(const std::wstring& query);
// The same SELECT as a derived table: "(" + the statement + ") as " + alias.
std::wstring sql_derived_table(const std::wstring& query, const wchar_t* alias);
// The UTF-8 text as a string literal between single quotes, escaped for the
// connection's character set and SQL mode.
std::string sql_quote_literal(MYSQL* handle, std::string_view utf8);

// Whether values of the type are byte arrays (VT_BLOB, VT_BLOB_OBJECT, VT_ARRAY|VT_UI1).
bool sql_is_byte_array(VARTYPE type);
// The engine's blob-to-text flag; false while there is no engine.
bool sql_blob_to_text();
// How many UTF-16 units of a text (bytes of a byte array) a row must keep so that
// the destination's cut after folding CR LF into LF still sees the same text:
// twice the engine's text limit and one more. 0 (keep everything) while there is
// no engine or no limit.
std::size_t sql_kept_units();

// The column's flags as the rest of the layer reads them: BINARY_FLAG stays only
// for the binary character set (text with a _bin collation is text).
unsigned sql_effective_flags(const MYSQL_FIELD& field);
// The column's name as wide text.
std::wstring sql_field_name(const MYSQL_FIELD& field);

// The VARTYPE of a column of this MySQL type (flags as sql_effective_flags gives
// them). BLOB types follow the engine's blob-to-text flag.
VARTYPE get_vartype(int type, int flags);
// As get_vartype, with what the descriptor adds: a BIT column wider than one bit
// is a number (VT_UI8), a GEOMETRY column of binary data is a byte array.
VARTYPE sql_column_vartype(const MYSQL_FIELD& field);

// One cell as the client library delivers it (null for SQL NULL) by the column's
// MySQL type: bytes (narrow) or text decoded from UTF-8 (wide).
ole_variant get_variant(int type, unsigned long length, int flags, const char* cell);
ole_variant get_variant(int type, unsigned long length, int flags, const wchar_t* cell);
// One cell's text read as the VARTYPE (null for SQL NULL).
ole_variant get_variant(VARTYPE type, const char* cell);
ole_variant get_variant(VARTYPE type, const wchar_t* cell);

// Who a row's cells are read for: a workbook (whose cells hold no NUL and show
// the zero date empty), or a writer of another database, who gets every value
// as the server holds it.
enum class sql_cells { for_workbook, as_held };

// A text cell: cut to the characters that fit in `max_units` UTF-16 units and
// without its NUL characters (a workbook's cell); with 0, the whole text, NULs
// and all.
void sql_assign_text(ole_variant& out, std::string_view utf8, std::size_t max_units);
// The cell-by-VARTYPE rules, into an existing value. The date and time that is
// all zeros is empty for a workbook and the server's text otherwise; a date with
// a zero or impossible part and a TIME outside a day keep the server's text.
// Numbers keep their value: an integer beyond 2^53 in size, and a DECIMAL whose
// digits the shortest form of the nearest double does not print back, are the
// server's text.
void sql_assign_typed(ole_variant& out, VARTYPE type, std::string_view text,
                      sql_cells cells = sql_cells::for_workbook);
// A BIT column's value: a number up to 2^53, else its decimal digits as text.
void sql_assign_bits(ole_variant& out, const char* cell, unsigned long length);
// The value of a BIT column: the cell's bytes, most significant first.
std::uint64_t sql_bit_value(const char* cell, unsigned long length);

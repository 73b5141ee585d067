// Values as MySQL literals: cells for INSERT and UPDATE statements, key values,
// and column DEFAULT texts. A value's text reaches a statement bare only when it
// is a plain number; every other text is quoted with backslash, apostrophe and
// NUL escaped by a backslash, which a session of the engine always reads.
#pragma once

#include "platform/oleaut/vartype.h"

#include <string>

class udb_field;
struct t_ftd;

// The literal of a text of the given type: NULL for VT_EMPTY and VT_NULL, '' for
// an empty text, dates re-printed with microseconds, a number bare (for
// byte-array types: decimal digits or 0x-hex), any other text quoted whole.
std::string to_mysql_str(const std::string& utf8, VARTYPE type);
std::wstring to_mysql_wstr(const std::wstring& text, VARTYPE type);
// The literal of a field's value; a byte array is "0x" and upper-case hexadecimal,
// '' when it holds no bytes (NULL only for a field with no value).
std::string to_mysql_str(const udb_field& field);
// The text that stands for the field's value in a statement writing to `column`:
// "?" for a prepared statement's long parameter (more than 1,048,576 elements),
// geometry through ST_GeomFromText, a GUID column's GUID text as its 36
// characters, and a missing value as NULL, the column's default or the empty
// literal.
std::string get_fld_append_str(const udb_field& field, const t_ftd& column, bool prepared);
// The same two literals appended to a statement being built, with no string of
// their own: the row writer's way.
void append_field_literal(std::string& out, const udb_field& field);
void append_fld_str(std::string& out, const udb_field& field, const t_ftd& column, bool prepared);
// The text after " DEFAULT " in the column's definition; empty when the column
// gets no DEFAULT (a default the server would refuse or read differently).
std::wstring make_mysql_def_val(const t_ftd& column);

// The texts that stand for "now" as a column default: NOW(), sysdate, sysdate(),
// getdate(), getutcdate(), CURRENT_TIMESTAMP; the whole text, ASCII case ignored.
bool sql_is_timestamp_keyword(const std::wstring& text);
// The text between apostrophes, every backslash and apostrophe escaped with a
// backslash: the one escaping rule of the literals in statements.
std::wstring sql_quote_wtext(const std::wstring& text);

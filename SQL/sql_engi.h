// The MySQL engine: one connection to a MySQL server, the session it prepares, and
// the exceptions of the MySQL layer. A database and its tables reach their own
// engine; the first engine of the process (tk_singleton<sql_engine>) also holds
// the reading switches (blob-to-text, text limit). The handle lives inside the
// engine, so its address stays the same across reconnections.
#pragma once

#include "TK/tk_exception.h"
#include "TK/tk_singl.h"
#include "UDB/udb_engine.h"

#include <mysql.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

class udb_indexes;
class udb_record;
class udb_schema;
class udb_validator;

// A failure the client library reports: its text, and 0x400000 with the low 16
// bits of the MySQL error number as the code. Level 0.
class sql_exception : public tk_exception {
public:
  // The error of the engine's connection as it stands now.
  sql_exception();
  // The error of the given connection.
  explicit sql_exception(MYSQL* handle);
  // The error of the given prepared statement.
  explicit sql_exception(MYSQL_STMT* statement);

protected:
  sql_exception(unsigned error_number, const std::string& text, std::uint32_t level);
};

// The connection is gone (killed, timed out, the server or the network went
// away): nothing more can be read on it, so whatever reads ends. Level 1, the
// code of a lost connection (0x4007DD) whichever number the library gave.
class sql_connection_lost_exception : public sql_exception {
public:
  explicit sql_connection_lost_exception(MYSQL* handle);
  explicit sql_connection_lost_exception(MYSQL_STMT* statement);

private:
  sql_connection_lost_exception(unsigned error_number, const std::string& text);
};

// Whether the client library's error number says the connection is gone.
bool sql_is_connection_lost(unsigned error_number);
// The handle's current error as the exception that fits it: a lost connection
// or an error of the statement alone.
std::exception_ptr sql_error_of(MYSQL* handle);
// Throws that exception.
[[noreturn]] void sql_raise(MYSQL* handle);
// The same for a prepared statement's current error.
[[noreturn]] void sql_raise(MYSQL_STMT* statement);

class sql_auth_not_supported_exception : public tk_exception {
public:
  sql_auth_not_supported_exception();
};

// A prepared statement the client library or the server refused, with the
// reason they gave. Level 1.
class sql_prep_stmt_failed_exception : public tk_exception {
public:
  explicit sql_prep_stmt_failed_exception(const std::string& reason);
};

inline constexpr std::uint32_t sql_error_code_base = 0x400000;

// The sql_mode of a session that copies between engines. Strict as a server's
// default is, without NO_ZERO_DATE or NO_ZERO_IN_DATE, and with invalid dates
// allowed: a date the source holds is written back as it is.
inline constexpr char sql_copy_sql_mode[] =
    "STRICT_TRANS_TABLES,NO_ENGINE_SUBSTITUTION,NO_AUTO_VALUE_ON_ZERO,ALLOW_INVALID_DATES";

// Server versions packed as major * 65536 + minor * 256 + patch.
inline constexpr std::uint32_t sql_version_fk_in_create = 0x03172C;  // 3.23.44
inline constexpr std::uint32_t sql_version_new = 0x040100;           // 4.1.0
inline constexpr std::uint32_t sql_version_full_tables = 0x050001;   // 5.0.1
inline constexpr std::uint32_t sql_version_referential = 0x05010A;   // 5.1.10: REFERENTIAL_CONSTRAINTS

// Reads the leading "major.minor.patch" of a server's version text; numbers that
// are missing count 0 ("8.0" is 8.0.0) and anything after them is ignored. False
// when the text does not start with a number.
bool sql_parse_server_version(const char* text, std::uint32_t& packed);

class sql_engine : public udb_engine, public tk_singleton<sql_engine> {
public:
  sql_engine();
  ~sql_engine() override;

  // Prepares the handle for a connection (option group, connect time-out).
  void initialize();
  // Closes an open connection first. An empty host or "localhost" connects
  // through the local socket that the client library's option files name. The
  // session it prepares reads backslash escapes in string literals and holds
  // the server's max_allowed_packet before any rows are streamed on it; a copy's
  // session also has the copy's own sql_mode and time zone (set_copy_session).
  void connect(const std::string& host, const std::string& user, const std::string& password,
               int port);
  // Every literal the engine builds escapes with backslashes: a session whose
  // sql_mode holds NO_BACKSLASH_ESCAPES (the server's default, or a statement
  // run since) gets that mode taken out again. Runs before each statement that
  // may carry literals; sql_exception when the mode cannot be changed, so that
  // no statement goes out to be misread.
  void keep_backslash_escapes();

  // A session that copies between engines fixes what the server would
  // otherwise decide for it: the whole sql_mode (sql_copy_sql_mode: backslash
  // escapes read, CHAR values unpadded, quotes as texts, dates such as
  // '2024-00-15' taken as they are, an AUTO_INCREMENT value 0 kept as 0) and the
  // time zone '+00:00', so that a TIMESTAMP read on one server keeps its instant
  // on another; a table's FLOAT columns are then read with every digit of the
  // stored single. Off for the workbook road, which shows the server's texts in
  // the server's zone; a sql_write_engine is always such a session. Applied at
  // once to a connected engine (sql_exception when the server refuses it) and
  // at every connect, where a refusal fails the connection.
  void set_copy_session(bool on);
  bool is_copy_session() const { return copy_session_; }

  // This engine only reads: creating or dropping a database raises an internal
  // error, and the properties, which say how databases and tables are made,
  // are only kept. Writing is the business of sql_write_engine (SQL/write/),
  // which no program links.
  std::unique_ptr<udb_database> create_db(const std::wstring& name) override;
  bool db_delete(const std::wstring& name) override;

  std::unique_ptr<udb_database> open_db(const std::wstring& name, std::uint32_t mode,
                                        const std::wstring& password) override;
  // Selects the database when it exists.
  bool is_db_exist(const std::wstring& name) override;

  // The server's databases in the order the server lists them; a failure ends
  // the list early and is only logged.
  std::vector<std::wstring> get_contents();
  void get_contents(std::vector<std::wstring>& names);

  // The name in backquotes, every backquote inside it doubled, whatever it
  // holds (a name written `q` is a name with two backquotes); an empty name
  // stays empty, and one of more than 64 characters is cut to 63.
  std::wstring get_safe_name(const std::wstring& name) const;

  void set_blob_to_text(bool on);
  bool is_blob_to_text() const { return blob_to_text_; }
  // The most UTF-16 units of a text that the destination keeps (0: no limit).
  // Rows read afterwards hold only as much of each text and byte array as that
  // cut can still need, so a page's memory does not grow with the cells' size.
  void set_text_limit(std::uint32_t units) { text_limit_ = units; }
  std::uint32_t get_text_limit() const { return text_limit_; }
  // Below 4.1.0.
  bool is_old_version() const;

  // The name rules of the connected server's family (old below 4.1.0, and before
  // a version is known) for the fields of a record or a schema, the indexes of a
  // table, and tables and views (the first list's names, then the second's).
  std::unique_ptr<udb_validator> create_fn_validator(const udb_record& record) const;
  std::unique_ptr<udb_validator> create_fn_validator(const udb_schema& schema) const;
  std::unique_ptr<udb_validator> create_in_validator(const udb_indexes& indexes) const;
  std::unique_ptr<udb_validator> create_tn_validator(const std::vector<std::wstring>& first,
                                                     const std::vector<std::wstring>& second) const;

  MYSQL* get_handle() { return &handle_; }
  // The connection's socket, -1 when not connected; shutting it down ends a
  // blocking read (a stop of the run does that).
  int get_socket() { return connected_ ? static_cast<int>(mysql_get_socket(&handle_)) : -1; }
  bool is_connected() const { return connected_; }
  std::uint32_t get_server_version() const { return server_version_; }
  // The next connect reads it again; statements built before then follow this one.
  void set_server_version(std::uint32_t packed) { server_version_ = packed; }
  bool is_fast_append() const { return fast_append_; }
  void set_fast_append(bool on) { fast_append_ = on; }
  // The character set of the databases and text columns it creates: the one
  // the properties name, else utf8mb4 where the server has it (the connection
  // took it), else utf8.
  const std::wstring& get_character_set() const
  {
    return character_set_.empty() ? connection_character_set_ : character_set_;
  }
  const std::wstring& get_table_engine() const { return table_engine_; }
  // The server's max_allowed_packet in bytes, asked of this engine's own
  // connection when it connects (never while rows stream on it); 0 while not
  // connected or when the server did not say.
  std::uint32_t get_max_allowed_packet() const { return max_allowed_packet_; }
  // Stands in for the server's answer until the next connect.
  void set_max_allowed_packet(std::uint32_t bytes) { max_allowed_packet_ = bytes; }

protected:
  // The database open_db hands out once the server has selected it.
  virtual std::unique_ptr<udb_database> open_database(const std::wstring& name, std::uint32_t mode);
  // Runs a statement that yields no rows; sql_exception when it fails.
  void execute(const char* statement);
  void set_table_engine(const std::wstring& engine) { table_engine_ = engine; }
  void set_character_set(const std::wstring& character_set) { character_set_ = character_set; }

private:
  void close_handle();
  void prepare_copy_session();

  // Asks the server for its max_allowed_packet; 0 when it does not say.
  std::uint32_t ask_max_allowed_packet();

  std::wstring character_set_;  // the properties' choice, empty when none
  std::wstring connection_character_set_ = L"utf8";
  std::wstring table_engine_ = L"InnoDB";
  bool connected_ = false;
  bool fast_append_ = true;
  bool copy_session_ = false;
  bool blob_to_text_ = false;
  std::uint32_t text_limit_ = 0;
  std::uint32_t server_version_ = 0;
  MYSQL handle_{};
  bool initialized_ = false;  // mysql_init ran and mysql_close has not
  std::uint32_t max_allowed_packet_ = 0;
};

// Switches the engine's blob-to-text flag on for a catalogue reading and puts the
// previous value back on every way out.
class sql_blob_to_text_scope {
public:
  sql_blob_to_text_scope();
  ~sql_blob_to_text_scope();
  sql_blob_to_text_scope(const sql_blob_to_text_scope&) = delete;
  sql_blob_to_text_scope& operator=(const sql_blob_to_text_scope&) = delete;

private:
  bool previous_;
};

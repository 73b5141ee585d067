// The MySQL side of the converter: the process's MySQL engine, the connection
// values and the dump options that travel in profiles. Connection values are
// UTF-8 texts, trimmed when stored; the port is checked before any connection.
#pragma once

#include "SQL/sql_engi.h"
#include "UDB/udb_prof.h"

#include <cstdint>
#include <string>

// Options of a SQL dump; no conversion reads them, profiles carry them along.
struct dump_options {
  dump_options();

  std::uint32_t line_break = 0;
  bool new_version = true;
  bool add_lock_to_insert = true;
  bool insert_comments = true;
  bool create_database = false;
  bool create_table = true;
};

inline constexpr wchar_t mysql_settings_section[] = L"MySQL settings";

// The engine's refusal of an authentication method that the client library
// lacks, which a front end tells from the other failures of a connection.
using mysql_auth_not_supported_exception = sql_auth_not_supported_exception;

class mysql_converter_impl {
public:
  mysql_converter_impl();
  virtual ~mysql_converter_impl();
  mysql_converter_impl(const mysql_converter_impl&) = delete;
  mysql_converter_impl& operator=(const mysql_converter_impl&) = delete;

  // [MySQL settings]; both return true.
  bool load_profile(const udb_profile& profile);
  bool store_profile(udb_profile& profile) const;

  // Trims the four texts; an empty port becomes "3306".
  void store_mysql_settings(const std::string& host_, const std::string& user_,
                            const std::string& password_, const std::string& port_);
  // Connects the engine with the stored values. A port that does not read as a
  // number from 1 to 65535 is the level-1 error "Invalid port number"; the
  // engine's errors pass on. Without a host the local server is reached through
  // its socket on port 3306 and over TCP on 127.0.0.1 on any other port. An
  // authentication method the client library lacks is
  // mysql_auth_not_supported_exception.
  void connect_mysql_server();
  // Whether the server runs the SELECT on the database; never throws.
  bool test_query(const std::wstring& database, const std::wstring& sql);

  sql_engine engine;
  dump_options dump;
  std::string host;
  std::string user;
  std::string password;
  std::string port = "3306";
};

// The MySQL engine's connection and session. The handle is initialised once per
// connection attempt and closed exactly once (on reconnect or destruction); the
// session statements are best effort, the connection and the version are not.
#include "SQL/sql_engi.h"

#include "SQL/sql_db.h"
#include "SQL/sql_recs.h"
#include "SQL/sql_util.h"
#include "SQL/sql_vali.h"
#include "TK/tk_codepage.h"
#include "TK/tk_log.h"
#include "UDB/udb_field.h"
#include "base/format.h"

#include <errmsg.h>
#include <mysqld_error.h>

#include <cstdlib>
#include <mutex>

namespace {

std::string error_text(MYSQL* handle)
{
  const char* text = mysql_error(handle);
  return text != nullptr ? std::string(text) : std::string();
}

std::string error_text(MYSQL_STMT* statement)
{
  const char* text = mysql_stmt_error(statement);
  return text != nullptr ? std::string(text) : std::string();
}

// The client library sets itself up once, before any thread uses it.
void init_client_library()
{
  static std::once_flag once;
  std::call_once(once, [] { mysql_library_init(0, nullptr, nullptr); });
}

} // namespace

// ---------------------------------------------------------------------------
// Exceptions

sql_exception::sql_exception() : sql_exception(sql_engine::instance().get_handle()) {}

sql_exception::sql_exception(MYSQL* handle)
    : sql_exception(mysql_errno(handle), error_text(handle), tk_level_recoverable)
{
}

sql_exception::sql_exception(MYSQL_STMT* statement)
    : sql_exception(mysql_stmt_errno(statement), error_text(statement), tk_level_recoverable)
{
}

sql_exception::sql_exception(unsigned error_number, const std::string& text, std::uint32_t level)
    : tk_exception(text, level)
{
  tk_log_message(2, "sql_exception::sql_exception( msg=%s)", get_message());
  set_code(sql_error_code_base | (error_number & 0xFFFFu));
  tk_log_message(2, "Got MySQL error code=%d", get_code());
}

sql_connection_lost_exception::sql_connection_lost_exception(MYSQL* handle)
    : sql_connection_lost_exception(mysql_errno(handle), error_text(handle))
{
}

sql_connection_lost_exception::sql_connection_lost_exception(MYSQL_STMT* statement)
    : sql_connection_lost_exception(mysql_stmt_errno(statement), error_text(statement))
{
}

sql_connection_lost_exception::sql_connection_lost_exception(unsigned error_number, const std::string& text)
    : sql_exception(error_number, text, tk_level_error)
{
  // The library's own text stays in the message; the code is one, so that no
  // text of the program's for "gone away" (sending too much) can replace it.
  set_message("The connection to the MySQL server was lost (" + get_message() +
              "). Nothing more can be read from it.");
  set_code(sql_error_code_base | CR_SERVER_LOST);
}

bool sql_is_connection_lost(unsigned error_number)
{
  switch (error_number) {
  case CR_SERVER_GONE_ERROR:
  case CR_SERVER_LOST:
  case CR_SERVER_LOST_EXTENDED:
  case ER_CONNECTION_KILLED:
  case ER_SERVER_SHUTDOWN:
  case 4031:  // MySQL 8: the server dropped an idle client
    return true;
  default:
    return false;
  }
}

std::exception_ptr sql_error_of(MYSQL* handle)
{
  if (sql_is_connection_lost(mysql_errno(handle)))
    return std::make_exception_ptr(sql_connection_lost_exception(handle));
  return std::make_exception_ptr(sql_exception(handle));
}

void sql_raise(MYSQL* handle)
{
  std::rethrow_exception(sql_error_of(handle));
}

void sql_raise(MYSQL_STMT* statement)
{
  if (sql_is_connection_lost(mysql_stmt_errno(statement)))
    throw sql_connection_lost_exception(statement);
  throw sql_exception(statement);
}

sql_auth_not_supported_exception::sql_auth_not_supported_exception()
    : tk_exception(std::string("The program does not support authentication protocol requested by "
                               "server. See 'Troubleshooting' article of the product documentation."),
                   tk_level_error)
{
}

sql_prep_stmt_failed_exception::sql_prep_stmt_failed_exception(const std::string& reason)
    : tk_exception(reason.empty() ? std::string("Failed to execute prepared statement")
                                  : "Failed to execute prepared statement: " + reason,
                   tk_level_error)
{
  set_code(sql_error_code_base + 3001);
}

// ---------------------------------------------------------------------------
// Version

bool sql_parse_server_version(const char* text, std::uint32_t& packed)
{
  if (text == nullptr)
    return false;
  std::uint32_t parts[3] = {0, 0, 0};
  const char* p = text;
  while (*p == ' ' || *p == '\t')
    ++p;
  for (int i = 0; i < 3; ++i) {
    if (*p < '0' || *p > '9') {
      if (i == 0)
        return false;
      break;
    }
    std::uint32_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
      value = value < 100000 ? value * 10 + static_cast<std::uint32_t>(*p - '0') : value;
    parts[i] = value;
    if (i < 2) {
      if (*p != '.')
        break;
      ++p;
    }
  }
  packed = parts[0] * 65536u + parts[1] * 256u + parts[2];
  return true;
}

// ---------------------------------------------------------------------------
// Engine

sql_engine::sql_engine()
{
  init_client_library();
  initialize();
}

sql_engine::~sql_engine()
{
  tk_log_message(2, "sql_engine::dtor");
  if (connected_) {
    try {
      execute("SET FOREIGN_KEY_CHECKS = 1");
    } catch (const sql_exception& e) {
      tk_log_message(2, "Cannot turn ON foreign key check: %s", e.what());
    }
  }
  close_handle();
  connected_ = false;
  tk_log_message(2, "sql_engine::dtor - END");
}

void sql_engine::close_handle()
{
  if (initialized_)
    mysql_close(&handle_);
  initialized_ = false;
}

void sql_engine::initialize()
{
  tk_log_message(1, "sql_engine::initialize");
  if (mysql_init(&handle_) == nullptr)
    throw tk_mail_assertion("sql_engi", 100);
  initialized_ = true;
  tk_log_message(1, "sql_engine::initialize - 1");
  mysql_options(&handle_, MYSQL_READ_DEFAULT_GROUP, "Norvale MySQL Lib");
  tk_log_message(1, "sql_engine::initialize - 2");
  const unsigned int timeout = 10;
  mysql_options(&handle_, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
  // A reader never sends local files; a server must not be able to ask for one.
  const unsigned int local_infile = 0;
  mysql_options(&handle_, MYSQL_OPT_LOCAL_INFILE, &local_infile);
  tk_log_message(1, "sql_engine::initialize - END");
}

void sql_engine::execute(const char* statement)
{
  if (mysql_query(&handle_, statement) != 0)
    throw sql_exception(&handle_);
}

void sql_engine::connect(const std::string& host, const std::string& user,
                         const std::string& password, int port)
{
  // The password never reaches the log file.
  tk_log_message(2, "sql_engine::connect(%s,%s,%s,%d)", host, user,
                 std::string(password.empty() ? "" : "*****"), port);
  if (connected_) {
    tk_log_message(2, "Connection was established already - disconnecting first...");
    close_handle();
    initialize();
    connected_ = false;
  } else if (!initialized_) {
    initialize();
  }

  tk_log_message(3, "Connecting to MySQL server...");
  // Another server (or the same one, reconfigured) may take other packets.
  max_allowed_packet_ = 0;
  if (mysql_real_connect(&handle_, host.empty() ? nullptr : host.c_str(), user.c_str(),
                         password.c_str(), nullptr, port > 0 ? static_cast<unsigned int>(port) : 0u,
                         nullptr, CLIENT_REMEMBER_OPTIONS) == nullptr)
    throw sql_exception(&handle_);
  connected_ = true;

  tk_log_message(2, "Setting UTF-8 collation...");
  connection_character_set_ = L"utf8";
  try {
    // utf8 is the three-byte form on most servers; utf8mb4 keeps every
    // character, and so do the databases and tables made where the server has it.
    try {
      execute("SET NAMES utf8mb4");
      connection_character_set_ = L"utf8mb4";
    } catch (const sql_exception& e) {
      tk_log_message(2, "Cannot set utf8mb4: %s", e.what());
      execute("SET NAMES UTF8");
    }
  } catch (const sql_exception& e) {
    tk_log_message(3, "Failed to set UTF-8 collation");
    tk_log_message(2, "Cannot set UTF-8 collation: %s", e.what());
  }

  // A copy that cannot have its own modes and zone would change values unseen.
  if (copy_session_) {
    try {
      prepare_copy_session();
    } catch (const sql_exception&) {
      close_handle();
      connected_ = false;
      initialize();
      throw;
    }
  }

  try {
    keep_backslash_escapes();
  } catch (const sql_exception& e) {
    // Reading needs no literal; a statement that would carry one asks again.
    tk_log_message(3, "Cannot turn backslash escapes on: %s", e.what());
  }

  tk_log_message(2, "Setting wait_timeout...");
  try {
    execute("set session wait_timeout=cast(if(@@session.wait_timeout < 28800,28800,@@session.wait_timeout) as unsigned);");
  } catch (const sql_exception& e) {
    tk_log_message(3, "Failed to set wait_timeout");
    tk_log_message(2, "Cannot set wait_timeout: %s", e.what());
  }
  // Asked now, while nothing streams on the connection: a statement sent in the
  // middle of a streamed result would break both.
  max_allowed_packet_ = ask_max_allowed_packet();

  const char* version = mysql_get_server_info(&handle_);
  if (version == nullptr || *version == '\0')
    return;
  tk_log_message(2, "Got MySQL server version: %s", version);
  std::uint32_t packed = 0;
  if (!sql_parse_server_version(version, packed)) {
    tk_log_message(3, "Invalid MySQL version: %s", version);
    const std::string text = version;
    close_handle();
    connected_ = false;
    initialize();
    throw tk_exception(base::sprintf("Unsupported MySQL server version: %s", text), tk_level_error);
  }
  server_version_ = packed;
  tk_log_message(1, "Hex version: %08X", server_version_);

  if (server_version_ == sql_version_new && !password.empty())
    throw sql_auth_not_supported_exception();

  try {
    execute("SET FOREIGN_KEY_CHECKS = 0");
  } catch (const sql_exception& e) {
    tk_log_message(2, "Cannot turn off foreign key check: %s", e.what());
  }
}

void sql_engine::keep_backslash_escapes()
{
  if (!connected_ || (handle_.server_status & SERVER_STATUS_NO_BACKSLASH_ESCAPES) == 0)
    return;
  tk_log_message(2, "The session's sql_mode holds NO_BACKSLASH_ESCAPES: taking it out");
  execute("SET SESSION sql_mode = TRIM(BOTH ',' FROM REPLACE(CONCAT(',', @@SESSION.sql_mode, ','), "
          "',NO_BACKSLASH_ESCAPES,', ','))");
}

void sql_engine::set_copy_session(bool on)
{
  copy_session_ = on;
  if (on && connected_)
    prepare_copy_session();
}

void sql_engine::prepare_copy_session()
{
  tk_log_message(2, "Setting the copy's sql_mode and time zone");
  execute((std::string("SET SESSION sql_mode = '") + sql_copy_sql_mode + "', time_zone = '+00:00'").c_str());
}

std::unique_ptr<udb_database> sql_engine::create_db(const std::wstring&)
{
  throw tk_mail_assertion("sql_engi", 285);
}

bool sql_engine::db_delete(const std::wstring&)
{
  throw tk_mail_assertion("sql_engi", 296);
}

std::uint32_t sql_engine::ask_max_allowed_packet()
{
  tk_log_message(1, "sql_engine::ask_max_allowed_packet");
  try {
    sql_tmp_recordset answer(&handle_, "SHOW VARIABLES LIKE 'max_allowed_packet'");
    answer.initialize();
    const udb_record* row = answer.get_item();
    // A server that names no value leaves the limit unknown (0), as before connecting.
    if (row == nullptr || row->size() < 2)
      return 0;
    const auto bytes = static_cast<std::uint32_t>(std::strtoul((*row)[1]->to_string().c_str(), nullptr, 10));
    tk_log_message(1, "max_packet_size=%d", bytes);
    return bytes;
  } catch (const sql_connection_lost_exception&) {
    throw;
  } catch (const tk_exception& e) {
    tk_log_message(3, "Cannot read max_allowed_packet: %s", e.get_message());
    return 0;
  }
}

std::unique_ptr<udb_database> sql_engine::open_db(const std::wstring& name, std::uint32_t mode,
                                                  const std::wstring&)
{
  tk_log_message(2, L"sql_engine::open_db (%s)", name);
  tk_log_message(3, L"Opening MySQL database '%s'", name);
  if (mysql_select_db(&handle_, tk_wstring_to_utf8(name).c_str()) != 0)
    sql_raise(&handle_);
  return open_database(name, mode);
}

std::unique_ptr<udb_database> sql_engine::open_database(const std::wstring& name, std::uint32_t mode)
{
  return std::make_unique<sql_database>(*this, name, mode);
}

bool sql_engine::is_db_exist(const std::wstring& name)
{
  tk_log_message(1, L"sql_engine::is_db_exist(%s)", name);
  const int result = mysql_select_db(&handle_, tk_wstring_to_utf8(name).c_str());
  tk_log_message(1, "n_result=%d", result);
  return result == 0;
}

std::vector<std::wstring> sql_engine::get_contents()
{
  std::vector<std::wstring> names;
  get_contents(names);
  return names;
}

void sql_engine::get_contents(std::vector<std::wstring>& names)
{
  tk_log_message(2, "sql_engine::get_contents");
  try {
    sql_list_databases_rs listing(&handle_);
    listing.reset();
    while (!listing.is_eof()) {
      const udb_record* record = listing.get_item();
      if (record != nullptr && record->size() > 0) {
        std::wstring name = (*record)[0]->to_wstring();
        tk_log_message(2, L"Got database (1): %s", name);
        names.push_back(std::move(name));
      }
      listing.next();
    }
  } catch (const std::exception& e) {
    tk_log_message(2, "ERROR: %s", e.what());
  }
}

std::wstring sql_engine::get_safe_name(const std::wstring& name) const
{
  tk_log_message(1, L"sql_engine::get_safe_name(%s)", name);
  // A name that looks quoted already (`q`) is a name with backquotes in it: it
  // is quoted like any other, or it would stand for another table.
  if (name.empty())
    return name;
  std::wstring result = sql_quote_name(name.size() > 64 ? std::wstring_view(name).substr(0, 63)
                                                        : std::wstring_view(name));
  tk_log_message(1, L"Returns [%s]", result);
  return result;
}

void sql_engine::set_blob_to_text(bool on)
{
  tk_log_message(2, "sql_engine::set_blob_to_text(%d)", int(on));
  blob_to_text_ = on;
}

bool sql_engine::is_old_version() const
{
  tk_log_message(1, "is_old_version(%08X)", server_version_);
  return server_version_ < sql_version_new;
}

std::unique_ptr<udb_validator> sql_engine::create_fn_validator(const udb_record& record) const
{
  tk_log_message(1, "sql_engine::create_fn_validator( const udb_record& )");
  if (is_old_version())
    return std::make_unique<sql_old_fn_validator>(record);
  return std::make_unique<sql_new_fn_validator>(record);
}

std::unique_ptr<udb_validator> sql_engine::create_fn_validator(const udb_schema& schema) const
{
  tk_log_message(1, "sql_engine::create_fn_validator( const udb_schema& )");
  if (is_old_version())
    return std::make_unique<sql_old_fn_validator>(schema);
  return std::make_unique<sql_new_fn_validator>(schema);
}

std::unique_ptr<udb_validator> sql_engine::create_in_validator(const udb_indexes& indexes) const
{
  tk_log_message(1, "sql_engine::create_in_validator");
  if (is_old_version())
    return std::make_unique<sql_old_in_validator>(indexes);
  return std::make_unique<sql_new_in_validator>(indexes);
}

std::unique_ptr<udb_validator> sql_engine::create_tn_validator(
    const std::vector<std::wstring>& first, const std::vector<std::wstring>& second) const
{
  tk_log_message(1, "sql_engine::create_tn_validator");
  if (is_old_version())
    return std::make_unique<sql_old_tn_validator>(first, second);
  return std::make_unique<sql_new_tn_validator>(first, second);
}

// ---------------------------------------------------------------------------

sql_blob_to_text_scope::sql_blob_to_text_scope()
    : previous_(sql_engine::instance().is_blob_to_text())
{
  sql_engine::instance().set_blob_to_text(true);
}

sql_blob_to_text_scope::~sql_blob_to_text_scope()
{
  if (tk_singleton<sql_engine>::exists())
    sql_engine::instance().set_blob_to_text(previous_);
}

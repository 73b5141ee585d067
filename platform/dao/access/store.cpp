// Opening and creating Access databases, the SQLite connection and statements,
// the Access error numbers and the password check. A database is only ever
// opened when its catalogue says it is one of ours and the password matches;
// the password itself is never stored, only a salted SHA-256 of it.
#include "platform/dao/access/store.h"

#include "platform/text_codec.h"

#include <sqlite3.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <random>

namespace plat::dao {

namespace {

const char* text_of(access_number number)
{
  switch (number) {
  case err_object_exists: return "Object '%s' already exists.";
  case err_duplicate_key:
    return "The changes you requested to the table were not successful because they would create duplicate values "
           "in the index, primary key, or relationship.";
  case err_file_not_found: return "Could not find file '%s'.";
  case err_bad_password: return "Not a valid password.";
  case err_invalid_path: return "'%s' is not a valid path.";
  case err_file_in_use: return "Could not use the database; file already in use.";
  case err_field_too_small: return "The field '%s' is too small to accept the amount of data you attempted to add.";
  case err_database_exists: return "Database '%s' already exists.";
  case err_primary_exists: return "Primary key already exists.";
  case err_in_relationship: return "Cannot delete table '%s'; it is part of one or more relationships.";
  case err_index_exists: return "Index '%s' already exists.";
  case err_required_null: return "The field '%s' cannot contain a Null value because its Required property is True.";
  case err_zero_length: return "Field '%s' cannot be a zero-length string.";
  case err_unrecognized_format: return "Unrecognized database format '%s'.";
  case err_relation_no_fields: return "Cannot append a relation with no fields defined.";
  case err_relation_fields: return "Relationship must be on the same number of fields with the same data types.";
  case err_no_unique_index: return "No unique index found for the referenced field of the primary table.";
  }
  return "Unexpected error in the database engine.";
}

void execute(sqlite3* db, const char* sql)
{
  const int code = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  if (code != SQLITE_OK)
    raise_sqlite(db, code);
}

struct connection_closer {
  void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
using connection = std::unique_ptr<sqlite3, connection_closer>;

connection open_file(const std::wstring& path, int flags)
{
  sqlite3* raw = nullptr;
  const int code = sqlite3_open_v2(to_utf8(path).c_str(), &raw, flags | SQLITE_OPEN_EXRESCODE, nullptr);
  connection db(raw);
  if (code != SQLITE_OK) {
    if (db == nullptr)
      throw std::bad_alloc();
    if ((code & 0xFF) == SQLITE_CANTOPEN)
      raise(err_invalid_path, path);
    raise_sqlite(db.get(), code);
  }
  sqlite3_busy_timeout(db.get(), 2000);
  return db;
}

// SHA-256 (FIPS 180-4), enough for the password record.
std::array<unsigned char, 32> sha256(std::string_view data)
{
  static constexpr std::uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
      0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
      0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
      0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
      0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
      0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
      0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
      0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
  std::uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::string message(data);
  const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
  message.push_back(static_cast<char>(0x80));
  while (message.size() % 64 != 56)
    message.push_back('\0');
  for (int shift = 56; shift >= 0; shift -= 8)
    message.push_back(static_cast<char>((bits >> shift) & 0xFF));
  const auto rotr = [](std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
  for (std::size_t block = 0; block < message.size(); block += 64) {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
      w[i] = 0;
      for (int b = 0; b < 4; ++b)
        w[i] = (w[i] << 8) | static_cast<unsigned char>(message[block + static_cast<std::size_t>(i * 4 + b)]);
    }
    for (int i = 16; i < 64; ++i) {
      const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
    for (int i = 0; i < 64; ++i) {
      const std::uint32_t t1 = hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      const std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      hh = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += hh;
  }
  std::array<unsigned char, 32> digest{};
  for (std::size_t i = 0; i < 32; ++i)
    digest[i] = static_cast<unsigned char>(h[i / 4] >> (24 - 8 * (i % 4)));
  return digest;
}

std::string hex(const unsigned char* bytes, std::size_t count)
{
  std::string text;
  char pair[3];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    text += pair;
  }
  return text;
}

std::string salted_hash(std::string_view salt, std::wstring_view password)
{
  const auto digest = sha256(std::string(salt) + to_utf8(password));
  return hex(digest.data(), digest.size());
}

} // namespace

void raise(access_number number, std::wstring_view name)
{
  std::string text = text_of(number);
  if (const auto at = text.find("%s"); at != std::string::npos)
    text.replace(at, 2, to_utf8(name));
  throw dao_error(number, text);
}

void raise_sqlite(sqlite3* db, int code)
{
  const std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  switch (code) {
  case SQLITE_CONSTRAINT_UNIQUE: case SQLITE_CONSTRAINT_PRIMARYKEY: case SQLITE_CONSTRAINT_ROWID:
    raise(err_duplicate_key);
  case SQLITE_CONSTRAINT_NOTNULL: {
    // "NOT NULL constraint failed: t.column"
    std::wstring column;
    utf8_to_wide_lenient(message.substr(message.rfind('.') + 1), column);
    raise(err_required_null, column);
  }
  default: break;
  }
  switch (code & 0xFF) {
  case SQLITE_NOMEM: throw std::bad_alloc();
  case SQLITE_READONLY: raise(err_read_only);
  case SQLITE_BUSY: case SQLITE_LOCKED: raise(err_file_in_use);
  default: break;
  }
  if ((code & 0xFF) == SQLITE_ERROR && message.rfind("no such table: ", 0) == 0) {
    std::wstring table;
    utf8_to_wide_lenient(message.substr(15), table);
    raise(err_input_not_found, table);
  }
  if ((code & 0xFF) == SQLITE_ERROR)
    throw dao_error(err_invalid_sql, "Invalid SQL statement: " + message + ".");
  throw dao_error(err_unexpected, "Unexpected error in the database engine: " + message + ".");
}

sql_statement::sql_statement(sqlite3* db, std::string_view sql) : db_(db)
{
  const int code = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
  if (code != SQLITE_OK)
    raise_sqlite(db, code);
  if (stmt_ == nullptr)  // no statement in the text
    throw dao_error(err_invalid_sql, "Invalid SQL statement: the text holds no statement.");
}

sql_statement::~sql_statement()
{
  sqlite3_finalize(stmt_);
}

sql_statement& sql_statement::bind(int at, std::wstring_view text)
{
  const std::string utf8 = to_utf8(text);
  const int code = sqlite3_bind_text64(stmt_, at + 1, utf8.data(), utf8.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  if (code != SQLITE_OK)
    raise_sqlite(db_, code);
  return *this;
}

sql_statement& sql_statement::bind(int at, long long number)
{
  const int code = sqlite3_bind_int64(stmt_, at + 1, number);
  if (code != SQLITE_OK)
    raise_sqlite(db_, code);
  return *this;
}

bool sql_statement::step()
{
  const int code = sqlite3_step(stmt_);
  if (code == SQLITE_ROW)
    return true;
  if (code == SQLITE_DONE)
    return false;
  sqlite3_reset(stmt_);
  raise_sqlite(db_, code);
}

void sql_statement::run()
{
  while (step()) {
  }
  reset();
}

void sql_statement::reset()
{
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

long long sql_statement::integer(int at) const
{
  return sqlite3_column_int64(stmt_, at);
}

std::wstring sql_statement::text(int at) const
{
  const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, at));
  std::wstring wide;
  if (bytes != nullptr)
    utf8_to_wide_lenient(std::string_view(bytes, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, at))), wide);
  return wide;
}

bool sql_statement::is_null(int at) const
{
  return sqlite3_column_type(stmt_, at) == SQLITE_NULL;
}

savepoint::savepoint(sqlite3* db) : db_(db)
{
  execute(db_, "SAVEPOINT change");
}

savepoint::~savepoint()
{
  if (!done_) {
    sqlite3_exec(db_, "ROLLBACK TO change", nullptr, nullptr, nullptr);
    sqlite3_exec(db_, "RELEASE change", nullptr, nullptr, nullptr);
  }
}

void savepoint::commit()
{
  execute(db_, "RELEASE change");
  done_ = true;
}

std::string quoted_name(std::wstring_view name)
{
  std::string text = "\"";
  for (const char c : to_utf8(name)) {
    text += c;
    if (c == '"')
      text += '"';
  }
  return text + '"';
}

std::ptrdiff_t access_table::find_index(std::wstring_view name) const
{
  for (std::size_t i = 0; i < indexes.size(); ++i)
    if (equal_no_case(indexes[i]->name, name))
      return static_cast<std::ptrdiff_t>(i);
  return -1;
}

access_session::access_session(std::shared_ptr<error_state> errors_, std::wstring name_, sqlite3* db,
                               bool read_only_)
    : errors(std::move(errors_)), name(std::move(name_)), read_only(read_only_), db_(db)
{
}

access_session::~access_session()
{
  if (db_ == nullptr)
    return;
  // Jet keeps every change it was given; so does a session its caller never
  // closed.
  sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db_);
}

sqlite3* access_session::db()
{
  if (db_ == nullptr)
    raise(err_object_closed);
  return db_;
}

sqlite3* access_session::writable_db()
{
  sqlite3* handle = db();
  if (read_only)
    raise(err_read_only);
  return handle;
}

std::ptrdiff_t access_session::find_table(std::wstring_view table) const
{
  for (std::size_t i = 0; i < tables.size(); ++i)
    if (equal_no_case(tables[i]->def->name, table))
      return static_cast<std::ptrdiff_t>(i);
  return -1;
}

const access_table_ptr& access_session::table(std::wstring_view table) const
{
  const std::ptrdiff_t at = find_table(table);
  if (at < 0)
    raise(err_item_not_found);
  return tables[static_cast<std::size_t>(at)];
}

void access_session::close()
{
  connection db(std::exchange(db_, nullptr));
  if (db == nullptr)
    raise(err_object_closed);
  recordsets.close_all(&close_access_recordset);
  const int code = sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr);
  if (code != SQLITE_OK) {
    sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    raise_sqlite(db.get(), code);
  }
}

std::wstring password_of(std::wstring_view connect)
{
  std::size_t at = 0;
  while (at < connect.size()) {
    std::size_t end = connect.find(L';', at);
    if (end == std::wstring_view::npos)
      end = connect.size();
    const std::wstring_view part = connect.substr(at, end - at);
    if (part.size() >= 4 && equal_no_case(part.substr(0, 4), L"pwd="))
      return std::wstring(part.substr(4));
    at = end + 1;
  }
  return {};
}

std::string password_record(std::wstring_view password)
{
  if (password.empty())
    return {};
  std::random_device random;
  unsigned char salt[16];
  for (unsigned char& byte : salt)
    byte = static_cast<unsigned char>(random());
  const std::string salt_text = hex(salt, sizeof salt);
  return salt_text + ':' + salted_hash(salt_text, password);
}

bool password_matches(std::wstring_view password, std::string_view record)
{
  if (record.empty())
    return true;  // a database without a password opens with any
  const std::size_t colon = record.find(':');
  if (colon == std::string_view::npos)
    return false;
  return salted_hash(record.substr(0, colon), password) == record.substr(colon + 1);
}

com_ref<DAODatabase> create_access_database(std::shared_ptr<error_state> errors, const std::wstring& path,
                                            std::wstring_view locale)
{
  std::error_code error;
  if (std::filesystem::exists(to_utf8(path), error))
    raise(err_database_exists, path);
  connection db = open_file(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXCLUSIVE);
  try {
    execute(db.get(), "BEGIN");
    create_catalogue(db.get(), password_of(locale));
    execute(db.get(), "COMMIT");
  } catch (...) {
    db.reset();
    std::filesystem::remove(to_utf8(path), error);
    throw;
  }
  execute(db.get(), "BEGIN");
  auto session = std::make_shared<access_session>(std::move(errors), path, db.release(), false);
  load_tables(*session);
  return make_access_database(std::move(session));
}

com_ref<DAODatabase> open_access_database(std::shared_ptr<error_state> errors, const std::wstring& path,
                                          std::wstring_view connect, bool exclusive, bool read_only)
{
  std::error_code error;
  if (!std::filesystem::is_regular_file(to_utf8(path), error))
    raise(err_file_not_found, path);
  connection db = open_file(path, read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
  try {
    check_catalogue(db.get());
  } catch (const dao_error& e) {
    if (e.number() == err_unrecognized_format)
      throw;
    raise(err_unrecognized_format, path);  // not an SQLite file at all
  }
  if (!password_matches(password_of(connect), stored_password(db.get())))
    raise(err_bad_password);
  if (exclusive)
    execute(db.get(), "PRAGMA locking_mode=EXCLUSIVE");
  execute(db.get(), read_only ? "BEGIN" : "BEGIN IMMEDIATE");
  auto session = std::make_shared<access_session>(std::move(errors), path, db.release(), read_only);
  load_tables(*session);
  return make_access_database(std::move(session));
}

} // namespace plat::dao

// The MySQL engine as a destination, against the test server: databases and
// tables it creates, drops and empties, and rows it writes in each way (gathered,
// one by one, replacing, as long data), read back through the engine's reading
// side and through a connection of the test's own.
#include "SQL/sql_test_support.h"
#include "SQL/write/sql_db_write.h"
#include "SQL/write/sql_engi_write.h"
#include "property_tree.h"
#include "recording_reporter.h"

#include "SQL/sql_engi.h"
#include "SQL/sql_recs.h"
#include "TK/tk_exception.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr VARTYPE byte_array = VT_ARRAY | VT_UI1;
constexpr std::uint32_t replace_mode = 0x100;

t_ftd column(const std::wstring& name, VARTYPE type, std::uint32_t size, std::uint32_t sub_type = 0)
{
  return t_ftd(size, name, type, false, false, ole_variant(), sub_type, L"");
}

ole_variant bytes(const std::string& raw)
{
  return ole_variant(ole_variant::byte_vector(raw.begin(), raw.end()));
}

// A byte array that holds no bytes (an empty BLOB as the reading side gives it).
ole_variant no_bytes()
{
  ole_variant value;
  value.allocate_safe_array(0);
  return value;
}

udb_schema keyed_schema(std::vector<t_ftd> columns)
{
  udb_schema schema;
  t_ftd id = column(L"id", VT_I4, 11);
  id.not_null = true;
  schema.emplace_back(id);
  for (const t_ftd& c : columns)
    schema.emplace_back(c);
  return schema;
}

udb_indexes primary_on_id()
{
  udb_indexes indexes;
  indexes.push_back(udb_index(L"PRIMARY", true, true, {L"id"}));
  return indexes;
}

// One record: fields named and valued in the order given.
struct row_builder {
  udb_record record;
  row_builder& operator()(const std::wstring& name, const ole_variant& value)
  {
    record.emplace_back(name, 0u, value, false, false);
    return *this;
  }
};

// A database the engine creates for one test; dropped at the end by the test's
// own connection whatever happened.
class SqlWrite : public ::testing::Test {
protected:
  void SetUp() override
  {
    engine_ = connected_engine<sql_write_engine>();
    static int counter = 0;
    name_ = "qvt_sqlw_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    admin_.run("DROP DATABASE IF EXISTS `" + name_ + "`");
    db_ = engine_->create_db(wide(name_));
  }
  void TearDown() override
  {
    db_.reset();
    try {
      admin_.run("DROP DATABASE IF EXISTS `" + name_ + "`");
    } catch (...) {
    }
  }

  sql_write_database& db() { return static_cast<sql_write_database&>(*db_); }

  // A table of an id primary key and the given columns.
  std::unique_ptr<udb_recordset> table(const std::wstring& name, std::vector<t_ftd> columns)
  {
    return db().create_table(name, keyed_schema(std::move(columns)), primary_on_id());
  }

  // The first cell of the first row as the server sends it, NUL bytes and all.
  std::string raw(const std::string& statement)
  {
    admin_.run("USE `" + name_ + "`");
    MYSQL* h = admin_.handle();
    if (mysql_real_query(h, statement.data(), statement.size()) != 0)
      throw std::runtime_error(statement + ": " + mysql_error(h));
    std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> result(mysql_store_result(h), &mysql_free_result);
    MYSQL_ROW row = result ? mysql_fetch_row(result.get()) : nullptr;
    if (row == nullptr)
      throw std::runtime_error(statement + ": no row");
    return row[0] != nullptr ? std::string(row[0], mysql_fetch_lengths(result.get())[0]) : "NULL";
  }

  // A counter of the engine's own session, such as Com_insert.
  long session_counter(const std::string& name)
  {
    auto rows = db().query(wide("SHOW SESSION STATUS LIKE '" + name + "'"));
    rows->reset();
    return std::stol((*rows->get_item())[1]->to_string());
  }

  // The column of every row, ordered by id, as the engine's reading side sees it.
  std::vector<std::wstring> read_back(const std::wstring& table_name, const std::wstring& name)
  {
    auto reader = engine_->open_db(wide(name_), 1, L"");
    auto rows = reader->get_table(table_name, 1);
    std::vector<std::wstring> out;
    for (rows->reset(); !rows->is_eof(); rows->next()) {
      const udb_field& cell = rows->get_item()->get_field(name);
      const BSTR text = cell.get_type() == VT_BSTR ? cell.get_variant().bstrVal : nullptr;
      out.push_back(cell.get_type() == VT_EMPTY || cell.get_type() == VT_NULL ? L"<null>"
                    : text != nullptr ? std::wstring(text, SysStringLen(text))  // NULs and all
                                      : cell.to_wstring());
    }
    return out;
  }

  std::unique_ptr<sql_write_engine> engine_;
  sql_admin admin_;
  std::string name_;
  std::unique_ptr<udb_database> db_;
};

} // namespace

TEST_F(SqlWrite, PropertiesNameTheCharacterSetsAndStorageEnginesOfNewDatabasesAndTables)
{
  // The default database is utf8mb4 where the server has it.
  EXPECT_EQ(admin_.value("SELECT DEFAULT_CHARACTER_SET_NAME FROM information_schema.SCHEMATA WHERE "
                         "SCHEMA_NAME='" + name_ + "'"),
            "utf8mb4");

  property_node properties;
  properties.set(L"engine", L"MyISAM");
  properties.set(L"character set", L"latin1");
  property_node& t2 = properties.child(L"t2");
  t2.set(L"engine", L"InnoDB");
  t2.set(L"character set", L"utf8mb4");
  engine_->set_properties(&properties);
  EXPECT_EQ(engine_->get_properties(), &properties);
  EXPECT_EQ(engine_->get_table_engine(), L"MyISAM");
  EXPECT_EQ(engine_->get_character_set(), L"latin1");

  table(L"t1", {column(L"a", VT_BSTR, 10)});
  table(L"t2", {column(L"a", VT_I4, 11)});
  EXPECT_EQ(admin_.value("SELECT GROUP_CONCAT(CONCAT(TABLE_NAME,':',ENGINE,':',TABLE_COLLATION) "
                         "ORDER BY TABLE_NAME) FROM information_schema.TABLES WHERE TABLE_SCHEMA='" +
                         name_ + "'"),
            "t1:MyISAM:utf8mb4_general_ci,t2:InnoDB:utf8mb4_general_ci");

  const std::string other = name_ + "_latin";
  auto latin = engine_->create_db(wide(other));
  EXPECT_EQ(admin_.value("SELECT DEFAULT_CHARACTER_SET_NAME FROM information_schema.SCHEMATA WHERE "
                         "SCHEMA_NAME='" + other + "'"),
            "latin1");
  EXPECT_TRUE(engine_->db_delete(wide(other)));
  EXPECT_EQ(admin_.value("SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME='" + other + "'"), "0");

  // Without an engine key the storage engine goes back to InnoDB; the character
  // set stays.
  property_node bare;
  engine_->set_properties(&bare);
  EXPECT_EQ(engine_->get_table_engine(), L"InnoDB");
  EXPECT_EQ(engine_->get_character_set(), L"latin1");
}

TEST_F(SqlWrite, DeletingADatabaseLeavesForeignKeyChecksOnAndARefusedDropRaises)
{
  const auto checks = [&] {
    sql_tmp_recordset answer(engine_->get_handle(), "SELECT @@foreign_key_checks");
    answer.initialize();
    return (*answer.get_item())[0]->to_string();
  };
  EXPECT_EQ(checks(), "0");
  EXPECT_THROW(engine_->db_delete(wide(name_ + "_missing")), sql_exception);
  EXPECT_EQ(checks(), "0");
  db_.reset();
  EXPECT_TRUE(engine_->db_delete(wide(name_)));
  EXPECT_EQ(checks(), "1");
  EXPECT_EQ(admin_.value("SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME='" + name_ + "'"), "0");
}

TEST_F(SqlWrite, TablesAreCreatedOnceListedMappedEmptiedAndDropped)
{
  auto t = table(L"t", {column(L"ID", VT_BSTR, 5), column(L"name", VT_BSTR, 20)});
  // "ID" collides with the key column "id" and is renamed; the map says how.
  EXPECT_EQ(db().get_names_map().get_fn_mapped_name(L"t", L"ID"), L"id00000");
  EXPECT_TRUE(db().is_table_exist(L"t"));
  EXPECT_EQ(t->get_schema().size(), 3u);
  EXPECT_EQ(raw("SELECT ENGINE FROM information_schema.TABLES WHERE TABLE_SCHEMA=DATABASE() AND "
                "TABLE_NAME='t'"),
            "InnoDB");

  t->append_record(row_builder()(L"id", 1)(L"ID", L"x")(L"name", L"a").record, 3);
  t->save();
  const long created = session_counter("Com_create_table");
  auto again = table(L"t", {column(L"other", VT_I4, 11)});
  EXPECT_EQ(session_counter("Com_create_table"), created);  // nothing sent
  EXPECT_EQ(again->get_schema().size(), 3u);                // the table as it is

  db().empty_table(L"t");
  EXPECT_EQ(raw("SELECT COUNT(*) FROM t"), "0");
  t.reset();
  again.reset();
  EXPECT_TRUE(db().delete_tab(L"t"));
  EXPECT_FALSE(db().is_table_exist(L"t"));
  EXPECT_EQ(raw("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA=DATABASE()"), "0");
  EXPECT_THROW(db().delete_tab(L"t"), tk_mail_assertion);

  auto reader = engine_->open_db(wide(name_), 1, L"");
  EXPECT_THROW(static_cast<sql_database&>(*reader).create_table(L"u", udb_schema(), udb_indexes()),
               tk_mail_assertion);
}

TEST_F(SqlWrite, EdgeValuesReadBackEqualWhenGatheredAndWhenSentOneByOne)
{
  t_ftd decimal = column(L"amount", VT_DECIMAL, 12);
  decimal.precision = 12;
  decimal.scale = 2;
  const std::vector<t_ftd> columns = {column(L"txt", VT_BSTR, 200), column(L"bin", byte_array, 64),
                                      column(L"num", VT_I4, 11),    column(L"at", VT_DATE, 19, 1),
                                      decimal,                      column(L"big", VT_I8, 20),
                                      column(L"ubig", VT_UI8, 20)};
  const std::string binary("\0\x01\0\xff'\\\0", 7);
  const std::wstring text = L"O'Brien \\ \"q\" é\ttab\r\nline";
  const auto rows = [&](udb_recordset& t) {
    t.append_record(row_builder()(L"id", 1)(L"txt", text)(L"bin", bytes(binary))(L"num", ole_variant())(
                        L"at", ole_date(L"2024-02-29 23:59:58"))(L"amount", L"-1234567890.25")(
                        L"big", static_cast<long long>(INT64_MIN))(L"ubig", static_cast<unsigned long long>(UINT64_MAX))
                        .record,
                    8);
    // A NUL is part of the text; an empty text is a text, an empty byte array
    // is an empty value, and a field without a value is NULL.
    t.append_record(row_builder()(L"id", 2)(L"txt", std::wstring(L"nul\0kept", 8))(L"bin", no_bytes())(
                        L"num", -7)(L"at", ole_variant())(L"amount", L"0.5")(L"big", 0LL)(L"ubig", 0ULL)
                        .record,
                    8);
    t.append_record(row_builder()(L"id", 3)(L"txt", L"")(L"bin", bytes(std::string(64, '\xab')))(L"num", 0)(
                        L"at", ole_date(L"1000-01-01 00:00:00"))(L"amount", L"1e3")(L"big", 1LL)(L"ubig", 1ULL)
                        .record,
                    8);
    t.save();
  };

  auto fast = table(L"fast", columns);
  rows(*fast);
  engine_->set_fast_append(false);
  auto slow = table(L"slow", columns);
  rows(*slow);
  EXPECT_EQ(fast->get_record_count(), 3u);
  EXPECT_EQ(slow->get_record_count(), 3u);

  std::string ab;
  for (int i = 0; i < 64; ++i)
    ab += "AB";
  for (const std::string t : {"fast", "slow"}) {
    SCOPED_TRACE(t);
    const std::string rows_text =
        raw("SELECT GROUP_CONCAT(CONCAT_WS('|', id, HEX(txt), IFNULL(HEX(bin),'-'), IFNULL(LENGTH(bin),'-'), "
            "IFNULL(num,'-'), IFNULL(at,'-'), amount, big, ubig) ORDER BY id SEPARATOR '\\n') FROM " + t);
    EXPECT_EQ(rows_text,
              "1|" + raw("SELECT HEX(" + sql_quote_literal(admin_.handle(), plat::to_utf8(text)) + ")") +
                  "|000100FF275C00|7|-|2024-02-29 23:59:58|-1234567890.25|-9223372036854775808|18446744073709551615\n"
                  "2|6E756C006B657074||0|-7|-|0.50|0|0\n"
                  "3||" + ab + "|64|0|1000-01-01 00:00:00|1000.00|1|1");
    EXPECT_EQ(read_back(wide(t), L"txt"), (std::vector<std::wstring>{text, std::wstring(L"nul\0kept", 8), L""}));
    EXPECT_EQ(read_back(wide(t), L"num"), (std::vector<std::wstring>{L"<null>", L"-7", L"0"}));
  }
  EXPECT_EQ(raw("SELECT bin FROM fast WHERE id=1"), binary);
}

TEST_F(SqlWrite, DuplicateKeysAreIgnoredWhenGatheredReplacedInReplaceModeAndRefusedOneByOne)
{
  auto t = table(L"t", {column(L"v", VT_BSTR, 10)});
  t->append_record(row_builder()(L"id", 1)(L"v", L"first").record, 2);
  t->append_record(row_builder()(L"id", 1)(L"v", L"second").record, 2);
  t->save();
  EXPECT_EQ(raw("SELECT GROUP_CONCAT(v) FROM t"), "first");

  auto replacing = engine_->open_db(wide(name_), replace_mode, L"");
  auto r = replacing->get_table(L"t", udb_mode_append);
  r->append_record(row_builder()(L"id", 1)(L"v", L"third").record, 2);
  r->save();
  EXPECT_EQ(raw("SELECT GROUP_CONCAT(v) FROM t"), "third");
  engine_->set_fast_append(false);
  r->append_record(row_builder()(L"id", 1)(L"v", L"fourth").record, 2);
  EXPECT_EQ(raw("SELECT GROUP_CONCAT(v) FROM t"), "fourth");

  try {
    t->append_record(row_builder()(L"id", 1)(L"v", L"fifth").record, 2);
    ADD_FAILURE() << "a duplicate key sent on its own must raise";
  } catch (const sql_exception& e) {
    EXPECT_EQ(e.get_code(), 0x400426u);
  }
  // The database is utf8mb4 where the server has it: four-byte characters go in.
  t->append_record(row_builder()(L"id", 2)(L"v", L"\U0001F600").record, 2);
  EXPECT_EQ(raw("SELECT HEX(v) FROM t WHERE id = 2"), "F09F9880");
  // The ignored duplicate does not count: "first" and the emoji do.
  EXPECT_EQ(t->get_record_count(), 2u);
}

TEST_F(SqlWrite, GatheredRowsGoOutInStatementsWithinTheBufferAndThePacket)
{
  auto t = table(L"t", {column(L"v", VT_BSTR, 0)});
  const auto write = [&](int first) {
    for (int i = first; i < first + 30; ++i)
      t->append_record(row_builder()(L"id", i)(L"v", std::wstring(100000, static_cast<wchar_t>(L'a' + i % 26))).record, 2);
    t->save();
  };
  long before = session_counter("Com_insert");
  write(0);
  // About 100,000 bytes a row and 1,000,000 a statement: eight rows each.
  EXPECT_EQ(session_counter("Com_insert") - before, 4);
  // A server that takes 300,000-byte packets gets two rows a statement.
  engine_->set_max_allowed_packet(300000);
  before = session_counter("Com_insert");
  write(100);
  EXPECT_EQ(session_counter("Com_insert") - before, 15);
  EXPECT_EQ(raw("SELECT COUNT(*) FROM t"), "60");
  EXPECT_EQ(raw("SELECT SUM(LENGTH(v) = 100000 AND v = REPEAT(CHAR(97 + id % 26), 100000)) FROM t"), "60");
  EXPECT_TRUE(engine_->is_fast_append());
}

TEST_F(SqlWrite, RecordsOfAnotherShapeStartANewStatementAndLandInTheirColumns)
{
  auto t = table(L"t", {column(L"a", VT_I4, 11), column(L"b", VT_I4, 11), column(L"c", VT_I4, 11)});
  // Fewer fields than columns: each field names its column, the others get NULL.
  t->append_record(row_builder()(L"id", 1)(L"a", 10).record, 2);
  t->append_record(row_builder()(L"id", 2)(L"b", 20).record, 2);   // same count, other names
  t->append_record(row_builder()(L"ID", 3)(L"C", 30).record, 2);   // names in another case
  t->append_record(row_builder()(L"id", 4)(L"a", 40)(L"b", 41).record, 3);
  // More fields than columns: the extra ones are left out.
  t->append_record(row_builder()(L"extra", 0)(L"c", 52)(L"b", 51)(L"a", 50)(L"id", 5).record, 5);
  t->save();
  EXPECT_EQ(raw("SELECT GROUP_CONCAT(CONCAT_WS(':', id, IFNULL(a,'-'), IFNULL(b,'-'), IFNULL(c,'-')) "
                "ORDER BY id) FROM t"),
            "1:10:-:-,2:-:20:-,3:-:-:30,4:40:41:-,5:50:51:52");
}

TEST_F(SqlWrite, RecordsThatDoNotFitTheTableRaiseAndLeaveTheGatheredRowsAsTheyWere)
{
  auto t = table(L"t", {column(L"a", VT_I4, 11), column(L"b", VT_I4, 11)});
  t->append_record(row_builder()(L"id", 1)(L"a", 1).record, 2);
  const std::string conform =
      "The structure of data source does not conform to the destination table. For more information "
      "see Troubleshooting article of the product documentation.";
  for (bool fast : {true, false}) {
    engine_->set_fast_append(fast);
    row_builder unknown_field;  // fewer fields than columns
    unknown_field(L"id", 2)(L"nope", 1);
    row_builder missing_column;  // as many fields as columns
    missing_column(L"id", 2)(L"a", 1)(L"nope", 2);
    for (const udb_record* record : {&unknown_field.record, &missing_column.record}) {
      try {
        t->append_record(*record, 2);
        ADD_FAILURE() << "a field without a column must raise";
      } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_message(), conform);
        EXPECT_EQ(e.get_level(), 0u);
      }
    }
  }
  t->save();
  EXPECT_EQ(raw("SELECT GROUP_CONCAT(id) FROM t"), "1");
  EXPECT_EQ(t->get_record_count(), 1u);
}

TEST_F(SqlWrite, GatheredRowsTheServerRefusesMakeSaveRaise)
{
  auto t = table(L"t", {column(L"a", VT_I4, 11)});
  t->append_record(row_builder()(L"id", 1)(L"a", 1).record, 2);
  admin_.run("DROP TABLE `" + name_ + "`.t");
  try {
    t->save();
    ADD_FAILURE() << "the lost rows must be reported";
  } catch (const sql_exception& e) {
    EXPECT_EQ(e.get_code(), 0x400000u + 1146);
  }
  // Forgotten once reported: neither a second save nor the destructor sends them.
  EXPECT_NO_THROW(t->save());

  // A large row sends the gathered rows first; their failure is reported too.
  auto u = table(L"u", {column(L"a", VT_BSTR, 0)});
  u->append_record(row_builder()(L"id", 1)(L"a", L"x").record, 2);
  admin_.run("DROP TABLE `" + name_ + "`.u");
  EXPECT_THROW(u->append_record(row_builder()(L"id", 2)(L"a", std::wstring(1000001, L'y')).record, 2),
               sql_exception);
  EXPECT_FALSE(engine_->is_fast_append());
}

TEST_F(SqlWrite, LargeValuesTravelAsLongDataIntoTheirOwnColumns)
{
  std::mt19937 random(17);
  std::string blob(2 * 1024 * 1024, '\0');
  for (char& c : blob)
    c = static_cast<char>(random());
  const std::wstring text(1200000, L'é');
  auto t = table(L"t", {column(L"b", VT_BLOB, 0), column(L"txt", VT_BSTR, 0)});
  // The fields stand in another order than the columns, and a large field no
  // column takes comes along.
  t->append_record(
      row_builder()(L"txt", text)(L"id", 1)(L"spare", bytes(std::string(3 * 1024 * 1024, 'z')))(L"b", bytes(blob)).record,
      4);
  EXPECT_FALSE(engine_->is_fast_append());
  // Two values of 750,000 characters: the row is large, no single value is.
  t->append_record(row_builder()(L"id", 2)(L"b", bytes(std::string(750000, 'q')))(L"txt", std::wstring(750000, L'w')).record, 3);
  t->save();

  EXPECT_EQ(raw("SELECT CONCAT_WS('|', LENGTH(b), LENGTH(txt), CHAR_LENGTH(txt), MD5(txt) = MD5(REPEAT('é', 1200000))) "
                "FROM t WHERE id=1"),
            "2097152|2400000|1200000|1");
  EXPECT_EQ(raw("SELECT b FROM t WHERE id=1"), blob);
  EXPECT_EQ(raw("SELECT CONCAT_WS('|', b = REPEAT('q', 750000), txt = REPEAT('w', 750000)) FROM t WHERE id=2"), "1|1");
  EXPECT_EQ(read_back(L"t", L"txt").front(), text);
}

TEST_F(SqlWrite, RowsLargerThanThePacketAreRefusedAndLongTextsGoAsLongData)
{
  auto t = table(L"t", {column(L"txt", VT_BSTR, 0)});
  engine_->set_max_allowed_packet(200000);
  // Gathered: 100,000 "é" are 200,000 bytes of text, more than a statement may
  // hold, but the row itself fits: it goes as long data.
  t->append_record(row_builder()(L"id", 1)(L"txt", std::wstring(100000, L'é')).record, 2);
  EXPECT_THROW(t->append_record(row_builder()(L"id", 2)(L"txt", std::wstring(250000, L'x')).record, 2),
               tk_exception);
  EXPECT_TRUE(engine_->is_fast_append());
  t->save();
  engine_->set_max_allowed_packet(1024 * 1024);
  try {
    t->append_record(row_builder()(L"id", 3)(L"txt", std::wstring(1500000, L'x')).record, 2);
    ADD_FAILURE() << "a row over the packet must be refused";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.get_message(), "Row size exceeds 'max_allowed_packet'");
  }
  EXPECT_EQ(raw("SELECT GROUP_CONCAT(CONCAT(id, ':', CHAR_LENGTH(txt))) FROM t"), "1:100000");
}

TEST(SqlWriteEngine, MaxAllowedPacketIsAskedOncePerConnection)
{
  sql_write_engine engine;
  EXPECT_EQ(engine.get_max_allowed_packet(), 0u);
  const test_server_info& server = test_server();
  engine.connect(server.host, server.user, server.password, static_cast<int>(server.port));
  sql_admin admin;
  const std::uint32_t expected = static_cast<std::uint32_t>(std::stoul(admin.value("SELECT @@global.max_allowed_packet")));
  EXPECT_EQ(engine.get_max_allowed_packet(), expected);
  engine.set_max_allowed_packet(1234);
  EXPECT_EQ(engine.get_max_allowed_packet(), 1234u);
  engine.connect(server.host, server.user, server.password, static_cast<int>(server.port));
  EXPECT_EQ(engine.get_max_allowed_packet(), expected);
}

TEST_F(SqlWrite, SessionsWithoutBackslashEscapesGetEveryLiteralAsWritten)
{
  // Values that a literal escaped for the other mode would let out of its quotes.
  const std::vector<std::wstring> values = {
      L"O'Brien \\ x", L"\\'), (99, (SELECT User FROM mysql.user LIMIT 1)) -- ", L"ends in \\",
      std::wstring(L"nul\0\\0", 6), L"\\\\'\\"};
  const char* const no_escapes = "SET SESSION sql_mode = CONCAT(@@SESSION.sql_mode, ',NO_BACKSLASH_ESCAPES')";
  const test_server_info& server = test_server();
  // The mode is the server's default for the session, or a statement turns it on later.
  for (const bool from_the_start : {true, false}) {
    SCOPED_TRACE(from_the_start ? "from the start" : "turned on later");
    sql_write_engine writer;
    if (from_the_start)
      mysql_options(writer.get_handle(), MYSQL_INIT_COMMAND, no_escapes);
    writer.connect(server.host, server.user, server.password, static_cast<int>(server.port));
    auto target = writer.open_db(wide(name_), 0, L"");
    if (!from_the_start)
      target->query(wide(no_escapes));
    const std::wstring name = from_the_start ? L"start" : L"later";
    auto t = target->create_table(name, keyed_schema({column(L"v", VT_BSTR, 80)}), primary_on_id());
    for (std::size_t i = 0; i < values.size(); ++i)
      t->append_record(row_builder()(L"id", static_cast<int>(i + 1))(L"v", values[i]).record, 2);
    t->save();
    EXPECT_EQ(t->get_record_count(), values.size());
    EXPECT_EQ(raw("SELECT COUNT(*) FROM " + plat::to_utf8(name)), std::to_string(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i)
      EXPECT_EQ(raw("SELECT v FROM " + plat::to_utf8(name) + " WHERE id = " + std::to_string(i + 1)),
                plat::to_utf8(values[i]))
          << i;

    // A key filter that would match every row matches none; a real one, one.
    target->query(wide(no_escapes));
    t->delete_key(L"<v>x' OR 1=1 -- </v>");
    t->delete_key(L"<v>x\\' OR 1=1 -- </v>");
    EXPECT_EQ(raw("SELECT COUNT(*) FROM " + plat::to_utf8(name)), std::to_string(values.size()));
    t->delete_key(L"<v>O'Brien \\ x</v>");
    EXPECT_EQ(raw("SELECT COUNT(*) FROM " + plat::to_utf8(name)), std::to_string(values.size() - 1));
  }
}

TEST_F(SqlWrite, EachTargetAsksItsOwnConnectionForItsPacketWhileTheSourceStreams)
{
  // The fixture's engine came first: it is the source, streaming its rows.
  db().query_append("CREATE TABLE src (id INT PRIMARY KEY, v VARCHAR(100))");
  db().query_append("INSERT INTO src SELECT seq, REPEAT(CHAR(97 + seq % 26), 100) FROM seq_1_to_3000");
  auto source = engine_->open_db(wide(name_), 1, L"");
  auto rows = source->get_table(L"src", 1);

  auto writer = connected_engine<sql_write_engine>();
  EXPECT_EQ(writer->get_max_allowed_packet(),
            static_cast<std::uint32_t>(std::stoul(admin_.value("SELECT @@global.max_allowed_packet"))));
  // The target's limit is its own: 3,000 rows of about 110 bytes take several statements.
  engine_->set_max_allowed_packet(16 * 1024 * 1024);
  writer->set_max_allowed_packet(64 * 1024);
  auto target = writer->open_db(wide(name_), 0, L"");
  auto copy = target->create_table(L"copy", rows->get_schema(), rows->get_indexes());
  const auto inserts = [&] {
    sql_tmp_recordset counter(writer->get_handle(), "SHOW SESSION STATUS LIKE 'Com_insert'");
    counter.initialize();
    return std::stol((*counter.get_item())[1]->to_string());
  };
  const long before = inserts();
  for (rows->reset(); !rows->is_eof(); rows->next())
    copy->append_record(*rows->get_item(), 2);
  copy->save();
  EXPECT_EQ(copy->get_record_count(), 3000u);
  EXPECT_GE(inserts() - before, 6);
  EXPECT_EQ(raw("SELECT COUNT(*) FROM copy c JOIN src s USING (id) WHERE c.v = s.v"), "3000");
}

TEST_F(SqlWrite, TableNamesAreMatchedExactlyAndQuotedWhateverTheyHold)
{
  // Twins in case are two tables on this server; a name in backquotes is a name.
  const std::vector<std::wstring> names = {L"T", L"t", L"`q`", L"q", L"a``b"};
  std::vector<std::unique_ptr<udb_recordset>> tables;
  for (std::size_t i = 0; i < names.size(); ++i) {
    tables.push_back(table(names[i], {column(L"v", VT_I4, 11)}));
    tables.back()->append_record(row_builder()(L"id", 1)(L"v", static_cast<int>(i)).record, 2);
    tables.back()->save();
  }
  EXPECT_EQ(raw("SELECT GROUP_CONCAT(TABLE_NAME ORDER BY BINARY TABLE_NAME SEPARATOR ' ') FROM "
                "information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE()"),
            "T `q` a``b q t");
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string quoted = "`";
    for (const char c : plat::to_utf8(names[i]))
      quoted += c == '`' ? std::string("``") : std::string(1, c);
    EXPECT_EQ(raw("SELECT GROUP_CONCAT(v) FROM " + quoted + "`"), std::to_string(i)) << plat::to_utf8(names[i]);
  }
  // An existing name, exactly as given, is opened and nothing is made.
  auto again = table(L"t", {column(L"other", VT_I4, 11)});
  EXPECT_EQ(again->get_schema().size(), 2u);
  EXPECT_EQ(again->get_name(), L"t");
}

TEST_F(SqlWrite, RowsTheServerIgnoresOrChangesAreReportedAndNotCounted)
{
  recording_reporter reporter;
  auto t = table(L"w", {column(L"n", VT_I4, 11), column(L"s", VT_BSTR, 3), column(L"b", VT_BLOB, 0)});
  t->append_record(row_builder()(L"id", 1)(L"n", L"5")(L"s", L"ok").record, 3);
  t->append_record(row_builder()(L"id", 2)(L"n", L"2024-01-31")(L"s", L"ok").record, 3);
  t->append_record(row_builder()(L"id", 3)(L"n", L"12abc")(L"s", L"ok").record, 3);
  t->append_record(row_builder()(L"id", 1)(L"n", 7)(L"s", L"dup").record, 3);
  t->append_record(row_builder()(L"id", 4)(L"n", 4)(L"s", L"too long").record, 3);
  t->save();
  EXPECT_EQ(raw("SELECT GROUP_CONCAT(CONCAT_WS(':', id, n, s) ORDER BY id) FROM w"),
            "1:5:ok,2:2024:ok,3:12:ok,4:4:too");
  EXPECT_EQ(t->get_record_count(), 1u);
  ASSERT_EQ(reporter.reports.size(), 1u);
  EXPECT_EQ(reporter.reports[0].context, L"Table 'w'");
  const std::string& text = reporter.reports[0].message;
  EXPECT_EQ(text.substr(0, text.find(':')), "The server refused 1 and changed 3 of 5 rows") << text;
  EXPECT_NE(text.find("Data truncated for column 'n' at row 2"), std::string::npos) << text;
  EXPECT_NE(text.find("at row 3"), std::string::npos) << text;

  // A prepared statement the server refuses says why.
  engine_->set_fast_append(false);
  try {
    t->append_record(row_builder()(L"id", 1)(L"b", bytes(std::string(2 * 1024 * 1024, 'x'))).record, 2);
    ADD_FAILURE() << "a duplicate key must be refused";
  } catch (const sql_prep_stmt_failed_exception& e) {
    EXPECT_NE(e.get_message().find("Duplicate entry '1' for key 'PRIMARY'"), std::string::npos) << e.get_message();
  }
  EXPECT_EQ(t->get_record_count(), 1u);
}

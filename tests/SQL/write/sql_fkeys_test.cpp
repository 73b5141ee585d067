// Foreign keys made on the test server from engine-neutral lists: names kept or
// generated, indexes added only where none leads with the key's columns, each
// failure reported on its own, and no table left locked when the call is over.
#include "SQL/sql_test_support.h"
#include "SQL/write/sql_db_write.h"
#include "SQL/write/sql_engi_write.h"
#include "recording_reporter.h"

#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string cannot_create =
    "Cannot create foreign key. Contact to support@norvale.example for the solution.";

udb_relationship foreign_key(const std::wstring& name, const std::wstring& fk_table,
                             const std::vector<std::wstring>& fk_fields, const std::wstring& pk_table,
                             const std::vector<std::wstring>& pk_fields, const std::wstring& rule = L"")
{
  return udb_relationship(name, L"", fk_table, pk_table, fk_fields, pk_fields, rule);
}

udb_relationships list_of(std::initializer_list<udb_relationship> keys)
{
  udb_relationships list;
  for (const udb_relationship& key : keys)
    list.push_back(key);
  return list;
}

// A column of the first row, read on the engine's connection.
std::wstring engine_value(sql_write_database& db, const std::wstring& statement, std::size_t column = 0)
{
  const std::unique_ptr<udb_recordset> rows = db.query(statement);
  rows->reset();
  std::wstring value = (*rows->get_item())[column]->to_wstring();
  for (; !rows->is_eof(); rows->next()) {
  }
  return value;
}

// The connection's own count of statements of one kind ("Com_alter_table").
long session_count(sql_write_database& db, const std::wstring& counter)
{
  return std::stol(engine_value(db, L"SHOW SESSION STATUS LIKE '" + counter + L"'", 1));
}

class SqlForeignKey : public sql_reporting_test {
protected:
  // "name:DELETE_RULE" of every constraint on the table, by name.
  std::string constraints_of(const std::string& table)
  {
    return admin.value("SELECT IFNULL(GROUP_CONCAT(CONCAT(CONSTRAINT_NAME, ':', DELETE_RULE) "
                       "ORDER BY CONSTRAINT_NAME), '') FROM information_schema.REFERENTIAL_CONSTRAINTS "
                       "WHERE CONSTRAINT_SCHEMA='" + db.name() + "' AND TABLE_NAME='" + table + "'");
  }
  int index_count(const std::string& table)
  {
    return std::stoi(admin.value("SELECT COUNT(DISTINCT INDEX_NAME) FROM information_schema.STATISTICS "
                                 "WHERE TABLE_SCHEMA='" + db.name() + "' AND TABLE_NAME='" + table + "'"));
  }
  // Rows of SHOW OPEN TABLES for tables that some session holds.
  my_ulonglong tables_in_use()
  {
    sql_admin other;
    const std::string show = "SHOW OPEN TABLES FROM " + db.quoted() + " WHERE In_use > 0";
    EXPECT_EQ(mysql_real_query(other.handle(), show.data(), show.size()), 0);
    MYSQL_RES* result = mysql_store_result(other.handle());
    const my_ulonglong rows = result ? mysql_num_rows(result) : 0;
    mysql_free_result(result);
    return rows;
  }

  void SetUp() override
  {
    // A lock left behind fails the test instead of hanging it.
    admin.run("SET SESSION lock_wait_timeout = 5");
  }
};

} // namespace

TEST_F(SqlForeignKey, SameNameGetsGeneratedOneAndRuleTextApplies)
{
  db.run("CREATE TABLE parent_1 (id INT PRIMARY KEY) ENGINE=InnoDB");
  db.run("CREATE TABLE child (id INT PRIMARY KEY, p INT, q INT) ENGINE=InnoDB");
  sql_write_database& target = open();
  // The source called them Parent and "P Ref"; they were created as parent_1 and p.
  target.get_names_map().add_tn_mapping(L"Parent", L"parent_1");
  t_names_map child_fields;
  child_fields.add(L"P Ref", L"p");
  target.get_names_map().add_fn_map(L"child", child_fields);

  target.create_relationships(
      list_of({foreign_key(L"FK_Order", L"child", {L"P Ref"}, L"Parent", {L"id"}, L"ON DELETE CASCADE"),
               foreign_key(L"FK_Order", L"child", {L"q"}, L"Parent", {L"id"})}));

  EXPECT_TRUE(reporter.reports.empty());
  EXPECT_EQ(constraints_of("child"), "FK_Order:CASCADE,fk_order00000:RESTRICT");
  db.run("INSERT INTO parent_1 VALUES (1), (2)");
  db.run("INSERT INTO child VALUES (10, 1, NULL), (11, 2, 2)");
  db.run("DELETE FROM parent_1 WHERE id = 1");
  EXPECT_EQ(admin.value("SELECT COUNT(*) FROM " + db.quoted() + ".child"), "1");
  EXPECT_EQ(tables_in_use(), 0u);
  EXPECT_EQ(engine_value(target, L"SELECT @@SESSION.foreign_key_checks"), L"1");
}

TEST_F(SqlForeignKey, RuleTextReachesTheStatementOnlyAsKnownActions)
{
  db.run("CREATE TABLE parent (id INT PRIMARY KEY) ENGINE=InnoDB");
  db.run("CREATE TABLE child (id INT PRIMARY KEY, p INT, q INT, r INT, secret INT) ENGINE=InnoDB");
  sql_write_database& target = open();
  const struct {
    const wchar_t* name;
    const wchar_t* field;
    const wchar_t* rule;
    const char* made;  // DELETE_RULE:UPDATE_RULE
  } cases[] = {
      {L"fk_p", L"p", L"ON DELETE CASCADE, DROP COLUMN secret -- ", "CASCADE:RESTRICT"},
      {L"fk_q", L"q", L" on update set null on delete no action", "NO ACTION:SET NULL"},
      {L"fk_r", L"r", L"; DROP TABLE parent; --", "RESTRICT:RESTRICT"},
  };
  udb_relationships keys;
  for (const auto& c : cases)
    keys.push_back(foreign_key(c.name, L"child", {c.field}, L"parent", {L"id"}, c.rule));
  target.create_relationships(keys);

  EXPECT_TRUE(reporter.reports.empty());
  for (const auto& c : cases)
    EXPECT_EQ(admin.value("SELECT CONCAT(DELETE_RULE, ':', UPDATE_RULE) FROM information_schema.REFERENTIAL_CONSTRAINTS "
                          "WHERE CONSTRAINT_SCHEMA='" + db.name() + "' AND CONSTRAINT_NAME='" + plat::to_utf8(c.name) + "'"),
              c.made)
        << plat::to_utf8(c.rule);
  // Nothing after the actions ran: the column and the parent table are there.
  EXPECT_EQ(admin.value("SELECT COUNT(*) FROM information_schema.COLUMNS WHERE TABLE_SCHEMA='" + db.name() +
                        "' AND ((TABLE_NAME='child' AND COLUMN_NAME='secret') OR TABLE_NAME='parent')"),
            "2");
}

TEST_F(SqlForeignKey, EachFailureIsReportedAndLeavesNoLock)
{
  db.run("CREATE TABLE parent (id INT PRIMARY KEY) ENGINE=InnoDB");
  db.run("CREATE TABLE child (id INT PRIMARY KEY, p INT, label VARCHAR(10)) ENGINE=InnoDB");
  db.run("CREATE TABLE other (id INT)");
  db.run("INSERT INTO other VALUES (7)");
  sql_write_database& target = open();

  // The unnamed key fails at the server (a text column cannot refer to an INT
  // one), after its tables were locked.
  target.create_relationships(list_of({foreign_key(L"x", L"missing", {L"p"}, L"parent", {L"id"}),
                                       foreign_key(L"", L"child", {L"label"}, L"parent", {L"id"}),
                                       foreign_key(L"fk_made", L"child", {L"p"}, L"parent", {L"id"})}));

  ASSERT_EQ(reporter.reports.size(), 2u);
  EXPECT_EQ(reporter.reports[0].context, L"Foreign key 'x'");
  EXPECT_EQ(reporter.reports[0].message, cannot_create);
  EXPECT_EQ(reporter.reports[1].context, L"child");
  EXPECT_EQ(reporter.reports[1].message, cannot_create);
  EXPECT_EQ(constraints_of("child"), "fk_made:RESTRICT");
  EXPECT_EQ(tables_in_use(), 0u);
  // A table outside every lock is readable again on the engine's connection.
  const std::unique_ptr<udb_recordset> rows = target.query(L"SELECT id FROM other");
  rows->reset();
  ASSERT_FALSE(rows->is_eof());
  EXPECT_EQ((*rows->get_item())[0]->to_wstring(), L"7");
}

TEST_F(SqlForeignKey, MissingTableSendsNoStatementForItsKey)
{
  db.run("CREATE TABLE parent (id INT PRIMARY KEY) ENGINE=InnoDB");
  sql_write_database& target = open();
  const long locks = session_count(target, L"Com_lock_tables");
  const long alters = session_count(target, L"Com_alter_table");

  target.create_relationships(list_of({foreign_key(L"x", L"missing", {L"p"}, L"parent", {L"id"})}));

  ASSERT_EQ(reporter.reports.size(), 1u);
  EXPECT_EQ(reporter.reports[0].context, L"Foreign key 'x'");
  EXPECT_EQ(session_count(target, L"Com_lock_tables"), locks);
  EXPECT_EQ(session_count(target, L"Com_alter_table"), alters);
}

TEST_F(SqlForeignKey, IndexLedByTheKeyColumnsIsReused)
{
  db.run("CREATE TABLE parent (id INT PRIMARY KEY) ENGINE=InnoDB");
  db.run("CREATE TABLE child (id INT PRIMARY KEY, a INT, b INT, c INT, INDEX ab (a, b)) ENGINE=InnoDB");
  sql_write_database& target = open();

  target.create_relationships(list_of({foreign_key(L"fk_a", L"child", {L"A"}, L"parent", {L"id"}),
                                       foreign_key(L"fk_c", L"child", {L"c"}, L"parent", {L"id"})}));

  EXPECT_TRUE(reporter.reports.empty());
  EXPECT_EQ(constraints_of("child"), "fk_a:RESTRICT,fk_c:RESTRICT");
  // PRIMARY, ab and the one index made for c.
  EXPECT_EQ(index_count("child"), 3);
  EXPECT_EQ(index_count("parent"), 1);
}

TEST_F(SqlForeignKey, TableReferringToItselfIsLockedOnce)
{
  db.run("CREATE TABLE staff (id INT PRIMARY KEY, boss INT) ENGINE=InnoDB");
  sql_write_database& target = open();

  target.create_relationships(list_of({foreign_key(L"fk_boss", L"staff", {L"boss"}, L"staff", {L"id"})}));

  EXPECT_TRUE(reporter.reports.empty());
  EXPECT_EQ(constraints_of("staff"), "fk_boss:RESTRICT");
  EXPECT_EQ(tables_in_use(), 0u);
}

TEST_F(SqlForeignKey, OldServersAndAppendModeGetNothing)
{
  const struct {
    std::uint32_t version;
    std::uint32_t mode;
    bool made;
  } cases[] = {
      {0x03172B, 0, false},  // 3.23.43
      {0x03172C, 0, true},   // 3.23.44
      {0, udb_mode_append, false},
  };
  db.run("CREATE TABLE parent (id INT PRIMARY KEY) ENGINE=InnoDB");
  db.run("CREATE TABLE child (id INT PRIMARY KEY, p INT) ENGINE=InnoDB");
  const std::uint32_t real_version = engine_->get_server_version();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    db.run("ALTER TABLE child DROP FOREIGN KEY IF EXISTS fk_p");
    sql_write_database& target = open(c.mode);
    if (c.version != 0)
      engine_->set_server_version(c.version);
    const long sets = session_count(target, L"Com_set_option");

    target.create_relationships(list_of({foreign_key(L"fk_p", L"child", {L"p"}, L"parent", {L"id"})}));

    EXPECT_EQ(constraints_of("child"), c.made ? "fk_p:RESTRICT" : "");
    EXPECT_EQ(session_count(target, L"Com_set_option") != sets, c.made);
    engine_->set_server_version(real_version);
  }
}

TEST_F(SqlForeignKey, DatabasesOwnListMayBePassedIn)
{
  db.run("CREATE TABLE parent (id INT PRIMARY KEY) ENGINE=InnoDB");
  db.run("CREATE TABLE child (id INT PRIMARY KEY, p INT, q INT) ENGINE=InnoDB");
  sql_write_database& target = open();
  udb_relationships& own = target.get_relationships();
  own = list_of({foreign_key(L"fk_p", L"child", {L"p"}, L"parent", {L"id"}),
                 foreign_key(L"fk_q", L"child", {L"q"}, L"parent", {L"id"})});
  own.shrink_to_fit();

  // Opening child for the second key reads the first key back into the list.
  target.create_relationships(own);

  EXPECT_TRUE(reporter.reports.empty());
  EXPECT_EQ(constraints_of("child"), "fk_p:RESTRICT,fk_q:RESTRICT");
  EXPECT_GT(own.size(), 2u);
}

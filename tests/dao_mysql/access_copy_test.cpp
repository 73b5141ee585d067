// MySQL tables copied into an Access database that Access would refuse or lose:
// a relation to a column whose only unique key is wider, table names Access
// cannot take or tells apart only by case, and values its types cannot hold.
#include "SQL/write/recording_reporter.h"
#include "copy_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// A column of every row of an Access table, in reading order, as text.
std::vector<std::wstring> column_of(udb_database& database, const std::wstring& table, std::size_t column)
{
  std::vector<std::wstring> values;
  auto rows = database.get_table(table, 1);
  for (rows->reset(); !rows->is_eof(); rows->next()) {
    const udb_field& field = *(*rows->get_item())[column];
    values.push_back(field.get_type() == VT_EMPTY || field.get_type() == VT_NULL ? L"<null>" : field.to_wstring());
  }
  return values;
}

} // namespace

TEST(AccessCopy, RelationToAColumnOfAWiderUniqueKeyGetsAUniqueIndexOfItsOwn)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE parent (id INT PRIMARY KEY, a INT NOT NULL, b INT NOT NULL, UNIQUE KEY ab (a, b))");
  db.run("CREATE TABLE child (id INT PRIMARY KEY, pa INT, CONSTRAINT fk_pa FOREIGN KEY (pa) REFERENCES parent (a))");
  db.run("INSERT INTO parent VALUES (1, 10, 1), (2, 20, 1)");
  db.run("INSERT INTO child VALUES (1, 10), (2, 20), (3, NULL)");
  recording_reporter reporter;
  auto mysql = copy_reader();
  access_file access;
  {
    auto source = mysql->open_db(db.wname(), 1, L"");
    auto target = access.create();
    copy_tables(*source, *target);
    access_file::close(*target);
  }
  expect_no_reports(reporter);

  auto copy = access.open();
  ASSERT_EQ(copy->get_relationships().size(), 1u);
  const udb_relationship& relation = copy->get_relationships()[0];
  EXPECT_EQ(relation.fk_table, L"child");
  EXPECT_EQ(relation.pk_table, L"parent");
  EXPECT_EQ(relation.fk_flds, std::vector<std::wstring>{L"pa"});
  EXPECT_EQ(relation.pk_flds, std::vector<std::wstring>{L"a"});
  EXPECT_TRUE(copy->get_table(L"parent", 1)->get_indexes().has_unique_index_of({L"a"}));
  std::vector<std::wstring> references = column_of(*copy, L"child", 1);
  std::sort(references.begin(), references.end());
  EXPECT_EQ(references, (std::vector<std::wstring>{L"10", L"20", L"<null>"}));
}

TEST(AccessCopy, TablesAccessCannotNameOrTellApartAndValuesItCannotHoldArriveWhole)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE `T` (id INT PRIMARY KEY, v VARCHAR(10))");
  db.run("CREATE TABLE `t` (id INT PRIMARY KEY, v VARCHAR(10))");
  db.run("CREATE TABLE `a]b` (id INT PRIMARY KEY)");
  db.run("CREATE TABLE odd (id INT PRIMARY KEY, tm TIME, d DATE, big DECIMAL(30,10))");
  db.run("INSERT INTO `T` VALUES (1, 'upper'), (2, 'upper too')");
  db.run("INSERT INTO `t` VALUES (1, 'lower')");
  db.run("INSERT INTO `a]b` VALUES (7)");
  db.run("SET SESSION sql_mode = ''");
  db.run("INSERT INTO odd VALUES (1, '838:59:59', '2024-00-15', '12345678901234567890.0123456789'), "
         "(2, '-00:00:01', '2024-02-29', '0.5')");
  recording_reporter reporter;
  auto mysql = copy_reader();
  access_file access;
  {
    auto source = mysql->open_db(db.wname(), 1, L"");
    auto target = access.create();
    copy_tables(*source, *target);
    // The names the refused and the twin tables got are on record.
    EXPECT_EQ(target->get_names_map().get_tn_mapped_name(L"a]b", true), L"ab");
    EXPECT_NE(target->get_names_map().get_tn_mapped_name(L"t", true), L"t");
    access_file::close(*target);
  }
  expect_no_reports(reporter);

  auto copy = access.open();
  std::vector<std::wstring> names = copy->get_table_names();
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names.size(), 4u);
  EXPECT_EQ(names[0], L"T");
  EXPECT_EQ(names[1], L"ab");
  EXPECT_EQ(names[2], L"odd");
  EXPECT_EQ(names[3].substr(0, 1), L"t");
  EXPECT_EQ(column_of(*copy, L"T", 1), (std::vector<std::wstring>{L"upper", L"upper too"}));
  EXPECT_EQ(column_of(*copy, names[3], 1), std::vector<std::wstring>{L"lower"});
  EXPECT_EQ(column_of(*copy, L"ab", 0), std::vector<std::wstring>{L"7"});
  // No row refused: what a date or a double cannot hold is its text.
  EXPECT_EQ(column_of(*copy, L"odd", 1)[0], L"838:59:59");
  EXPECT_EQ(column_of(*copy, L"odd", 2)[0], L"2024-00-15");
  // A number the double holds stays a number.
  EXPECT_EQ(column_of(*copy, L"odd", 3),
            (std::vector<std::wstring>{L"12345678901234567890.0123456789", L"5.0000000000000000e-01"}));
  EXPECT_EQ(column_of(*copy, L"odd", 1)[1], L"-00:00:01");
}

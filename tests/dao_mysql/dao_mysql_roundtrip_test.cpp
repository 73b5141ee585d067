// A MySQL database copied into an Access database through the engine-neutral
// interfaces only, as any converter between two engines would, and read back:
// every row, the column types the type map promises, the indexes and the
// foreign keys with their cascades.
#include "../SQL/sql_test_support.h"

#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"
#include "dao/dao_engine.h"
#include "dao/dao_record.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

// A value as text after the destination's type has been applied to it, so a
// DECIMAL 12.50 from the server and the Double 12.5 that Access keeps agree.
std::wstring as_destination(const udb_field& field, VARTYPE type)
{
  ole_variant value(field);
  const VARTYPE own = value.get_type();
  if (own == VT_NULL || own == VT_EMPTY)
    return L"<null>";
  if (own != type && type != (VT_ARRAY | VT_UI1))
    value.change_type(type);
  return value.to_wstring();
}

std::wstring trimmed(const std::wstring& text)
{
  const auto begin = text.find_first_not_of(L' ');
  return begin == std::wstring::npos ? std::wstring() : text.substr(begin, text.find_last_not_of(L' ') - begin + 1);
}

struct copied_table {
  std::wstring name;
  udb_schema schema;
  udb_indexes indexes;
  std::vector<std::vector<std::wstring>> rows;  // each value as the destination types it
};

std::vector<std::vector<std::wstring>> rows_of(udb_recordset& table, const udb_schema& types)
{
  std::vector<std::vector<std::wstring>> rows;
  for (table.reset(); !table.is_eof(); table.next()) {
    const udb_record& record = *table.get_item();
    std::vector<std::wstring> row;
    for (std::size_t i = 0; i < record.size(); ++i)
      row.push_back(as_destination(*record[i], types[i]->vartype));
    rows.push_back(row);
  }
  return rows;
}

} // namespace

TEST(DaoFromMySql, ADatabaseCopiedIntoAccessReadsBackEqual)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE parent (id INT NOT NULL PRIMARY KEY, code VARCHAR(10) NOT NULL, note TEXT, "
         "price DECIMAL(10,2), born DATE, UNIQUE KEY uq_code (code))");
  db.run("CREATE TABLE child (id INT NOT NULL, parent_id INT, parent_code VARCHAR(10), qty SMALLINT, "
         "small TINYINT, big BIGINT, ratio DOUBLE, at DATETIME, data BLOB, PRIMARY KEY (id), "
         "KEY ix_parent (parent_id, qty), "
         "CONSTRAINT fk_parent FOREIGN KEY (parent_id) REFERENCES parent (id) ON DELETE CASCADE, "
         "CONSTRAINT fk_code FOREIGN KEY (parent_code) REFERENCES parent (code) ON UPDATE CASCADE)");
  db.run("INSERT INTO parent VALUES (1, 'one', 'first parent', 12.50, '1999-12-31'), "
         "(2, 'two', NULL, NULL, NULL), (3, 'três', 'ünïcode €', -0.01, '2024-02-29')");
  db.run("INSERT INTO child VALUES (10, 1, 'one', 5, -5, 9000000000, 2.25, '2020-01-02 03:04:05', 0x00FF10), "
         "(11, 3, NULL, -32768, 127, -1, NULL, NULL, NULL), (12, NULL, 'two', NULL, NULL, NULL, 1e100, "
         "'1970-01-01 00:00:00', '')");

  auto mysql = connected_engine();
  auto source = mysql->open_db(db.wname(), 1, L"");
  std::vector<copied_table> tables;
  for (const std::wstring& name : source->get_table_names()) {
    auto table = source->get_table(name, 1);
    tables.push_back({name, table->get_schema(), table->get_indexes(), {}});
  }
  ASSERT_EQ(tables.size(), 2u);
  const udb_relationships relationships = source->get_relationships();
  ASSERT_EQ(relationships.size(), 2u);

  dao_engine engine(false);
  ASSERT_TRUE(engine.set_version_if(0));
  temp_dir dir;
  std::wstring file;
  plat::utf8_to_wide(dir.file("copy.mdb"), file);
  {
    auto access = engine.create_db(file);
    for (copied_table& table : tables) {
      auto from = source->get_table(table.name, 1);
      auto to = access->create_table(table.name, table.schema, table.indexes);
      std::uint32_t n = 0;
      for (from->reset(); !from->is_eof(); from->next())
        to->append_record(*from->get_item(), ++n);
      // What the rows must read back as, in the destination's types.
      table.rows = rows_of(*source->get_table(table.name, 1), to->get_schema());
    }
    access->create_relationships(relationships);
    dynamic_cast<dao_database&>(*access).close();
  }

  auto copy = engine.open_db(file, 0, L"");
  for (const copied_table& table : tables) {
    SCOPED_TRACE(plat::to_utf8(table.name));
    auto read = copy->get_table(table.name, 1);
    const udb_schema& schema = read->get_schema();
    ASSERT_EQ(schema.size(), table.schema.size());
    for (std::size_t i = 0; i < schema.size(); ++i) {
      const t_ftd& source_column = *table.schema[i];
      SCOPED_TRACE(plat::to_utf8(source_column.name));
      EXPECT_EQ(schema[i]->name, source_column.name);
      EXPECT_EQ(schema[i]->vartype, dao_field::get_vartype(dao_field::get_native_type(source_column)));
      EXPECT_EQ(schema[i]->not_null, source_column.not_null);
    }
    EXPECT_EQ(read->get_record_count(), table.rows.size());
    EXPECT_EQ(rows_of(*read, schema), table.rows);

    const udb_indexes& indexes = read->get_indexes();
    ASSERT_EQ(indexes.size(), table.indexes.size());
    for (const udb_index& expected : table.indexes) {
      const udb_index* index = indexes.find2(expected.name);
      ASSERT_NE(index, nullptr) << plat::to_utf8(expected.name);
      EXPECT_EQ(index->fields, expected.fields);
      EXPECT_EQ(index->primary, expected.primary);
      EXPECT_EQ(index->unique || index->primary, expected.unique || expected.primary);
    }
  }

  std::map<std::wstring, const udb_relationship*> read_keys;
  for (const udb_relationship& key : copy->get_relationships())
    read_keys[key.fk_flds.front()] = &key;
  ASSERT_EQ(read_keys.size(), relationships.size());
  for (const udb_relationship& expected : relationships) {
    SCOPED_TRACE(plat::to_utf8(expected.name));
    const udb_relationship& key = *read_keys.at(expected.fk_flds.front());
    EXPECT_EQ(key.fk_table, expected.fk_table);
    EXPECT_EQ(key.pk_table, expected.pk_table);
    EXPECT_EQ(key.fk_flds, expected.fk_flds);
    EXPECT_EQ(key.pk_flds, expected.pk_flds);
    EXPECT_EQ(trimmed(key.rule), trimmed(expected.rule));
  }
}

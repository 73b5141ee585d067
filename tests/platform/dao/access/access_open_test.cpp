// Creating, closing and reopening Access databases: the password check, the
// files that are not ours, and the session's end.
#include "access_test_support.h"

#include <functional>

using namespace dao_test;
using namespace plat::dao;

namespace {

TEST_F(access_test, PasswordIsCheckedOnEveryOpenAndNeverStoredAsText)
{
  {
    ref<DAODatabase> database;
    ASSERT_EQ(create("locked.mdb", database, L";LANGID=0x0409;CP=1252;COUNTRY=0;pwd=S3cret!"), S_OK);
    ASSERT_EQ(add_table(database.get(), L"t", {{L"n", db_long}}), S_OK);
    ASSERT_EQ(database->Close(), S_OK);
  }
  EXPECT_EQ(read_file(dir.file("locked.mdb")).find("S3cret!"), std::string::npos);

  const struct {
    const char* what;
    std::wstring connect;
    HRESULT expected;
  } cases[] = {
      {"right password", L";pwd=S3cret!", S_OK},
      {"password key in another case", L";PWD=S3cret!", S_OK},
      {"no password", L"", dao_hr(3031)},
      {"wrong password", L";pwd=s3cret!", dao_hr(3031)},
      {"empty password", L";pwd=", dao_hr(3031)},
  };
  for (const auto& c : cases) {
    ref<DAODatabase> database;
    EXPECT_EQ(open("locked.mdb", database, c.connect), c.expected) << c.what;
    EXPECT_EQ(bool(database), c.expected == S_OK) << c.what;
    if (c.expected != S_OK) {
      EXPECT_EQ(last_error(engine.get()).number, 3031) << c.what;
    } else {
      short count = 0;
      ref<DAOTableDefs> tables;
      ASSERT_EQ(database->get_TableDefs(tables.put()), S_OK);
      EXPECT_EQ(tables->get_Count(&count), S_OK);
      EXPECT_EQ(count, 2) << c.what;  // t and MSysRelationships
    }
  }

  // A database without a password opens whatever password is given.
  {
    ref<DAODatabase> database;
    ASSERT_EQ(create("open.mdb", database), S_OK);
    ASSERT_EQ(database->Close(), S_OK);
  }
  for (const std::wstring connect : {L"", L";pwd=anything"}) {
    ref<DAODatabase> database;
    EXPECT_EQ(open("open.mdb", database, connect), S_OK);
  }
}

TEST_F(access_test, FilesThatAreNoDatabaseOfOursAreRefusedWithJetsNumbers)
{
  write_file(dir.file("junk.mdb"), std::string(4096, 'x'));
  write_file(dir.file("empty.mdb"), "");
  run_on_file("other.db", "CREATE TABLE x(a)");
  {
    ref<DAODatabase> database;
    ASSERT_EQ(create("taken.mdb", database), S_OK);
  }
  const struct {
    const char* what;
    std::function<HRESULT(ref<DAODatabase>&)> call;
    LONG number;
  } cases[] = {
      {"missing file", [&](ref<DAODatabase>& d) { return open("none.mdb", d); }, 3024},
      {"missing folder", [&](ref<DAODatabase>& d) { return open("no/none.mdb", d, L";pwd=x"); }, 3024},
      {"not an SQLite file", [&](ref<DAODatabase>& d) { return open("junk.mdb", d); }, 3343},
      {"an SQLite file of someone else", [&](ref<DAODatabase>& d) { return open("other.db", d); }, 3343},
      {"create over an existing database", [&](ref<DAODatabase>& d) { return create("taken.mdb", d); }, 3204},
      {"create over an empty file", [&](ref<DAODatabase>& d) { return create("empty.mdb", d); }, 3204},
      {"create in a missing folder", [&](ref<DAODatabase>& d) { return create("no/new.mdb", d); }, 3044},
  };
  for (const auto& c : cases) {
    ref<DAODatabase> database;
    EXPECT_EQ(c.call(database), dao_hr(c.number)) << c.what;
    EXPECT_FALSE(database) << c.what;
    const dao_failure failure = last_error(engine.get());
    EXPECT_EQ(failure.number, c.number) << c.what;
    EXPECT_FALSE(failure.description.empty()) << c.what;
  }
  // The refused files are left as they were.
  EXPECT_EQ(read_file(dir.file("junk.mdb")), std::string(4096, 'x'));
  EXPECT_EQ(read_file(dir.file("empty.mdb")), "");
}

TEST_F(access_test, CloseKeepsTheChangesAndEndsTheSession)
{
  ref<DAODatabase> database;
  ASSERT_EQ(create("a.mdb", database), S_OK);
  ASSERT_EQ(add_table(database.get(), L"t", {{L"n", db_long}}), S_OK);
  ref<DAORecordset> rows;
  ASSERT_EQ(open_rows(database.get(), L"t", rows), S_OK);
  ASSERT_EQ(add_row(rows.get(), {{L"n", i4(7)}}), S_OK);
  ASSERT_EQ(rows->AddNew(), S_OK);  // pending at Close: dropped
  ASSERT_EQ(rows->put_Collect(text(L"n"), i4(8)), S_OK);
  ref<DAOTableDefs> tables;
  ASSERT_EQ(database->get_TableDefs(tables.put()), S_OK);

  ASSERT_EQ(database->Close(), S_OK);
  short count = 0;
  EXPECT_EQ(database->Close(), dao_hr(3420));
  EXPECT_EQ(tables->get_Count(&count), dao_hr(3420));
  EXPECT_EQ(rows->AddNew(), dao_hr(3420));

  ref<DAODatabase> again;
  ASSERT_EQ(open("a.mdb", again), S_OK);
  EXPECT_EQ(read_all(again.get(), L"SELECT n FROM [t]"), (std::vector<std::vector<std::wstring>>{{L"7"}}));
}

TEST_F(access_test, ReadOnlyDatabaseRefusesEveryChange)
{
  {
    ref<DAODatabase> database;
    ASSERT_EQ(create("a.mdb", database), S_OK);
    ASSERT_EQ(add_table(database.get(), L"t", {{L"n", db_long}}), S_OK);
  }  // released without Close: the changes are kept all the same
  ref<DAODatabase> database;
  ASSERT_EQ(open("a.mdb", database, L"", true), S_OK);
  ref<DAORecordset> rows;
  ASSERT_EQ(open_rows(database.get(), L"t", rows), S_OK);
  EXPECT_EQ(rows->AddNew(), dao_hr(3027));
  ref<DAOTableDef> table;
  ref<DAOTableDefs> tables;
  ASSERT_EQ(database->get_TableDefs(tables.put()), S_OK);
  ASSERT_EQ(database->CreateTableDef(text(L"u"), i4(0), text(L""), text(L""), table.put()), S_OK);
  EXPECT_EQ(tables->Append(table.get()), dao_hr(3027));
  EXPECT_EQ(tables->Delete(bstr(L"t")), dao_hr(3027));
  ref<DAOQueryDef> query;
  EXPECT_EQ(database->CreateQueryDef(text(L"q"), text(L"SELECT * FROM t"), query.put()), dao_hr(3027));
}

} // namespace

// The MySQL name rules: the old and new families on the cases that tell them
// apart, the engine's choice of family by server version, and a round trip of
// hostile names through a real server that must keep every generated name intact.
#include "sql_test_support.h"

#include "SQL/sql_engi.h"
#include "SQL/sql_vali.h"
#include "UDB/udb_field.h"
#include "UDB/udb_index.h"
#include "UDB/udb_schema.h"
#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <memory>
#include <string>
#include <vector>

namespace {

enum class family { old_field, new_field, new_index, new_table };

std::unique_ptr<udb_validator> make_validator(family kind,
                                              const std::vector<std::wstring>& existing)
{
  switch (kind) {
  case family::old_field:
    return std::make_unique<sql_old_tn_validator>(existing, std::vector<std::wstring>{});
  case family::new_field: {
    udb_schema schema;
    for (const std::wstring& name : existing)
      schema.emplace_back(10, name, VT_I4, false, false, ole_variant(), 0, L"");
    return std::make_unique<sql_new_fn_validator>(schema);
  }
  case family::new_index: {
    udb_indexes indexes;
    for (const std::wstring& name : existing)
      indexes.push_back(udb_index(name, false, false, {L"c"}));
    return std::make_unique<sql_new_in_validator>(indexes);
  }
  case family::new_table:
    return std::make_unique<sql_new_tn_validator>(std::vector<std::wstring>{}, existing);
  }
  return nullptr;
}

// The process runs in the "C" locale while the case is checked, where iswalnum
// knows no letter beyond ASCII.
class c_locale_scope {
public:
  c_locale_scope() : saved_(std::setlocale(LC_ALL, nullptr)) { std::setlocale(LC_ALL, "C"); }
  ~c_locale_scope() { std::setlocale(LC_ALL, saved_.c_str()); }
  c_locale_scope(const c_locale_scope&) = delete;
  c_locale_scope& operator=(const c_locale_scope&) = delete;

private:
  std::string saved_;
};

std::wstring repeat(const std::wstring& text, int times)
{
  std::wstring out;
  for (int i = 0; i < times; ++i)
    out += text;
  return out;
}

} // namespace

TEST(ValiRules, EachFamilyAcceptsAndMendsNamesAsItsServerWould)
{
  const std::wstring digits58 = repeat(L"1", 58);
  const struct {
    family kind;
    std::wstring wanted;
    bool acceptable;
    std::wstring safe;
    std::vector<std::wstring> existing;
  } cases[] = {
      {family::old_field, L"order", false, L"order00000", {}},
      {family::old_field, L"Select", false, L"select00000", {}},
      {family::new_field, L"order", true, L"order", {}},
      {family::new_field, L"Select", true, L"select", {}},
      {family::old_field, L"my-col", false, L"my_col", {}},
      {family::old_field, L"$total", true, L"$total", {}},
      {family::old_field, L"_1", true, L"_1", {}},
      {family::old_field, L"123", false, L"_23", {}},
      {family::old_field, L"2024x", true, L"2024x", {}},
      // Letters beyond ASCII are letters whatever the process locale.
      {family::old_field, L"Café_Ж", true, L"café_Ж", {}},
      {family::old_field, L"a€b", false, L"a_b", {}},
      // Empty and digits-only names would leave only digits-only counter forms.
      {family::old_field, L"", false, L"_", {}},
      {family::old_field, L"", false, L"_00000", {L"_"}},
      {family::old_field, repeat(L"9", 70), false, L"_" + repeat(L"9", 62), {}},
      {family::old_field, repeat(L"9", 63) + L"ab", false, L"_" + repeat(L"9", 62), {}},
      {family::old_field, digits58 + L"abc", true, L"_" + digits58.substr(1) + L"abc",
       {digits58 + L"ABC"}},
      {family::new_field, L"a|b", true, L"a|b", {}},
      {family::new_index, L"a|b", true, L"a|b", {}},
      {family::new_table, L"a|b", false, L"a_b", {}},
      {family::new_table, L"x:<y>?/z", false, L"x__y___z", {}},
      {family::new_field, L"a`b\"c'd^e*f\\g;h+i", false, L"a_b_c_d_e_f_g_h_i", {}},
      {family::new_field, L" name", false, L"name", {}},
      {family::new_field, L"name ", false, L"name", {}},
      {family::new_field, L"  ", false, L"00000", {}},
      {family::new_field, L"in side", true, L"in side", {}},
      {family::new_field, repeat(L"A", 64), true, repeat(L"a", 64), {}},
      {family::new_field, repeat(L"A", 65), false, repeat(L"a", 63), {}},
      // Cut to 63, the name would end in a space: the counter form follows.
      {family::new_field, repeat(L"y", 62) + L"  z", false, repeat(L"y", 58) + L"00000", {}},
      {family::new_field, L"", false, L"00000", {}},
      {family::new_field, L"", false, L"00001", {L"00000"}},
      {family::new_field, L"123", true, L"123", {}},
      {family::new_field, L"Orders", true, L"orders00000", {L"orders"}},
      {family::old_field, L"Orders", true, L"orders00000", {L"orders"}},
      // utf8mb3 names: nothing beyond U+FFFF, no NUL.
      {family::new_field, L"a\U0001F600b", false, L"a_b", {}},
      {family::new_field, std::wstring(L"a\0b", 3), false, L"a_b", {}},
      {family::new_index, L"Primary", false, L"primary00000", {}},
  };
  c_locale_scope c_locale;
  for (const auto& c : cases) {
    const std::string label =
        plat::to_utf8(c.wanted) + " (" + std::to_string(static_cast<int>(c.kind)) + ")";
    const auto validator = make_validator(c.kind, c.existing);
    EXPECT_EQ(validator->is_acceptable(c.wanted), c.acceptable) << label;
    const std::wstring safe = validator->get_safe_name(c.wanted);
    EXPECT_EQ(safe, c.safe) << label;
    EXPECT_TRUE(validator->is_acceptable(safe) && !validator->is_duplicated(safe)) << label;
  }
}

TEST(ValiRules, FamiliesHoldTheirWordsCharactersAndExistingNamesInOrder)
{
  const sql_old_validator old_rules;
  ASSERT_EQ(old_rules.get_restricted_names().size(), 167u);
  EXPECT_EQ(old_rules.get_restricted_names().front(), L"add");
  EXPECT_EQ(old_rules.get_restricted_names().back(), L"zerofill");
  EXPECT_EQ(old_rules.get_max_length(), sql_max_name_length);

  const auto illegal = [](const udb_validator& rules) {
    return std::wstring(rules.get_illegal_chars().begin(), rules.get_illegal_chars().end());
  };
  EXPECT_EQ(illegal(sql_new_validator(false)), L"`\"'^*\\;+");
  const sql_new_validator table_rules(true);
  EXPECT_EQ(illegal(table_rules), L"`\"'^*\\;+|:<>?/");
  EXPECT_TRUE(table_rules.get_restricted_names().empty());

  udb_record record;
  record.emplace_back(L"b", 4u, ole_variant(), false, false);
  record.emplace_back(L"A", 4u, ole_variant(), false, false);
  const std::vector<std::wstring> fields{L"b", L"A"};
  EXPECT_EQ(sql_new_fn_validator(record).get_existing_names(), fields);
  EXPECT_EQ(sql_old_fn_validator(record).get_existing_names(), fields);
  const std::vector<std::wstring> tables{L"t2", L"t1", L"v1"};
  EXPECT_EQ(sql_new_tn_validator({L"t2", L"t1"}, {L"v1"}).get_existing_names(), tables);
  EXPECT_EQ(sql_old_tn_validator({L"t2", L"t1"}, {L"v1"}).get_existing_names(), tables);
}

TEST(ValiEngine, FactoriesChooseTheFamilyByServerVersion)
{
  sql_engine engine;
  const udb_record record;
  const udb_schema schema;
  const udb_indexes indexes;
  const std::vector<std::wstring> none;
  for (const std::uint32_t version : {0u, 0x040012u, 0x0400FFu, 0x040100u, 0x050001u, 0x0A0B13u}) {
    SCOPED_TRACE(version);
    engine.set_server_version(version);
    const bool old_family = version < 0x040100;
    const auto fn_record = engine.create_fn_validator(record);
    const auto fn_schema = engine.create_fn_validator(schema);
    const auto in = engine.create_in_validator(indexes);
    const auto tn = engine.create_tn_validator(none, none);
    EXPECT_EQ(dynamic_cast<sql_old_fn_validator*>(fn_record.get()) != nullptr, old_family);
    EXPECT_EQ(dynamic_cast<sql_new_fn_validator*>(fn_schema.get()) != nullptr, !old_family);
    EXPECT_EQ(dynamic_cast<sql_old_in_validator*>(in.get()) != nullptr, old_family);
    EXPECT_EQ(dynamic_cast<sql_new_tn_validator*>(tn.get()) != nullptr, !old_family);
  }
}

namespace {

std::vector<std::wstring> names_of(sql_admin& admin, const std::string& statement)
{
  if (mysql_query(admin.handle(), statement.c_str()) != 0)
    throw std::runtime_error(statement + ": " + mysql_error(admin.handle()));
  std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> result(
      mysql_store_result(admin.handle()), &mysql_free_result);
  std::vector<std::wstring> names;
  while (MYSQL_ROW row = mysql_fetch_row(result.get()))
    names.push_back(wide(row[0]));
  return names;
}

// The name the writers use: the wanted one when it passes, else a safe one; either
// way it is taken from then on.
std::wstring choose(udb_validator& validator, const std::wstring& wanted)
{
  std::wstring name = validator.is_acceptable(wanted) && !validator.is_duplicated(wanted)
                          ? wanted
                          : validator.get_safe_name(wanted);
  validator.add_existing_name(name);
  return name;
}

} // namespace

TEST(ValiServer, EveryChosenNameReachesTheServerUnchanged)
{
  sql_admin admin;
  scratch_database db(admin);
  const auto engine = connected_engine();
  ASSERT_FALSE(engine->is_old_version());

  const std::vector<std::wstring> wanted_columns{
      L"id", L"ID", L"order", L"Select", L"key", repeat(L"Long", 17), repeat(L"é", 64),
      L"trailing ", L" leading", L"   ", L"", L"back`quote", L"`", L"quo\"te", L"apo'strophe",
      L"semi;colon", L"a|b", L"x\\y", L"Grüße", L"Жук", L"a\U0001F600b", L"123", L"a.b",
      repeat(L"y", 62) + L"  z", L"tab\there", L"--", L"/*c*/", L"a,b)"};
  const auto fields = engine->create_fn_validator(udb_schema());
  std::vector<std::wstring> columns;
  for (const std::wstring& wanted : wanted_columns)
    columns.push_back(choose(*fields, wanted));

  const auto index_rules = engine->create_in_validator(udb_indexes());
  std::vector<std::wstring> indexes;
  for (const wchar_t* wanted : {L"PRIMARY", L"i ", L"`i`", L"order", L"I`"})
    indexes.push_back(choose(*index_rules, wanted));

  const auto table_rules = engine->create_tn_validator({}, {});
  const std::wstring table = choose(*table_rules, L" Sales: 2024/Q1 <draft>? é\U0001F600 ");

  std::wstring statement = L"CREATE TABLE " + engine->get_safe_name(table) + L" (";
  for (std::size_t i = 0; i < columns.size(); ++i)
    statement += (i == 0 ? L"" : L", ") + engine->get_safe_name(columns[i]) + L" INT";
  for (std::size_t i = 0; i < indexes.size(); ++i)
    statement += L", INDEX " + engine->get_safe_name(indexes[i]) + L" (" +
                 engine->get_safe_name(columns[i]) + L")";
  statement += L")";
  const std::string utf8 = plat::to_utf8(statement);
  ASSERT_EQ(mysql_select_db(engine->get_handle(), db.name().c_str()), 0);
  ASSERT_EQ(mysql_real_query(engine->get_handle(), utf8.data(), utf8.size()), 0)
      << mysql_error(engine->get_handle()) << "\n" << utf8;

  const std::string where = " WHERE TABLE_SCHEMA = '" + db.name() + "'";
  EXPECT_EQ(names_of(admin, "SELECT TABLE_NAME FROM information_schema.TABLES" + where),
            std::vector<std::wstring>{table});
  EXPECT_EQ(names_of(admin, "SELECT COLUMN_NAME FROM information_schema.COLUMNS" + where +
                                " ORDER BY ORDINAL_POSITION"),
            columns);
  // One row per index of one column each; the server's order is its collation's.
  std::vector<std::wstring> index_names =
      names_of(admin, "SELECT INDEX_NAME FROM information_schema.STATISTICS" + where);
  std::sort(index_names.begin(), index_names.end());
  std::sort(indexes.begin(), indexes.end());
  EXPECT_EQ(index_names, indexes);
}

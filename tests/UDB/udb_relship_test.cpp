// Foreign-key records: generated names and what a copy keeps.
#include "UDB/udb_relship.h"
#include "udb_log_capture.h"

#include <gtest/gtest.h>

namespace {

udb_relationship named(const std::wstring& name)
{
  return udb_relationship(name, L"", L"b", L"a", {L"a_id"}, {L"id"}, L"");
}

} // namespace

TEST(UdbRelationship, GeneratedNameJoinsTheTablesWithBlanksReplaced)
{
  const udb_relationship r(L"line item", L"order", {L"order_id"}, {L"id"}, L" ON DELETE CASCADE");
  EXPECT_EQ(r.name, L"FK_order_line_item");
  EXPECT_EQ(r.fk_table, L"line item");
  EXPECT_EQ(r.pk_table, L"order");
  EXPECT_EQ(r.rule, L" ON DELETE CASCADE");
  EXPECT_TRUE(r.second_text.empty());
}

TEST(UdbRelationships, GeneratedNameAvoidsEveryListedNameIgnoringCase)
{
  const udb_relationship wanted(L"b", L"a", {L"a_id"}, {L"id"}, L"");
  struct {
    std::vector<std::wstring> listed;
    std::wstring expected;
  } cases[] = {
      {{}, L"FK_a_b"},
      {{L"fk_A_B"}, L"FK_a_b_"},
      {{L"FK_a_b", L"FK_a_b_"}, L"FK_a_b_1"},
      // the pieces repeat after "3"
      {{L"FK_a_b", L"FK_a_b_", L"FK_a_b_1", L"FK_a_b_1_", L"FK_a_b_1_2", L"FK_a_b_1_2_",
        L"FK_a_b_1_2_3", L"FK_a_b_1_2_3_"},
       L"FK_a_b_1_2_3_1"},
  };
  for (const auto& c : cases) {
    udb_relationships list;
    for (const auto& n : c.listed)
      list.push_back(named(n));
    EXPECT_EQ(list.gen_relship_name(wanted), c.expected);
    EXPECT_EQ(list.size(), c.listed.size());
  }

  udb_relationships list;
  list.push_back(named(L"FK_\u00c4_b"));
  EXPECT_EQ(list.gen_relship_name(udb_relationship(L"b", L"\u00e4", {}, {}, L"")), L"FK_\u00e4_b_");
}

TEST(UdbRelationships, GeneratedNameKeepsBlanksAndReportsEachClash)
{
  udb_log_capture log;
  udb_relationships list;
  list.push_back(named(L"FK_order_line item"));
  const udb_relationship wanted(L"line item", L"order", {}, {}, L"");
  EXPECT_EQ(list.gen_relship_name(wanted), L"FK_order_line item_");
  EXPECT_TRUE(log.has("FK_order_line item is not acceptable as a FK name"));
}

TEST(UdbRelationship, CopyDropsTheSecondTextAndKeepsTheRest)
{
  const udb_relationship original(L"fk", L"second", L"child", L"parent", {L"p1", L"p2"},
                                  {L"id1", L"id2"}, L"ON UPDATE CASCADE");
  udb_log_capture log;
  const udb_relationship copy(original);
  EXPECT_TRUE(copy.second_text.empty());
  EXPECT_EQ(copy.name, original.name);
  EXPECT_EQ(copy.fk_table, original.fk_table);
  EXPECT_EQ(copy.pk_table, original.pk_table);
  EXPECT_EQ(copy.rule, original.rule);
  EXPECT_EQ(copy.fk_flds, original.fk_flds);
  EXPECT_EQ(copy.pk_flds, original.pk_flds);
  EXPECT_TRUE(log.has("udb_relationship::copy ctor"));
  EXPECT_TRUE(log.has("that.fk_flds.size=2, fk_flds.size=2"));

  udb_relationship assigned = named(L"other");
  assigned = original;
  EXPECT_TRUE(assigned.second_text.empty());
  EXPECT_EQ(assigned.name, L"fk");
}

TEST(UdbRelationships, GrowingTheListKeepsEverySecondText)
{
  udb_relationships list;
  for (int i = 0; i < 50; ++i)
    list.push_back(udb_relationship(L"fk", L"kept", L"c", L"p", {}, {}, L""));
  for (const auto& r : list)
    EXPECT_EQ(r.second_text, L"kept");
}

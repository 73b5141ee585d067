// Name maps: look-ups of generated names and the rewriting of names inside SQL
// texts, which must touch whole words only.
#include "UDB/udb_names_map.h"
#include "udb_log_capture.h"

#include <gtest/gtest.h>

TEST(TNamesMap, MappedNameIsFoundIgnoringCaseElseTheNameStays)
{
  udb_log_capture log;
  t_names_map map;
  map.add(L"Order Date", L"order_date");
  map.add(L"\u00c4nderung", L"aenderung");
  map.add(L"order date", L"second");  // another key: the map is exact, the look-up is not
  map.add(L"Order Date", L"ignored");  // a source already mapped keeps its first name

  EXPECT_EQ(map.at(L"Order Date"), L"order_date");
  EXPECT_EQ(map.get_mapped_name(L"ORDER DATE"), L"order_date");  // "Order Date" sorts first
  EXPECT_EQ(map.get_mapped_name(L"\u00e4NDERUNG"), L"aenderung");
  EXPECT_EQ(map.get_mapped_name(L"unmapped"), L"unmapped");
  EXPECT_TRUE(log.has("t_names_map::get_mapped_name(ORDER DATE)"));
  EXPECT_TRUE(log.has("Got mapped name: order_date"));
  EXPECT_TRUE(log.has("t_names_map::add(Order Date,order_date)"));
}

TEST(TNamesMap, KeysIterateInUtf16Order)
{
  t_names_map map;
  map.add(L"\uFF21", L"fullwidth");     // U+FF21: one unit, FF21
  map.add(L"\U0001D400", L"math");      // U+1D400: D835 DC00
  map.add(L"z", L"ascii");
  std::vector<std::wstring> order;
  for (const auto& [source, generated] : map)
    order.push_back(generated);
  EXPECT_EQ(order, (std::vector<std::wstring>{L"ascii", L"math", L"fullwidth"}));
}

TEST(UdbNamesMap, TableNamesMapExactlyOrIgnoringCase)
{
  udb_names_map names;
  names.add_tn_mapping(L"Order Details", L"order_details");
  EXPECT_EQ(names.get_tn_mapped_name(L"ORDER DETAILS"), L"order_details");
  EXPECT_EQ(names.get_tn_mapped_name(L"ORDER DETAILS", true), L"ORDER DETAILS");
  EXPECT_EQ(names.get_tn_mapped_name(L"Order Details", true), L"order_details");
  EXPECT_EQ(names.get_tn_mapped_name(L"Customers"), L"Customers");
}

TEST(UdbNamesMap, FieldNamesMapExactlyUnderTheCreatedTableName)
{
  udb_log_capture log;
  udb_names_map names;
  t_names_map fields;
  fields.add(L"Unit Price", L"unit_price");
  names.add_fn_map(L"order_details", fields);
  names.add_fn_map(L"order_details", t_names_map());  // the first map stays

  EXPECT_EQ(names.get_fn_mapped_name(L"order_details", L"Unit Price"), L"unit_price");
  EXPECT_EQ(names.get_fn_mapped_name(L"order_details", L"unit price"), L"unit price");
  EXPECT_EQ(names.get_fn_mapped_name(L"order_details", L"Quantity"), L"Quantity");
  EXPECT_EQ(names.get_fn_mapped_name(L"Order_Details", L"Unit Price"), L"Unit Price");
  EXPECT_TRUE(log.has("udb_names_map::add_fn_map(order_details)"));
  EXPECT_TRUE(log.has("Table 'Order_Details' not found"));
}

TEST(UdbNamesMap, GlobalReplaceRewritesWholeWordsOnly)
{
  t_names_map map;
  map.add(L"order", L"t_order");
  struct {
    std::wstring text;
    std::wstring expected;
  } cases[] = {
      {L"select * from Order o", L"select * from `t_order` o"},
      {L"select * from orders", L"select * from orders"},
      {L"reorder", L"reorder"},
      {L"order_id", L"`t_order`_id"},
      {L"ORDER,order", L"`t_order`,`t_order`"},
      {L"order", L"`t_order`"},
      {L"\u00e9order order\u20ac", L"\u00e9order `t_order`\u20ac"},  // é is a letter, € is not
      {L"\u0436order", L"\u0436order"},                              // so is ж
      {L"", L""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(udb_names_map::do_global_replace2(c.text, map, L"`", L"`"), c.expected) << c.text;
}

TEST(UdbNamesMap, GlobalReplaceQuotesOnlyWhereNeededAndNeverLoops)
{
  t_names_map quoted;
  quoted.add(L"order", L"`t_order`");
  EXPECT_EQ(udb_names_map::do_global_replace2(L"from order", quoted, L"`", L"`"), L"from `t_order`");
  EXPECT_EQ(udb_names_map::do_global_replace2(L"from order", quoted, L"", L""), L"from `t_order`");

  t_names_map growing;  // the replacement holds the name: the search goes on behind it
  growing.add(L"a", L"a");
  EXPECT_EQ(udb_names_map::do_global_replace2(L"a a", growing, L"[", L"]"), L"[a] [a]");

  t_names_map empty_source;
  empty_source.add(L"", L"x");
  EXPECT_EQ(udb_names_map::do_global_replace2(L"a b", empty_source, L"`", L"`"), L"a b");
}

TEST(UdbNamesMap, GlobalReplaceFoldsOnlyAsciiLetters)
{
  t_names_map map;
  map.add(L"\u00e4rger", L"aerger");
  EXPECT_EQ(udb_names_map::do_global_replace2(L"\u00c4rger \u00e4RGER", map, L"", L""),
            L"\u00c4rger aerger");
}

TEST(UdbNamesMap, GlobalReplaceDoesTablesThenEachTablesFieldsInKeyOrder)
{
  udb_names_map names;
  names.add_tn_mapping(L"Order Details", L"order_details");
  t_names_map fields;
  fields.add(L"Unit Price", L"unit_price");
  names.add_fn_map(L"order_details", fields);
  EXPECT_EQ(names.do_global_replace1(L"select [Unit Price] from [Order Details]", L"`", L"`"),
            L"select [`unit_price`] from [`order_details`]");

  // Each rewrite works on the result of the one before: table map, then the field
  // maps of "a" and "b" in that order.
  udb_names_map chained;
  chained.add_tn_mapping(L"t", L"u");
  t_names_map b;
  b.add(L"v", L"w");
  chained.add_fn_map(L"b", b);
  t_names_map a;
  a.add(L"u", L"v");
  chained.add_fn_map(L"a", a);
  EXPECT_EQ(chained.do_global_replace1(L"t", L"", L""), L"w");
}

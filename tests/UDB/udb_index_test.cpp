// Index records: the merge of a second definition of a name, and the look-ups
// that the writers use to decide whether a foreign key needs an index of its own.
#include "UDB/udb_index.h"
#include "udb_log_capture.h"

#include <gtest/gtest.h>

namespace {

using names = std::vector<std::wstring>;

enum kind { plain, unique, primary, constraint };

udb_index make(const std::wstring& name, kind k, const names& fields)
{
  udb_index i(name, k == unique || k == primary || k == constraint, k == primary, fields);
  i.unique_constraint = k == constraint;
  return i;
}

} // namespace

TEST(UdbIndexes, SecondDefinitionOfANameMergesByStrength)
{
  struct {
    kind listed;
    kind pushed;
    bool replaced;
    std::vector<std::string> messages;
  } cases[] = {
      {unique, primary, true, {"Upgrade existing index to primary key."}},
      {primary, unique, false, {"Primary key with the same name exists, skip it."}},
      {primary, primary, false, {"Primary key with the same name exists, skip it."}},
      {plain, constraint, true,
       {"Set unique constraint attributes for existing index.",
        "Unique index with the same name exists, skip it."}},
      {constraint, unique, false, {"Unique constraint with the same name exists, skip it."}},
      {constraint, plain, false, {"Unique constraint with the same name exists, skip it."}},
      {plain, unique, true, {"Set unique attribute for existing index."}},
      {unique, plain, false, {"Unique index with the same name exists, skip it."}},
      {plain, plain, false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "listed " << c.listed << ", pushed " << c.pushed);
    udb_indexes list;
    list.push_back(make(L"first", plain, {L"x"}));
    list.push_back(make(L"pk_orders", c.listed, {L"a"}));
    udb_log_capture log;
    const udb_index pushed = make(L"PK_Orders", c.pushed, {L"b", L"c"});
    list.push_back(pushed);

    ASSERT_EQ(list.size(), 2u);
    const udb_index& result = list[1];
    const udb_index expected = c.replaced ? pushed : make(L"pk_orders", c.listed, {L"a"});
    EXPECT_EQ(result.name, expected.name);
    EXPECT_EQ(result.fields, expected.fields);
    EXPECT_EQ(result.unique, expected.unique);
    EXPECT_EQ(result.primary, expected.primary);
    EXPECT_EQ(result.unique_constraint, expected.unique_constraint);
    for (const auto& m : c.messages)
      EXPECT_TRUE(log.has(m)) << m;
    EXPECT_FALSE(log.has("Index does not exist, add it"));
  }
}

TEST(UdbIndexes, NamesMatchIgnoringCaseBeyondAscii)
{
  udb_indexes list;
  list.push_back(make(L"\u00e4nderung", unique, {L"a"}));
  list.push_back(make(L"\u00c4NDERUNG", primary, {L"b"}));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_TRUE(list[0].primary);
  EXPECT_FALSE(list.is_acceptable_name(L"\u00c4nderung"));
  EXPECT_TRUE(list.is_acceptable_name(L"anderung"));
}

TEST(UdbIndexes, NewNameIsAppendedInOrder)
{
  udb_log_capture log;
  udb_indexes list;
  list.push_back(make(L"b", plain, {L"x"}));
  list.push_back(make(L"a", unique, {L"y"}));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, L"b");
  EXPECT_EQ(list[1].name, L"a");
  EXPECT_TRUE(log.has("udb_indexes::push_back(a)"));
  EXPECT_TRUE(log.has("Index does not exist, add it"));
}

TEST(UdbIndex, StartsWithFieldsIsACaseBlindPrefixTest)
{
  const udb_index index = make(L"ix", plain, {L"a", L"B", L"c"});
  struct {
    names given;
    bool expected;
  } cases[] = {
      {{L"A", L"b"}, true},
      {{L"a", L"b", L"C"}, true},
      {{}, true},
      {{L"a", L"c"}, false},
      {{L"b"}, false},
      {{L"a", L"b", L"c", L"d"}, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(index.starts_with_fields(c.given), c.expected) << c.given.size();

  const udb_index greek = make(L"ix", plain, {L"\u03a3\u03a4\u0391"});  // ΣΤΑ
  EXPECT_TRUE(greek.starts_with_fields({L"\u03c3\u03c4\u03b1"}));
}

TEST(UdbIndex, StartsWithFieldsReportsTheFirstMismatch)
{
  udb_log_capture log;
  const udb_index index = make(L"ix", plain, {L"a", L"b"});
  EXPECT_FALSE(index.starts_with_fields({L"a", L"x"}));
  EXPECT_TRUE(log.has("udb_index(ix)::starts_with_fields"));
  EXPECT_TRUE(log.has("this.size=2, that.size=2"));
  EXPECT_TRUE(log.has("Field 'x' not found"));
  EXPECT_TRUE(log.has("starts_with_fields returns false"));
}

TEST(UdbIndexes, FirstIndexOverTheFieldsDecidesWhetherTheyAreUnique)
{
  udb_indexes list;
  list.push_back(make(L"plain_ab", plain, {L"a", L"b"}));
  list.push_back(make(L"unique_a", unique, {L"a"}));
  list.push_back(make(L"unique_c", unique, {L"c", L"d"}));
  list.push_back(make(L"pk_e", primary, {L"e"}));
  list[3].unique = false;  // a primary key is unique whatever its flag says

  EXPECT_FALSE(list.has_index_on_fields({L"A"}));  // plain_ab comes first
  EXPECT_TRUE(list.has_index_on_fields({L"C"}));
  EXPECT_TRUE(list.has_index_on_fields({L"e"}));
  EXPECT_FALSE(list.has_index_on_fields({L"d"}));
  EXPECT_FALSE(udb_indexes().has_index_on_fields({L"a"}));
}

TEST(UdbIndexes, OnlyAUniqueIndexOfExactlyTheFieldsServesARelation)
{
  udb_indexes list;
  list.push_back(make(L"unique_ab", unique, {L"a", L"b"}));
  list.push_back(make(L"plain_c", plain, {L"c"}));
  list.push_back(make(L"pk_de", primary, {L"d", L"e"}));
  list.push_back(make(L"prefix_f", unique, {L"f"}));
  list[3].prefix_lengths = {10};  // unique over the first ten characters only
  const struct {
    names fields;
    bool served;
  } cases[] = {
      {{L"a"}, false},  // the wider unique key does not serve
      {{L"b", L"A"}, true},
      {{L"a", L"b", L"c"}, false},
      {{L"c"}, false},
      {{L"E", L"d"}, true},
      {{L"f"}, false},
      {{}, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(list.has_unique_index_of(c.fields), c.served) << c.fields.size();
}

TEST(UdbIndexes, IndexFieldTestIsExactAndCanBeLimitedToPrimaryKeys)
{
  udb_indexes list;
  list.push_back(make(L"pk", primary, {L"id"}));
  list.push_back(make(L"ix", plain, {L"name"}));
  EXPECT_TRUE(list.is_idx_field(L"id", true));
  EXPECT_TRUE(list.is_idx_field(L"name", false));
  EXPECT_FALSE(list.is_idx_field(L"name", true));
  EXPECT_FALSE(list.is_idx_field(L"ID", false));
}

TEST(UdbIndexes, GetIndexLetsAReaderExtendAListedIndex)
{
  udb_indexes list;
  list.push_back(make(L"ix", plain, {L"a"}));
  udb_index* found = list.get_index(L"IX");
  ASSERT_NE(found, nullptr);
  found->fields.push_back(L"b");
  EXPECT_EQ(list[0].fields, (names{L"a", L"b"}));
  EXPECT_EQ(list.get_index(L"other"), nullptr);
}

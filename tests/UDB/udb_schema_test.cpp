// Column descriptors and schemas: look-ups that ignore case, the answers for a
// missing column, and descriptors shared between copies of a schema.
#include "UDB/udb_field.h"
#include "UDB/udb_schema.h"
#include "udb_log_capture.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

udb_schema orders()
{
  udb_schema s;
  s.emplace_back(4u, L"ID", VT_I4, true, true, ole_variant(), 0u, L"");
  s.emplace_back(30u, L"\u00c4nderung", VT_BSTR, false, false, ole_variant(L"n/a"), 0u, L"");
  s.emplace_back(8u, L"id", VT_I8, false, false, ole_variant(), 1u, L"");
  return s;
}

bool is_empty_descriptor(const t_ftd& d)
{
  return d.size == 0 && d.precision == 0 && d.scale == 0 && d.name.empty() &&
         d.native_type.empty() && d.comment.empty() && d.vartype == VT_EMPTY && !d.not_null &&
         !d.auto_increment && d.default_value.get_type() == VT_EMPTY && d.dw_reserved == 0;
}

} // namespace

TEST(UdbSchema, LookupsIgnoreCaseAndTakeTheFirstMatch)
{
  udb_schema s = orders();
  EXPECT_TRUE(s.find_field(L"id"));
  EXPECT_TRUE(s.find_field(L"\u00e4NDERUNG"));
  EXPECT_FALSE(s.find_field(L"I"));
  EXPECT_EQ(&s.get_field1(L"Id"), s[0].get());
  EXPECT_EQ(&s.get_field2(L"iD"), s[0].get());
  EXPECT_EQ(s.get_field_size(L"id"), 4);
  EXPECT_EQ(s.get_field_type(L"ID"), VT_I4);
  EXPECT_EQ(s.get_field2(L"\u00e4nderung").default_value.to_wstring(), L"n/a");
}

TEST(UdbSchema, MissingColumnGivesTheEmptyDescriptorAndMarkerValues)
{
  udb_schema s = orders();
  udb_log_capture log;
  EXPECT_EQ(s.get_field_size(L"price"), -1);
  EXPECT_EQ(s.get_field_type(L"price"), VT_NULL);
  EXPECT_TRUE(log.has("Field 'price' not found"));

  const t_ftd& shared = s.get_field2(L"price");
  EXPECT_TRUE(is_empty_descriptor(shared));
  EXPECT_EQ(&shared, &udb_schema().get_field2(L"other"));

  // A caller that changes what a miss gave it spoils no later miss.
  t_ftd& scratch = s.get_field1(L"price");
  EXPECT_TRUE(is_empty_descriptor(scratch));
  scratch.vartype = VT_BSTR;
  scratch.name = L"spoiled";
  EXPECT_TRUE(is_empty_descriptor(s.get_field1(L"total")));
  EXPECT_TRUE(is_empty_descriptor(s.get_field2(L"total")));
  EXPECT_EQ(s.size(), 3u);
}

TEST(UdbSchema, NullEntriesArePassedOver)
{
  udb_schema s;
  s.push_back(nullptr);
  s.emplace_back(4u, L"a", VT_I4, false, false, ole_variant(), 0u, L"");
  EXPECT_TRUE(s.find_field(L"A"));
  EXPECT_EQ(s.get_field_type(L"a"), VT_I4);
  EXPECT_FALSE(s.find_field(L"b"));
}

TEST(UdbSchema, SizeBeyondTheSignedRangeIsNotMistakenForAMissingColumn)
{
  udb_schema s;
  s.emplace_back(0xFFFFFFFFu, L"body", VT_BSTR, false, false, ole_variant(), 0u, L"");
  EXPECT_EQ(s.get_field_size(L"body"), std::numeric_limits<std::int32_t>::max());
}

TEST(UdbSchema, CopiesShareDescriptorsThatLiveAsLongAsAnyCopy)
{
  std::weak_ptr<t_ftd> watch;
  udb_schema copy(false);
  {
    udb_schema original = orders();
    watch = original[1];
    copy = original;
    EXPECT_EQ(copy[1].get(), original[1].get());
    copy.get_field1(L"ID").comment = L"key";  // seen through both
    EXPECT_EQ(original[0]->comment, L"key");
  }
  EXPECT_TRUE(copy.get_flag());
  ASSERT_FALSE(watch.expired());
  EXPECT_EQ(copy.get_field2(L"\u00e4nderung").size, 30u);
  copy = udb_schema();
  EXPECT_TRUE(watch.expired());
}

TEST(UdbSchema, DescriptorFromAFieldTakesItsColumn)
{
  udb_field f(L"Guid", 99u, ole_variant(L"{0123}"), true, false);
  const t_ftd d(f, ole_variant(5), 1u);
  EXPECT_EQ(d.name, L"Guid");
  EXPECT_EQ(d.size, 6u);  // the text's length, not the stored size
  EXPECT_EQ(d.vartype, VT_BSTR);
  EXPECT_TRUE(d.not_null);
  EXPECT_FALSE(d.auto_increment);
  EXPECT_EQ(d.default_value.to_long(), 5);
  EXPECT_EQ(d.dw_reserved, 1u);
  EXPECT_EQ(d.precision + d.scale, 0u);
  EXPECT_TRUE(d.native_type.empty() && d.comment.empty());

  udb_log_capture log;
  const t_ftd g(10u, L"n", VT_DECIMAL, false, true, ole_variant(), 9u, L"DECIMAL(10,2)");
  EXPECT_EQ(g.native_type, L"DECIMAL(10,2)");
  EXPECT_TRUE(g.auto_increment);
  EXPECT_TRUE(log.has("\tfield name='n', vartype=14, size=10, b_not_null=0, reserved=9"));
}

// The conversion-rule hook: silent without a registry, first accepting rule wins
// with one.
#include "UDB/udb_custom.h"
#include "UDB/udb_schema.h"

#include <gtest/gtest.h>

namespace {

// Takes columns of one name and values of one type.
class named_rule : public udb_conversion_rule {
public:
  named_rule(std::wstring column, VARTYPE type, std::wstring text)
      : column_(std::move(column)), type_(type), text_(std::move(text))
  {
  }
  bool accepts(const t_ftd& column) const override { return column.name == column_; }
  bool accepts(const ole_variant& value) const override { return value.get_type() == type_; }
  std::wstring handle(const t_ftd&) const override { return text_; }
  std::wstring handle(const ole_variant&) const override { return text_; }

private:
  std::wstring column_;
  VARTYPE type_;
  std::wstring text_;
};

} // namespace

TEST(UdbCustomConversion, WithoutARegistryNothingIsAccepted)
{
  t_ftd column;
  column.name = L"geo";
  const ole_variant value(5);
  EXPECT_FALSE(udb_custom_conversion::is_acceptable1(column));
  EXPECT_FALSE(udb_custom_conversion::is_acceptable2(value));
  EXPECT_EQ(udb_custom_conversion::handle1(column), L"");
  EXPECT_EQ(udb_custom_conversion::handle2(value), L"");
}

TEST(UdbCustomConversion, FirstAcceptingRuleGivesTheText)
{
  t_ftd column;
  column.name = L"geo";
  t_ftd other;
  other.name = L"id";
  {
    udb_custom_conversion registry;
    registry.add_rule(std::make_unique<named_rule>(L"id", VT_BSTR, L"first"));
    registry.add_rule(std::make_unique<named_rule>(L"geo", VT_I4, L"second"));
    registry.add_rule(std::make_unique<named_rule>(L"geo", VT_I4, L"third"));
    EXPECT_TRUE(udb_custom_conversion::is_acceptable1(column));
    EXPECT_EQ(udb_custom_conversion::handle1(column), L"second");
    EXPECT_EQ(udb_custom_conversion::handle2(ole_variant(7)), L"second");
    EXPECT_EQ(udb_custom_conversion::handle1(other), L"first");
    EXPECT_FALSE(udb_custom_conversion::is_acceptable2(ole_variant(1.5)));
  }
  EXPECT_FALSE(udb_custom_conversion::is_acceptable1(column));
}

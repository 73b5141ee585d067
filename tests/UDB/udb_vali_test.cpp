// Name validators: acceptance, duplicates and the generation of safe names, with
// lengths in UTF-16 units and names compared ignoring case over all of Unicode.
#include "UDB/udb_vali.h"
#include "udb_log_capture.h"

#include "TK/tk_exception.h"
#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace {

udb_validator make(std::uint32_t max_length, std::vector<std::wstring> existing = {},
                   std::vector<std::wstring> restricted = {})
{
  udb_validator v(max_length);
  v.add_illegal_char(L' ');
  for (const auto& n : existing)
    v.add_existing_name(n);
  for (const auto& n : restricted)
    v.add_restricted_name(n);
  return v;
}

const std::wstring emoji = L"\U0001F600";  // two UTF-16 units

} // namespace

TEST(UdbValidator, SafeNameIsLowerCasedCutCleanedAndCountedWhenTaken)
{
  struct {
    udb_validator validator;
    std::wstring wanted;
    std::wstring expected;
  } cases[] = {
      {make(0), L"Order Details", L"order_details"},
      {make(10), L"Order Details", L"order_det"},
      {make(10), L"Order", L"order"},
      {make(10, {L"order_det"}), L"Order Details", L"orde00000"},
      {make(10, {L"order_det", L"ORDE00000"}), L"Order Details", L"orde00001"},
      {make(0, {L"orders"}), L"Orders", L"orders00000"},
      {make(0, {}, {L"SELECT"}), L"Select", L"select00000"},
      {make(0, {L"\u00e4rger"}), L"\u00c4RGER", L"\u00c4rger00000"},  // lower-cases A-Z only
      {make(10), L"xxxxxx" + emoji + L"zzz", L"xxxxxx" + emoji + L"z"},
      {make(10), L"xxxxxxxx" + emoji + L"z", L"xxxxxxxx"},  // a cut never splits a character
      {make(10), L"xxxxxxxx" + emoji, L"xxxxxxxx" + emoji},
      {make(10, {L"abc" + emoji + L"de"}), L"abc" + emoji + L"de", L"abc00000"},
      {make(5, {L"abcd"}), L"abcd", L"00000"},
      {make(6, {L"ab"}), L"ab", L"00000"},
      {make(7, {L"ab"}), L"ab", L"ab00000"},
      {make(7, {L"abc"}), L"abc", L"a00000"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.validator.get_safe_name(c.wanted), c.expected) << plat::to_utf8(c.wanted);
}

TEST(UdbValidator, NamesCutToTheSamePrefixStayUnique)
{
  udb_validator v = make(10);
  std::set<std::wstring> results;
  for (const wchar_t* wanted : {L"Order Details A", L"Order Details B", L"ORDER DETAILS C",
                                L"Order Det"}) {
    const std::wstring name = v.get_safe_name(wanted);
    EXPECT_TRUE(v.is_acceptable(name)) << plat::to_utf8(name);
    EXPECT_TRUE(results.insert(name).second) << plat::to_utf8(name);
    v.add_existing_name(name);
  }
  EXPECT_EQ(results, (std::set<std::wstring>{L"order_det", L"orde00000", L"orde00001", L"orde00002"}));
}

TEST(UdbValidator, AcceptanceChecksLengthRestrictedNamesAndIllegalCharacters)
{
  udb_validator v = make(10, {L"taken"}, {L"\u00c4RGER", L"select"});
  v.add_illegal_char(L'$');
  struct {
    std::wstring name;
    bool expected;
  } cases[] = {
      {L"abcdefghij", true},
      {L"abcdefghijk", false},
      {L"abcdefgh" + emoji, true},   // ten units
      {L"abcdefghi" + emoji, false},  // eleven units
      {L"\u00e4rger", false},
      {L"SELECT", false},
      {L"selected", true},
      {L"a b", false},
      {L"a$", false},
      {L"taken", true},
      {L"", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(v.is_acceptable(c.name), c.expected) << plat::to_utf8(c.name);
}

TEST(UdbValidator, RefusalsAreReportedWithTheirReason)
{
  udb_log_capture log;
  udb_validator v = make(3, {}, {L"ab"});
  v.add_illegal_char(L'\u00df');
  EXPECT_FALSE(v.is_acceptable(L"abcd"));
  EXPECT_FALSE(v.is_acceptable(L"AB"));
  EXPECT_FALSE(v.is_acceptable(L"a\u00df"));
  EXPECT_TRUE(log.has("udb_validator::is_acceptable(abcd)"));
  EXPECT_TRUE(log.has("The name is too long"));
  EXPECT_TRUE(log.has("The name is restricted"));
  EXPECT_TRUE(log.has("The name contains illegal: \xC3\x9F"));
}

TEST(UdbValidator, DuplicatesAreFoundIgnoringCase)
{
  udb_log_capture log;
  const udb_validator v = make(0, {L"orders", L"\u03c3\u03b9\u03c3"});
  EXPECT_TRUE(v.is_duplicated(L"ORDERS"));
  EXPECT_TRUE(v.is_duplicated(L"\u03a3\u0399\u03a3"));
  EXPECT_FALSE(v.is_duplicated(L"order"));
  EXPECT_TRUE(log.has("Processing orders"));
  EXPECT_TRUE(log.has("Name is duplicated"));
  EXPECT_TRUE(log.has("udb_validator::add_existing_name(orders)"));
}

TEST(UdbValidator, MappedPairsKeepTheFirstNameOfASource)
{
  udb_log_capture log;
  udb_validator v(0);
  v.add_mapped_pair(L"Unit Price", L"unit_price");
  v.add_mapped_pair(L"Unit Price", L"other");
  EXPECT_EQ(v.get_mapped_pairs().get_mapped_name(L"unit PRICE"), L"unit_price");
  EXPECT_TRUE(log.has("udb_validator::add_mapped_pair(Unit Price,unit_price)"));
  EXPECT_TRUE(log.has("t_names_map::add(Unit Price,unit_price)"));
}

namespace {

// A target that takes only names holding a digit, or none at all.
class digits_validator : public udb_validator {
public:
  explicit digits_validator(bool takes_any) : udb_validator(0), takes_any_(takes_any) {}
  bool is_acceptable(const std::wstring& name) const override
  {
    return takes_any_ && name.find_first_of(L"0123456789") != std::wstring::npos &&
           udb_validator::is_acceptable(name);
  }

private:
  bool takes_any_;
};

} // namespace

TEST(UdbValidator, SafeNameAsksTheTargetsOwnAcceptanceTest)
{
  const digits_validator v(true);
  const udb_validator& base = v;
  EXPECT_EQ(base.get_safe_name(L"Name"), L"name00000");
  EXPECT_EQ(base.get_safe_name(L"Name7"), L"name7");
}

TEST(UdbValidator, ExhaustedCounterIsAnInternalError)
{
  const digits_validator v(false);
  try {
    v.get_safe_name(L"name");
    FAIL() << "no exception";
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(e.get_level(), 2u);
    EXPECT_EQ(e.get_message(), make_err_meggase("udb_vali", 55));
  }
}

TEST(UdbValidator, DerivedValidatorIsReleasedThroughTheBase)
{
  // Counts its own destruction: a release through the base must reach it.
  class counted_validator : public digits_validator {
  public:
    explicit counted_validator(int& released) : digits_validator(true), released_(released) {}
    ~counted_validator() override { ++released_; }

  private:
    int& released_;
  };
  int released = 0;
  std::unique_ptr<udb_validator> owned = std::make_unique<counted_validator>(released);
  owned->add_existing_name(std::wstring(1000, L'x'));
  owned.reset();  // the names it held show as a leak under the sanitizers if not freed
  EXPECT_EQ(released, 1);
}

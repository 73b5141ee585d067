// Case-insensitive comparison: every script folds, the order is consistent, and
// the process locale changes nothing.
#include "platform/case_fold.h"
#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include <clocale>
#include <map>
#include <string>

namespace {

struct pair_case {
  const wchar_t* a;
  const wchar_t* b;
  bool equal;
};

const pair_case pairs[] = {
  {L"ABC", L"abc", true},
  {L"\u00c4rger", L"\u00e4RGER", true},                // Ä ä
  {L"\u03a3\u03c3\u03c2", L"\u03c3\u03c2\u03a3", true},  // Σ σ ς are one letter
  {L"\u0416\u0418\u0412", L"\u0436\u0438\u0432", true},  // Cyrillic
  {L"\u212a", L"k", true},                             // Kelvin sign
  {L"\u00b5", L"\u039c", true},                        // micro sign, capital mu
  {L"\u1e9e", L"\u00df", true},                        // capital and small sharp s
  {L"\U00010400", L"\U00010428", true},                // Deseret, beyond the BMP
  {L"", L"", true},
  {L"abc", L"abd", false},
  {L"abc", L"ab", false},
  {L"\u00df", L"ss", false},                           // no full folding: lengths stay
  {L"\u0131", L"i", false},                            // Turkic i's keep to themselves
  {L"\u0130", L"i", false},
  {L"\u00c4", L"A", false},                            // no accent folding
};

} // namespace

TEST(CaseFold, EqualityFoldsEveryScriptInWideAndUtf8)
{
  for (const auto& c : pairs) {
    EXPECT_EQ(plat::equal_no_case(std::wstring_view(c.a), std::wstring_view(c.b)), c.equal)
      << plat::to_utf8(c.a) << " / " << plat::to_utf8(c.b);
    const std::string a = plat::to_utf8(c.a);
    const std::string b = plat::to_utf8(c.b);
    EXPECT_EQ(plat::equal_no_case(std::string_view(a), std::string_view(b)), c.equal) << a << " / " << b;
    EXPECT_EQ(plat::compare_no_case(std::string_view(a), std::string_view(b)) == 0, c.equal) << a;
  }
}

TEST(CaseFold, ResultDoesNotDependOnTheProcessLocale)
{
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  for (const char* locale : {"C", "POSIX", "C.UTF-8"}) {
    ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << locale;
    EXPECT_TRUE(plat::equal_no_case(std::wstring_view(L"\u00c4\u00d6\u00dc"), std::wstring_view(L"\u00e4\u00f6\u00fc")))
      << locale;
    EXPECT_TRUE(plat::equal_no_case(std::string_view("\xC3\x84"), std::string_view("\xC3\xA4"))) << locale;
  }
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(CaseFold, ThreeWayOrderIsConsistentAndKeysAMap)
{
  struct {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
    {"apple", "Banana", -1},
    {"ZEBRA", "apple", 1},
    {"\xC3\x84pfel", "\xC3\xA4PFEL", 0},
    {"Ab", "aBc", -1},
    {"abc\xC3\xA4", "ABC\xC3\xB6", -1},   // ä before ö after an equal ASCII prefix
    {"A\xFF", "a\xFF", 0},                // a stray byte equals only itself; the rest still folds
    {"\xFF", "\xC3\xBF", 1},              // ... and never the character of that number (ÿ)
    {"a\xFF", "b\xFE", -1},
    {"\xC3\x84\xFF", "\xC3\xA4\xFE", 1},
    {"\xE2\x82", "\xE2\x82\xAC", 1},       // a sequence cut short is two stray bytes, not €
  };
  const auto sign = [](int v) { return (v > 0) - (v < 0); };
  for (const auto& c : cases) {
    EXPECT_EQ(sign(plat::compare_no_case(std::string_view(c.a), std::string_view(c.b))), c.sign)
      << c.a << " / " << c.b;
    EXPECT_EQ(sign(plat::compare_no_case(std::string_view(c.b), std::string_view(c.a))), -c.sign)
      << c.b << " / " << c.a;
  }
  EXPECT_LT(plat::compare_no_case(std::wstring_view(L"\u03b1"), std::wstring_view(L"\u0392")), 0);  // α < Β

  std::map<std::wstring, int, plat::less_no_case> names;
  names[L"\u00c4BC"] = 1;
  names[L"\u00e4bc"] = 2;  // the same name
  names[L"Sheet"] = 3;
  EXPECT_EQ(names.size(), 2u);
  EXPECT_EQ(names.at(L"\u00e4BC"), 2);
  EXPECT_NE(names.find(std::wstring_view(L"SHEET")), names.end());
}

TEST(CaseFold, NamesAnyReaderHoldsEqualMeetUnderSomeMapping)
{
  const pair_case cases[] = {
    {L"Sat\u0131\u015f", L"SATI\u015e", true},  // upper case of ı is I
    {L"\u0131", L"I", true},
    {L"\u0130", L"i", true},                     // lower case of İ is i
    {L"\ufb01", L"fi", true},                     // full folding: the ligature is two letters
    {L"\ufb01", L"FI", true},
    {L"Stra\u00dfe", L"STRASSE", true},
    {L"\u1e9e", L"ss", true},                     // capital sharp s
    {L"\u03a3\u03c2", L"\u03c3\u03c3", true},
    {L"\u1f88", L"\u1f00\u03b9", true},           // a Greek letter with iota below
    {L"Orders", L"oRDERS", true},
    {L"\u0131", L"i", true},                      // both upper-case to I
    {L"\u0131", L"\u0130", false},                // but no one mapping joins ı and İ
    {L"\u00c4", L"A", false},                     // no accent folding
    {L"fi", L"fj", false},
    {L"\ufb01x", L"fi", false},
    {L"", L"", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(plat::equal_in_any_case(c.a, c.b), c.equal) << plat::to_utf8(c.a) << " / " << plat::to_utf8(c.b);
    EXPECT_EQ(plat::equal_in_any_case(c.b, c.a), c.equal) << plat::to_utf8(c.b) << " / " << plat::to_utf8(c.a);
  }
}

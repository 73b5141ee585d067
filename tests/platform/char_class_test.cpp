// Letters and digits of every script count as alphanumeric, whatever the
// process locale; separators, symbols and the no-break space do not.
#include "platform/char_class.h"

#include <gtest/gtest.h>

#include <clocale>

TEST(CharClass, LettersAndDigitsOfAnyScriptAreAlphanumericInTheCLocale)
{
  std::setlocale(LC_CTYPE, "C");
  const wchar_t yes[] = {L'a', L'Z', L'7', L'\u00e9', L'\u0416', L'\u65e5', L'\u0660', L'\U00010400'};
  for (const wchar_t ch : yes)
    EXPECT_NE(IsCharAlphaNumericW(ch), 0) << static_cast<unsigned>(ch);
  const wchar_t no[] = {L'_', L' ', L'-', L'.', L'\u20ac', L'\u00a0', L'\U0001F600', L'\0'};
  for (const wchar_t ch : no)
    EXPECT_EQ(IsCharAlphaNumericW(ch), 0) << static_cast<unsigned>(ch);
}

// Letters and digits by Unicode, whatever the process locale.
#include "platform/char_class.h"

#include "platform/unicode_locale.h"

#include <locale.h>
#include <wctype.h>

int IsCharAlphaNumericW(wchar_t ch)
{
  const locale_t locale = plat::unicode_ctype_locale();
  if (locale == static_cast<locale_t>(nullptr))
    return (ch >= L'0' && ch <= L'9') || (ch >= L'A' && ch <= L'Z') || (ch >= L'a' && ch <= L'z');
  return iswalnum_l(static_cast<wint_t>(ch), locale) != 0;
}

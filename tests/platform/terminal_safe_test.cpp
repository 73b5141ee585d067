// The console form of names: every control character and every byte that is not
// UTF-8 becomes a visible escape; all other text, non-ASCII included, is kept.
#include "platform/text_codec.h"

#include <gtest/gtest.h>

TEST(TerminalSafe, ControlCharactersAndStrayBytesBecomeEscapes)
{
  const struct {
    std::string in;
    std::string shown;
  } cases[] = {
      {"plain name", "plain name"},
      {"Zo\xC3\xAB \xE6\x9D\x8E \xF0\x9F\x98\x80", "Zo\xC3\xAB \xE6\x9D\x8E \xF0\x9F\x98\x80"},
      {"a\tb\nc\rd", "a\\tb\\nc\\rd"},
      {"\x1b[31mred\x07", "\\x1b[31mred\\x07"},
      {std::string("nul\0x", 5), "nul\\x00x"},
      {"del\x7f", "del\\x7f"},
      {"c1 \xC2\x80 \xC2\x9B \xC2\x9F \xC2\xA0", "c1 \\x80 \\x9b \\x9f \xC2\xA0"},
      {"bad \xFF \xC3( \xE2\x82", "bad \\xff \\xc3( \\xe2\\x82"},
      {"back\\slash", "back\\slash"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(plat::terminal_safe(c.in), c.shown) << c.in;
  EXPECT_EQ(plat::terminal_safe(std::wstring(L"w\x1b\x9b\u00e9\n")), "w\\x1b\\x9b\xC3\xA9\\n");
}

// Conversions between wide text and UTF-8 (the "ANSI code page"): sizes follow the
// result, invalid input fails the way each form promises, and an embedded
// terminator ends the text.
#include "TK/tk_codepage.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct free_deleter {
  void operator()(void* p) const { std::free(p); }
};

const std::wstring ten_emoji(10, L'\U0001F600');

struct round_trip {
  std::wstring wide;
  std::string utf8;
};

const round_trip round_trips[] = {
  {L"", ""},
  {L"plain", "plain"},
  {L"\u00c4\u00d6", "\xC3\x84\xC3\x96"},
  {L"\u4e2d\u6587\u8868", "\xE4\xB8\xAD\xE6\x96\x87\xE8\xA1\xA8"},  // 3 bytes each: over a 2x room
  {ten_emoji, [] {
     std::string s;
     for (int i = 0; i < 10; ++i)
       s += "\xF0\x9F\x98\x80";  // 4 bytes each: over a 3x room
     return s;
   }()},
};

} // namespace

TEST(TkCodepage, StringConversionsRoundTripEveryPlane)
{
  for (const auto& c : round_trips) {
    EXPECT_EQ(tk_wstring_to_utf8(c.wide), c.utf8);
    EXPECT_EQ(tk_utf8_to_wstring(c.utf8), c.wide);
    for (const std::uint32_t code_page : {tk_cp_acp, 0u, 3u, 65001u})
      EXPECT_EQ(tk_wstring_to_ansi(c.wide, code_page), c.utf8) << code_page;
  }
}

TEST(TkCodepage, StringConversionsStopAtAnEmbeddedTerminator)
{
  EXPECT_EQ(tk_wstring_to_utf8(std::wstring(L"ab\0cd", 5)), "ab");
  EXPECT_EQ(tk_wstring_to_ansi(std::wstring(L"\u00c4\0x", 3)), "\xC3\x84");
  EXPECT_EQ(tk_utf8_to_wstring(std::string("ab\0cd", 5)), L"ab");
  // What lies behind the terminator is dropped, not judged.
  EXPECT_EQ(tk_utf8_to_wstring(std::string("ab\0\xFF", 4)), L"ab");
}

TEST(TkCodepage, InvalidUtf8RaisesTheConversionError)
{
  const std::string invalid[] = {"\xFF", "ok \xFF", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                 "cut \xE2\x82", "\x80"};
  // The UTF-8 form and the raising ANSI form fail alike; the tk_try_ form gives nothing.
  for (const auto convert : {&tk_utf8_to_wstring, &tk_ansi_to_wstring}) {
    for (const auto& text : invalid) {
      try {
        convert(text);
        ADD_FAILURE() << "no exception for " << text;
      } catch (const tk_exception_ex& e) {
        EXPECT_EQ(e.get_level(), 0u);
        EXPECT_EQ(e.get_code(), static_cast<std::uint32_t>(EILSEQ));
        EXPECT_EQ(e.get_message(), std::string("Cannot convert to UNICODE string: ") + std::strerror(EILSEQ));
      }
    }
  }
  for (const auto& text : invalid)
    EXPECT_FALSE(tk_try_ansi_to_wstring(text).has_value()) << text;
}

TEST(TkCodepage, AnsiTextDecodesUpToItsTerminatorWhicheverFormTheCallerPicks)
{
  for (const auto& c : round_trips) {
    EXPECT_EQ(tk_ansi_to_wstring(c.utf8), c.wide);
    EXPECT_EQ(tk_try_ansi_to_wstring(c.utf8), c.wide);
  }
  EXPECT_EQ(tk_ansi_to_wstring(std::string("ab\0\xFF", 4)), L"ab");
  EXPECT_EQ(tk_try_ansi_to_wstring(std::string("ab\0\xFF", 4)), L"ab");
}

TEST(TkCodepage, CharacterThatIsNoCodePointEncodesAsReplacementCharacter)
{
  for (const auto value : {0xD800, 0xDFFF, 0x110000}) {
    const std::wstring text = L"a" + std::wstring(1, static_cast<wchar_t>(value)) + L"b";
    EXPECT_EQ(tk_wstring_to_utf8(text), "a\xEF\xBF\xBD" "b") << value;
  }
}

TEST(TkCodepage, OnlyUtf8CodePagesAreAccepted)
{
  try {
    tk_wstring_to_ansi(L"x", 1252);
    ADD_FAILURE() << "code page 1252 accepted";
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(e.get_level(), 2u);
  }
}

TEST(TkCodepage, AnsiToUnicodeReplacesTheBufferOnlyOnSuccess)
{
  wchar_t* out = nullptr;
  EXPECT_FALSE(tk_ansi_to_unicode(nullptr, out));
  EXPECT_EQ(out, nullptr);

  ASSERT_TRUE(tk_ansi_to_unicode("\xC3\x84 x", out));
  std::unique_ptr<wchar_t, free_deleter> first(out);
  EXPECT_STREQ(out, L"\u00c4 x");

  // The previous buffer is freed and replaced (a leak or double free shows under ASan).
  ASSERT_TRUE(tk_ansi_to_unicode("\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80", out));
  (void)first.release();
  std::unique_ptr<wchar_t, free_deleter> second(out);
  EXPECT_STREQ(out, L"\U0001F600\U0001F600\U0001F600");

  EXPECT_FALSE(tk_ansi_to_unicode("bad \xFF", out));
  EXPECT_EQ(out, second.get());  // the caller still owns its old text
  EXPECT_STREQ(out, L"\U0001F600\U0001F600\U0001F600");
}

TEST(TkCodepage, UnicodeToAnsi1NeverWritesBeyondTheCallersBuffer)
{
  struct {
    const wchar_t* text;
    std::size_t room;
    bool fits;
    const char* result;
  } cases[] = {
    {L"\u4e2d\u6587\u8868", 10, true, "\xE4\xB8\xAD\xE6\x96\x87\xE8\xA1\xA8"},  // exactly the result
    {L"\u4e2d\u6587\u8868", 9, false, ""},
    {L"\U0001F600\U0001F600", 9, true, "\xF0\x9F\x98\x80\xF0\x9F\x98\x80"},
    {L"abc", 3, false, ""},
    {L"", 1, true, ""},
  };
  for (const auto& c : cases) {
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(tk_unicode_to_ansi1(c.text, buffer, c.room), c.fits) << c.room;
    EXPECT_STREQ(buffer, c.result) << c.room;
    for (std::size_t i = c.room; i < sizeof buffer; ++i)
      ASSERT_EQ(buffer[i], '#') << "written beyond the room at " << i;
  }
  char buffer[4] = "xyz";
  EXPECT_FALSE(tk_unicode_to_ansi1(nullptr, buffer, sizeof buffer));
  EXPECT_FALSE(tk_unicode_to_ansi1(L"a", buffer, 0));
  EXPECT_STREQ(buffer, "xyz");
}

TEST(TkCodepage, UnicodeToAnsi2AllocatesTheWholeResult)
{
  char* out = nullptr;
  EXPECT_FALSE(tk_unicode_to_ansi2(nullptr, out));
  EXPECT_EQ(out, nullptr);
  ASSERT_TRUE(tk_unicode_to_ansi2(L"x", out));
  std::unique_ptr<char, free_deleter> first(out);
  ASSERT_TRUE(tk_unicode_to_ansi2(ten_emoji.c_str(), out));
  (void)first.release();
  std::unique_ptr<char, free_deleter> second(out);
  EXPECT_EQ(std::string(out), tk_wstring_to_utf8(ten_emoji));
  EXPECT_EQ(std::strlen(out), 40u);
}

TEST(TkCodepage, UnicodeToAnsi3FailsOnNullAndEmptyText)
{
  std::string out = "old";
  EXPECT_FALSE(tk_unicode_to_ansi3(nullptr, out));
  EXPECT_FALSE(tk_unicode_to_ansi3(L"", out));
  EXPECT_EQ(out, "");
  EXPECT_TRUE(tk_unicode_to_ansi3(ten_emoji.c_str(), out));
  EXPECT_EQ(out, tk_wstring_to_utf8(ten_emoji));
}

TEST(TkCodepage, BufferConversionsLogTheirSteps)
{
  temp_dir dir;
  const std::string log = dir.file("log.txt");
  {
    tk_logger logger(log.c_str(), true, 1, false);
    char buffer[8];
    tk_unicode_to_ansi1(L"abc", buffer, sizeof buffer);
    char* out = nullptr;
    tk_unicode_to_ansi2(L"abc", out);
    std::free(out);
    std::string text;
    tk_unicode_to_ansi3(L"abc", text);
    tk_unicode_to_ansi3(L"", text);
  }
  EXPECT_EQ(read_file(log),
            "tk_unicode_to_ansi1\r\n"
            "n_ansi=8, n_unicode=4\r\n"
            "tk_unicode_to_ansi2\r\n"
            "tk_unicode_to_ansi3 - return true\r\n"
            "tk_unicode_to_ansi3 - return false\r\n");
}

// The toolkit's text operations: replacing, lowering, suffix tests, trimming,
// splitting and hexadecimal text, with the log lines they leave.
#include "TK/tk_log.h"
#include "TK/tk_string.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <functional>

TEST(TkString, ReplaceAllResumesAfterEachReplacementAndChangesTheObject)
{
  struct {
    const char* text;
    const char* from;
    const char* to;
    const char* result;
  } cases[] = {
    {"a\r\nb\r\nc\r\n", "\r\n", "\n", "a\nb\nc\n"},
    {"aaa", "a", "aa", "aaaaaa"},
    {"abcabc", "abc", "", ""},
    {"xyz", "q", "w", "xyz"},
    {"aaaa", "aa", "b", "bb"},
    {"", "a", "b", ""},
    {"abc", "", "x", "abc"},  // nothing to look for: unchanged, and no endless loop
  };
  for (const auto& c : cases) {
    tk_string text(c.text);
    EXPECT_EQ(text.replace_all(c.from, c.to), c.result) << c.text;
    EXPECT_EQ(text, c.result) << c.text;
  }

  tk_wstring wide(L"\u00c4\r\n\u00d6\r\n\U0001F600\r\n");
  EXPECT_EQ(wide.replace_all(L"\r\n", L"\n"), L"\u00c4\n\u00d6\n\U0001F600\n");
  EXPECT_EQ(wide, L"\u00c4\n\u00d6\n\U0001F600\n");
  tk_wstring grows(L"aaa");
  EXPECT_EQ(grows.replace_all(L"a", L"aa"), L"aaaaaa");
}

TEST(TkString, ToLowerLowersAsciiCapitalsOnly)
{
  tk_wstring text(L"\u00c4BC xYz \u03a3 1@[");
  EXPECT_EQ(text.to_lower(), L"\u00c4bc xyz \u03a3 1@[");
  EXPECT_EQ(text, L"\u00c4bc xyz \u03a3 1@[");
  tk_wstring empty;
  EXPECT_EQ(empty.to_lower(), L"");
}

TEST(TkString, CompareNoCaseFoldsUnicodeWhateverTheLocale)
{
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "C");
  EXPECT_TRUE(tk_string::compare_no_case("Tabelle \xC3\x84", "TABELLE \xC3\xA4"));
  EXPECT_TRUE(tk_string::compare_no_case("", ""));
  EXPECT_FALSE(tk_string::compare_no_case("abc", "abcd"));
  EXPECT_FALSE(tk_string::compare_no_case("\xC3\x84", "A"));
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(TkString, EndsWithComparesTheTailExactlyOrIgnoringCase)
{
  struct {
    const wchar_t* text;
    const wchar_t* suffix;
    bool exact;
    bool result;
  } cases[] = {
    {L"abc.XLS", L".xls", false, true},
    {L"abc.XLS", L".xls", true, false},
    {L"abc.xls", L".xls", true, true},
    {L"\u00c4RGER.\u00c4", L".\u00e4", false, true},
    {L"abc", L"", true, true},
    {L"", L"", false, true},
    {L"ls", L".xls", false, false},
    {L"abc.xlsx", L".xls", false, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(tk_wstring_ends_with(c.text, c.suffix, c.exact), c.result)
      << static_cast<int>(c.exact) << ' ' << c.result;
}

TEST(TkString, TrimsRemoveBlanksOnly)
{
  struct {
    const char* text;
    const char* rtrim;
    const char* trim;
  } cases[] = {
    {"   ", "", ""},
    {"", "", ""},
    {" x\t ", " x\t", "x\t"},
    {"\tx\n", "\tx\n", "\tx\n"},
    {"  a b  ", "  a b", "a b"},
    {"ab", "ab", "ab"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tk_rtrim(std::string(c.text)), c.rtrim) << '"' << c.text << '"';
    EXPECT_EQ(tk_trim(std::string(c.text)), c.trim) << '"' << c.text << '"';
    const std::wstring wide(c.text, c.text + std::char_traits<char>::length(c.text));
    EXPECT_EQ(tk_rtrim(wide), std::wstring(c.rtrim, c.rtrim + std::char_traits<char>::length(c.rtrim)));
    EXPECT_EQ(tk_trim(wide), std::wstring(c.trim, c.trim + std::char_traits<char>::length(c.trim)));
  }
}

TEST(TkString, SplitKeepsEmptyFieldsAndStopsAtTheTerminator)
{
  using fields = std::vector<std::string>;
  struct {
    std::string text;
    fields result;
  } cases[] = {
    {"", {}},
    {",", {"", ""}},
    {"a,,b", {"a", "", "b"}},
    {"a,", {"a", ""}},
    {",a", {"", "a"}},
    {"abc", {"abc"}},
    {std::string("a,b\0,c", 6), {"a", "b"}},
    {std::string("\0a", 2), {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(tk_split(c.text, ','), c.result) << c.text;
}

TEST(TkString, BytesToHexWritesUpperCaseDigitsAndATerminator)
{
  const unsigned char bytes[] = {0x00, 0xAB, 0x7F, 0x10, 0xFF};
  char narrow[16];
  std::memset(narrow, '#', sizeof narrow);
  tk_bytes_to_hex(3, bytes, narrow);
  EXPECT_STREQ(narrow, "00AB7F");
  wchar_t wide[16];
  tk_bytes_to_hex(5, bytes, wide);
  EXPECT_STREQ(wide, L"00AB7F10FF");
  narrow[0] = '#';
  tk_bytes_to_hex(0, bytes, narrow);
  EXPECT_STREQ(narrow, "");
  tk_bytes_to_hex(0, nullptr, narrow);
  EXPECT_STREQ(narrow, "");
}

TEST(TkString, BytesToHexWithoutOutputIsAnInternalError)
{
  const unsigned char bytes[] = {1};
  const struct {
    std::function<void()> call;
    int line;
  } cases[] = {
    {[&] { tk_bytes_to_hex(1, bytes, static_cast<char*>(nullptr)); }, 903},
    {[&] { tk_bytes_to_hex(1, bytes, static_cast<wchar_t*>(nullptr)); }, 917},
    {[&] { char out[4]; tk_bytes_to_hex(1, nullptr, out); }, 903},
  };
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << "no exception for line " << c.line;
    } catch (const tk_mail_assertion& e) {
      EXPECT_EQ(e.get_message(), make_err_meggase("tk_utils", c.line));
      EXPECT_EQ(e.get_level(), 2u);
    }
  }
}

TEST(TkString, LogLinesNameTheOperationAndItsTexts)
{
  temp_dir dir;
  const std::string log = dir.file("log.txt");
  {
    tk_logger logger(log.c_str(), true, 1, false);
    tk_string narrow("a-b");
    narrow.replace_all("-", "+");
    tk_wstring wide(L"\u00c4B");
    wide.replace_all(L"B", L"C");
    wide.to_lower();
    tk_string::compare_no_case("a", "A");
    tk_rtrim(std::string("  "));
    tk_trim(std::wstring(L" "));
    tk_rtrim(std::string("x "));  // not all blanks: no special line
  }
  EXPECT_EQ(read_file(log),
            "tk_string::replace_all('-','+')\r\n"
            "tk_wstring::replace_all(B,C)\r\n"
            "tk_wstring::to_lower(\xC3\x84" "C)\r\n"
            "tk_string::compare_no_case\r\n"
            "Special processing for all-spaces-string\r\n"
            "Special processing for all-spaces-string\r\n");
}

// UTF-8 / wide / UTF-16 conversions: every plane survives, invalid input is refused.
#include "platform/text_codec.h"

#include <gtest/gtest.h>

TEST(TextCodec, RoundTripsEveryPlane)
{
  const std::wstring texts[] = {
    L"", L"plain", L"\u00c4\u00d6", L"\u20ac \u4e2d\u6587", L"\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600",
    std::wstring(L"nul\0inside", 10), L"\U0010FFFF",
  };
  for (const auto& text : texts) {
    std::wstring back;
    ASSERT_TRUE(plat::utf8_to_wide(plat::to_utf8(text), back));
    EXPECT_EQ(back, text);
    EXPECT_EQ(plat::from_utf16(plat::to_utf16(text)), text);
  }
  EXPECT_EQ(plat::to_utf8(L"\u00c4\u00d6"), "\xC3\x84\xC3\x96");
}

TEST(TextCodec, RefusesInvalidUtf8)
{
  const char* invalid[] = {"\xFF", "a\x80", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"};
  for (const char* bytes : invalid) {
    std::wstring out;
    EXPECT_FALSE(plat::utf8_to_wide(bytes, out)) << bytes;
  }
}

TEST(TextCodec, LoneSurrogateEncodesAsReplacementCharacter)
{
  EXPECT_EQ(plat::to_utf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
}

TEST(TextCodec, Utf16MeasuresNeverSplitACharacter)
{
  EXPECT_EQ(plat::utf16_length(L"a\U0001F600b"), 4u);
  EXPECT_EQ(plat::utf16_truncate(L"a\U0001F600b", 2), L"a");
  EXPECT_EQ(plat::utf16_truncate(L"a\U0001F600b", 3), L"a\U0001F600");
  EXPECT_EQ(plat::utf16_truncate(L"abc", 10), L"abc");
  // Two pairs fill four units exactly; three units hold one pair only.
  EXPECT_EQ(plat::utf16_prefix(L"\U0001F600\U0001F600", 4), 2u);
  EXPECT_EQ(plat::utf16_prefix(L"\U0001F600\U0001F600", 3), 1u);
  EXPECT_EQ(plat::utf16_prefix(L"ab", 0), 0u);
  // The UTF-8 prefix never splits a sequence; a bad byte is one unit, as decoded.
  EXPECT_EQ(plat::utf8_prefix("a\xF0\x9F\x98\x80" "b", 2), 1u);
  EXPECT_EQ(plat::utf8_prefix("a\xF0\x9F\x98\x80" "b", 3), 5u);
  EXPECT_EQ(plat::utf8_prefix("\xC3\xBC\xE2\x82\xAC", 1), 2u);
  EXPECT_EQ(plat::utf8_prefix("\xE2\x82" "abc", 3), 3u);
  EXPECT_EQ(plat::utf8_prefix("abc", 5), 3u);
}

TEST(TextCodec, BufferEncoderWritesWhatTheStringEncoderAppends)
{
  for (const char32_t cp : {U'a', U'\u00c4', U'\u20ac', U'\U0001F600', char32_t{0xD800}, char32_t{0x110000}}) {
    char bytes[4];
    const char* const end = plat::put_utf8(bytes, cp);
    std::string appended;
    plat::append_utf8(appended, cp);
    EXPECT_EQ(std::string(static_cast<const char*>(bytes), end), appended) << static_cast<unsigned long>(cp);
    EXPECT_EQ(appended, plat::to_utf8(std::wstring(1, static_cast<wchar_t>(cp))));
  }
}

TEST(TextCodec, LenientDecodingReplacesOnlyTheBadBytes)
{
  std::wstring out;
  plat::utf8_to_wide_lenient("a\xFF" "b\xC3\x84\xE2\x82", out);
  EXPECT_EQ(out, L"a\uFFFDb\u00c4\uFFFD\uFFFD");
}

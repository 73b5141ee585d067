// GUIDs found in texts: the three forms, their lengths, and texts that only look
// like one.
#include "OLE/ole_guid.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::wstring guid = L"6B29FC40-CA47-1067-B31D-00DD010662DA";

} // namespace

TEST(OleGuid, FormsGiveTheirThirtySixCharacters)
{
  struct {
    std::wstring text;
    bool valid;
    int position;
  } cases[] = {
    {guid, true, 0},
    {L"  " + guid + L"  ", true, 0},
    {L"{" + guid + L"}", true, 1},
    {L"{guid {" + guid + L"}}", true, 7},
    {L"GUID {" + guid + L"}", true, 6},
    {L"guid{" + guid, true, 5},
    {guid.substr(0, 35), false, -1},
    {guid + L"0123456789", false, -1},          // 46 characters
    {std::wstring(91, L' ') + guid, false, -1},  // too long before trimming
    {L"6B29FC40-CA47-1067-B31D-00DD010662DX", false, 0},
    {L"{6B29FC40-CA47-1067-B31D-00DD010662DX}", false, 1},
    {L"[" + guid + L"]", false, -1},   // 38 characters without braces, no word
    {L"Guid {" + guid + L"}", false, -1},
    {L"guid " + guid + L"}", false, -1},  // no brace
    // Quotes or other non-GUID characters after the word are refused: the text
    // ends up between quotes in SQL.
    {L"guid {6B29FC40-CA47-1067-B31D-00DD0106'); --}", false, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    const ole_guid_extractor wide(c.text);
    EXPECT_EQ(wide.is_valid(), c.valid);
    EXPECT_EQ(wide.get_position(), c.position);
    std::wstring found = L"x";
    wide.get_guid(found);
    EXPECT_EQ(found, c.valid ? guid : L"");
    EXPECT_EQ(wide.get_guid(), c.valid ? std::string(guid.begin(), guid.end()) : "");

    const ole_guid_extractor narrow(std::string(c.text.begin(), c.text.end()));
    EXPECT_EQ(narrow.is_valid(), c.valid);
    EXPECT_EQ(narrow.get_position(), c.position);
  }
}

TEST(OleGuid, NonUtf8TextHoldsNoGuid)
{
  const std::string narrow(guid.begin(), guid.end());
  EXPECT_FALSE(ole_guid_extractor("\xff" + narrow.substr(1)).is_valid());
  EXPECT_TRUE(ole_guid_extractor(narrow).is_valid());
}

// GUID recognition in free text. Every form checks the 36 characters it hands out
// (hexadecimal digits and dashes only): callers put them between quotes as they are.
#include "OLE/ole_guid.h"

#include "TK/tk_log.h"
#include "TK/tk_string.h"
#include "platform/text_codec.h"

namespace {

constexpr std::size_t guid_length = 36;

bool is_guid_character(wchar_t c)
{
  return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F') ||
         c == L'-';
}

bool all_guid_characters(const std::wstring& text, std::size_t at)
{
  if (text.size() < at + guid_length)
    return false;
  for (std::size_t i = at; i < at + guid_length; ++i)
    if (!is_guid_character(text[i]))
      return false;
  return true;
}

int index_or_none(std::size_t at)
{
  return at == std::wstring::npos ? -1 : static_cast<int>(at);
}

} // namespace

ole_guid_extractor::ole_guid_extractor(const std::string& text)
{
  // Text that is not UTF-8 holds no GUID.
  std::wstring wide;
  if (plat::utf8_to_wide(text, wide))
    parse(wide);
}

ole_guid_extractor::ole_guid_extractor(const std::wstring& text)
{
  parse(text);
}

void ole_guid_extractor::parse(const std::wstring& text)
{
  tk_log_message(1, L"ole_guid_extractor::ctor(%s)", text);
  if (text.size() >= 91) {
    tk_log_message(1, "Text is too long for GUID(1)");
    return;
  }
  text_ = tk_trim(text);
  if (text_.size() < guid_length) {
    tk_log_message(1, "Text is too short for GUID");
    return;
  }
  if (text_.size() >= 46) {
    tk_log_message(1, "Text is too long for GUID(2)");
    return;
  }
  if (text_.size() == guid_length) {
    tk_log_message(1, "Checking simple form (1)");
    position_ = 0;
    valid_ = all_guid_characters(text_, 0);
    if (!valid_)
      tk_log_message(1, "Simple form (1) of GUID is NOT valid");
    return;
  }
  if (text_.size() == guid_length + 2 && text_.front() == L'{' && text_.back() == L'}') {
    tk_log_message(1, "Checking simple form (2)");
    position_ = 1;
    valid_ = all_guid_characters(text_, 1);
    if (!valid_)
      tk_log_message(1, "Simple form (2) of GUID is NOT valid");
    return;
  }

  const std::size_t lower = text_.find(L"guid");
  const std::size_t upper = lower == std::wstring::npos ? text_.find(L"GUID") : std::wstring::npos;
  tk_log_message(1, "Locating 'guid' (%d : %d)", index_or_none(lower), index_or_none(upper));
  const std::size_t word = lower != std::wstring::npos ? lower : upper;
  if (word == std::wstring::npos)
    return;
  const std::size_t from = word + 4;
  if (text_.size() < from + guid_length)
    return;
  const std::size_t brace = text_.find(L'{', from);
  if (brace == std::wstring::npos || !all_guid_characters(text_, brace + 1))
    return;
  position_ = static_cast<std::int32_t>(brace + 1);
  tk_log_message(1, "GUID is valid");
  valid_ = true;
}

void ole_guid_extractor::get_guid(std::wstring& guid) const
{
  if (!valid_)
    guid.clear();
  else if (text_.size() == guid_length)
    guid = text_;
  else
    guid = text_.substr(static_cast<std::size_t>(position_), guid_length);
}

std::string ole_guid_extractor::get_guid() const
{
  std::wstring guid;
  get_guid(guid);
  return plat::to_utf8(guid);
}

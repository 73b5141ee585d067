// The token rules of the XML writer. The stack of open names keeps its string
// slots once grown, so a part of a million rows allocates nothing per element.
#include "xlsx/xml_emitter.h"

#include "platform/text_codec.h"

namespace XlsxBook {

XmlToken::XmlToken(std::uint32_t token_kind, std::wstring_view token_name) : kind(token_kind)
{
  plat::wide_to_utf8(token_name, name);
}

CXmlEmitter::CXmlEmitter(CFileWriter& out) : out_(out) {}

CXmlEmitter::~CXmlEmitter()
{
  if (state_ == kCollectingName) {
    out_.Write("/>");
    state_ = kNone;
  }
  while (depth_ > 0)
    CloseTo({});
}

void CXmlEmitter::PushCollectedName()
{
  if (depth_ < open_.size())
    open_[depth_].assign(name_buffer_);
  else
    open_.push_back(name_buffer_);
  ++depth_;
}

void CXmlEmitter::Pop()
{
  --depth_;
}

CXmlEmitter& CXmlEmitter::operator<<(const XmlToken& token)
{
  switch (token.kind) {
  case XmlToken::kDeclaration:
    if (!declaration_written_ && state_ == kNone) {
      out_.Write("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n");
      declaration_written_ = true;
    }
    break;
  case XmlToken::kStartTag:
    FinishStartTag(false);
    out_.Put('<');
    if (!token.name.empty()) {
      out_.Write(token.name);
      name_buffer_.assign(token.name);
      PushCollectedName();
      state_ = kStartTagOpen;
    } else {
      name_buffer_.clear();
      state_ = kCollectingName;
    }
    break;
  case XmlToken::kEndTag:
    CloseTo(token.name);
    break;
  case XmlToken::kAttribute:
    if (state_ == kAttributeOpen)
      out_.Put('"');
    else if (state_ == kCollectingName)
      PushCollectedName();
    if (state_ != kNone) {
      out_.Put(' ');
      out_.Write(token.name);
      out_.Write("=\"");
      state_ = kAttributeOpen;
    }
    break;
  case XmlToken::kCloseStartTag:
    FinishStartTag(false);
    state_ = kNone;
    break;
  default:
    break;
  }
  return *this;
}

void CXmlEmitter::FinishStartTag(bool self_closing)
{
  if (state_ == kNone)
    return;
  if (state_ == kCollectingName)
    PushCollectedName();
  else if (state_ == kAttributeOpen)
    out_.Put('"');
  if (self_closing)
    out_.Write("/>");
  else
    out_.Put('>');
}

void CXmlEmitter::CloseTo(std::string_view name)
{
  if (depth_ == 0 && state_ != kCollectingName)
    return;
  for (;;) {
    if (state_ != kNone) {
      FinishStartTag(true);
      state_ = kNone;
    } else {
      out_.Write("</");
      out_.Write(open_[depth_ - 1]);
      out_.Put('>');
    }
    const bool found = !name.empty() && open_[depth_ - 1] == name;
    Pop();
    if (name.empty() || found || depth_ == 0)
      return;
  }
}

CXmlEmitter& CXmlEmitter::operator<<(std::string_view text)
{
  out_.Write(text);
  if (state_ == kCollectingName)
    name_buffer_.append(text);
  return *this;
}

CXmlEmitter& CXmlEmitter::operator<<(std::wstring_view text)
{
  out_.WriteWide(text);
  if (state_ == kCollectingName) {
    for (const wchar_t ch : text)
      plat::append_utf8(name_buffer_, static_cast<char32_t>(ch));
  }
  return *this;
}

CXmlEmitter& CXmlEmitter::operator<<(double value)
{
  char digits[32];
  const auto end =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 6).ptr;
  return *this << std::string_view(digits, static_cast<std::size_t>(end - digits));
}

} // namespace XlsxBook

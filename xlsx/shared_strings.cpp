// The shared-string table: texts live back to back in large blocks, an open-
// addressing table of entry numbers finds them by hash, and the entries keep the
// index order. A lookup reuses one key buffer, so a known text costs no allocation.
// The table becomes xl/sharedStrings.xml only when it holds a text.
#include "xlsx/shared_strings.h"

#include "TK/tk_exception.h"
#include "platform/text_codec.h"
#include "xlsx/package_names.h"
#include "xlsx/part_folder.h"
#include "xlsx/part_writers.h"
#include "xlsx/xml_emitter.h"
#include "xlsx/xml_text.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>

namespace XlsxBook {

namespace {

constexpr std::size_t kBlockSize = std::size_t{1} << 20;
constexpr std::size_t kMaxCellUnits = 32767;

} // namespace

CSharedStrings::CSharedStrings() = default;

CSharedStrings::~CSharedStrings() = default;

std::string_view CSharedStrings::At(std::uint64_t index) const
{
  const Entry& e = entries_.at(static_cast<std::size_t>(index));
  return {e.data, e.size};
}

const char* CSharedStrings::Store(std::string_view key)
{
  if (key.empty())
    return nullptr;
  if (key.size() > kBlockSize / 4) {
    blocks_.emplace_back(new char[key.size()]);
    std::memcpy(blocks_.back().get(), key.data(), key.size());
    return blocks_.back().get();
  }
  if (block_left_ < key.size()) {
    blocks_.emplace_back(new char[kBlockSize]);
    block_next_ = blocks_.back().get();
    block_left_ = kBlockSize;
  }
  char* at = block_next_;
  std::memcpy(at, key.data(), key.size());
  block_next_ += key.size();
  block_left_ -= key.size();
  return at;
}

std::uint64_t CSharedStrings::Add(std::wstring_view text)
{
  // Room for the longest UTF-8 form of what is kept (at most 32,767 characters
  // of 4 bytes); the buffer only ever grows.
  const std::size_t room = std::min(text.size(), kMaxCellUnits) * 4;
  if (key_.size() < room)
    key_.resize(room);
  char* const begin = key_.data();
  char* p = begin;
  std::size_t units = 0;
  for (const wchar_t ch : text) {
    const auto cp = static_cast<char32_t>(ch);
    if (cp == 0)
      break;
    if (cp < 0x80 && cp >= 0x20) {
      if (++units > kMaxCellUnits)
        break;
      *p++ = static_cast<char>(cp);
      continue;
    }
    if (!IsXmlChar(cp))
      continue;
    units += cp > 0xFFFF ? 2 : 1;
    if (units > kMaxCellUnits)
      break;
    p = plat::put_utf8(p, cp);
  }
  const std::string_view key(begin, static_cast<std::size_t>(p - begin));

  const std::uint32_t hash = base::hash_slots::hash(key);
  const std::size_t s = slots_.probe(hash, [&](std::uint32_t n) {
    const Entry& e = entries_[n - 1];
    return e.hash == hash && e.size == key.size() &&
           (e.size == 0 || std::memcmp(e.data, key.data(), e.size) == 0);
  });
  if (slots_.at(s) != 0)
    return slots_.at(s) - 1;

  if (entries_.size() >= std::numeric_limits<std::uint32_t>::max() - 1)
    throw tk_exception(std::string("Too many distinct texts for one workbook"), tk_level_error);
  const auto index = static_cast<std::uint32_t>(entries_.size());
  entries_.push_back({Store(key), static_cast<std::uint32_t>(key.size()), hash});
  slots_.fill(s, index + 1, entries_.size(), [this](std::size_t i) { return entries_[i].hash; });
  return index;
}

void CSharedStrings::WritePart(CXmlEmitter& xml) const
{
  xml << XmlToken::Declaration() << XmlToken::StartTag("sst") << XmlToken::Attribute("xmlns")
      << ns::spreadsheet_main << XmlToken::Attribute("count")
      << static_cast<std::uint64_t>(entries_.size()) << XmlToken::Attribute("uniqueCount")
      << static_cast<std::uint64_t>(entries_.size());
  for (const Entry& e : entries_) {
    const std::string_view text(e.data, e.size);
    xml << XmlToken::StartTag("si") << XmlToken::StartTag("t");
    if (NeedsSpacePreserve(text))
      xml << XmlToken::Attribute("xml:space") << "preserve";
    xml.BeginContent();
    WriteXmlText(xml.Out(), text, XmlTextUse::kContent);
    xml << XmlToken::EndTag() << XmlToken::EndTag();
  }
  xml << XmlToken::EndTag("sst");
}

bool WriteSharedStrings(const CSharedStrings& strings, PartFolder& parts)
{
  if (strings.Empty())
    return true;
  return parts.Write(L"xl/sharedStrings.xml",
                     [&strings](CXmlEmitter& xml) { strings.WritePart(xml); });
}

} // namespace XlsxBook

// The style registry and the format codes of its number formats. Lookups are
// linear over short lists, and records are only appended, so a position handed
// out stays its number (xlsx/styles_part.cpp writes the lists in this order).
#include "xlsx/styles.h"

#include "xlsx/xml_text.h"

#include "TK/tk_log.h"
#include "platform/text_codec.h"

#include <array>
#include <locale>
#include <exception>

namespace XlsxBook {

namespace {

template <class T>
std::uint64_t find_or_append(std::vector<T>& list, const T& record)
{
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i] == record)
      return i;
  list.push_back(record);
  return list.size() - 1;
}

constexpr std::array<const char*, 14> border_styles = {
    nullptr,    "thin",          "medium",     "dashed",           "dotted",
    "thick",    "double",        "hair",       "mediumDashed",     "dashDot",
    "mediumDashDot", "dashDotDot", "mediumDashDotDot", "slantDashDot"};

constexpr std::array<const char*, 19> fill_patterns = {
    "none",           "solid",        "mediumGray",    "darkGray",      "lightGray",
    "darkHorizontal", "darkVertical", "darkDown",      "darkUp",        "darkGrid",
    "darkTrellis",    "lightHorizontal", "lightVertical", "lightDown",  "lightUp",
    "lightGrid",      "lightTrellis", "gray125",       "gray0625"};

constexpr std::array<const wchar_t*, 9> colour_tags = {
    L"", L"[BLACK]", L"[Green]", L"[White]", L"[Blue]", L"[Magenta]", L"[Yellow]", L"[Cyan]", L"[Red]"};


} // namespace

bool NumFormatData::SameFormat(const NumFormatData& other) const
{
  return code == other.code && number_style == other.number_style &&
         positive_colour == other.positive_colour && negative_colour == other.negative_colour &&
         zero_colour == other.zero_colour && thousands == other.thousands &&
         decimals == other.decimals;
}

std::uint64_t StyleRegistry::Add(StyleData& style)
{
  CellFormatKey key;
  key.border = find_or_append(borders_, style.border);
  key.font = find_or_append(fonts_, style.font);
  key.fill = find_or_append(fills_, style.fill);

  NumFormatData& format = style.number_format;
  const NumFormatData* found = nullptr;
  for (const NumFormatData& stored : num_formats_) {
    if (stored.SameFormat(format)) {
      found = &stored;
      break;
    }
  }
  if (found) {
    key.num_format_id = found->id;
  } else {
    if (format.id >= NumFormatData::first_custom_id)
      format.id = next_custom_id_++;
    key.num_format_id = format.id;
    num_formats_.push_back(format);
  }

  for (std::size_t i = 0; i < cell_formats_.size(); ++i)
    if (cell_formats_[i] == key && alignments_[i] == style.alignment)
      return i;
  cell_formats_.push_back(key);
  alignments_.push_back(style.alignment);
  return cell_formats_.size() - 1;
}

void StyleRegistry::AddInitialStyles()
{
  StyleData style;
  style.number_format.id = 0;
  Add(style);
  style.number_format.id = 1;
  style.fill.pattern = 17;  // gray125
  Add(style);
}

const char* BorderStyleName(std::uint32_t style)
{
  return style < border_styles.size() ? border_styles[style] : nullptr;
}

const char* FillPatternName(std::uint32_t pattern)
{
  return pattern < fill_patterns.size() ? fill_patterns[pattern] : nullptr;
}

std::wstring GetColourTag(std::uint32_t colour)
{
  return colour < colour_tags.size() ? colour_tags[colour] : L"";
}

std::wstring LocalCurrencySymbol()
{
  std::string symbol;
  try {
    // Throws when LANG names a locale that is not installed.
    const std::locale user_locale("");
    symbol = std::use_facet<std::moneypunct<char, false>>(user_locale).curr_symbol();
  } catch (const std::exception&) {
    return {};
  }
  std::wstring wide;
  if (!plat::utf8_to_wide(symbol, wide))
    return {};
  return wide;
}

std::wstring BuildFormatCode(const NumFormatData& format)
{
  if (!format.code.empty())
    return format.code;

  const std::wstring grouping = format.thousands ? L"#,##" : L"";
  std::wstring digits = L"0";
  if (format.decimals > 0)
    digits += L"." + std::wstring(format.decimals, L'0');
  const auto currency = [] { return L"&quot;" + XmlText(LocalCurrencySymbol(), XmlTextUse::kAttribute) + L"&quot;"; };
  const std::wstring positive = GetColourTag(format.positive_colour);
  const std::wstring negative = GetColourTag(format.negative_colour);
  const std::wstring zero = GetColourTag(format.zero_colour);

  std::wstring suffix;
  switch (format.number_style) {
  case 0:
  case 1: break;
  case 2: suffix = L"%"; break;
  case 3: suffix = L"E+00"; break;
  case 5: suffix = currency(); break;
  case 4: {
    const std::wstring money = currency();
    return positive + L"_-* " + grouping + digits + money + L"_-;" + negative + L"\\-* " +
           grouping + digits + money + L"_-;_-* &quot;-&quot;??" + money + L"_-;_-@_-";
  }
  case 6: return L"yyyy.mm.dd";
  case 7: return L"hh:mm:ss";
  case 8: return L"yyyy.mm.dd hh:mm:ss";
  default: return {};
  }

  std::wstring code = positive + grouping + digits + suffix;
  const bool negative_section = format.positive_colour != 0 || format.negative_colour != 0;
  const bool zero_section = format.positive_colour != 0 || format.zero_colour != 0;
  if (negative_section)
    code += L";" + negative + L"\\-" + grouping + digits + suffix;
  if (zero_section) {
    if (!negative_section)
      code += L";";
    code += L";" + zero + L"0" + suffix;
  }
  return code;
}

} // namespace XlsxBook

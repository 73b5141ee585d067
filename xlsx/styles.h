// Cell styles and the workbook's deduplicated style tables. A number once handed
// out (a cell format's index, a font's or fill's position, a custom format's id)
// stays valid for the registry's life: records are only appended, never changed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace XlsxBook {

struct FontData {
  std::int32_t size = 11;
  std::wstring name = L"Calibri";
  bool theme_colour = true;  // theme colour 1; false: `colour` when it is set
  std::wstring colour;       // rgb text, written unchanged
  std::uint32_t attributes = 0;

  // Attribute bits, written as the empty elements of the same names.
  static constexpr std::uint32_t bold = 1u << 0;
  static constexpr std::uint32_t italic = 1u << 1;
  static constexpr std::uint32_t underline = 1u << 2;
  static constexpr std::uint32_t strike = 1u << 3;
  static constexpr std::uint32_t outline = 1u << 4;
  static constexpr std::uint32_t shadow = 1u << 5;
  static constexpr std::uint32_t condense = 1u << 6;
  static constexpr std::uint32_t extend = 1u << 7;

  bool operator==(const FontData&) const = default;
};

struct FillData {
  std::uint32_t pattern = 0;  // 0 none, 1 solid, ... 17 gray125, 18 gray0625
  std::wstring foreground;
  std::wstring background;

  bool operator==(const FillData&) const = default;
};

struct BorderLineData {
  std::uint32_t style = 0;  // 0 none, 1 thin, ... 13 slantDashDot
  std::wstring colour;

  bool operator==(const BorderLineData&) const = default;
};

struct BorderData {
  BorderLineData left, right, bottom, top, diagonal;
  bool diagonal_up = false;
  bool diagonal_down = false;

  bool operator==(const BorderData&) const = default;
};

struct NumFormatData {
  // Below 164 a built-in format; from 164 on a custom one, numbered by the registry.
  static constexpr std::uint64_t first_custom_id = 164;

  std::uint64_t id = first_custom_id;
  std::wstring code;              // used unchanged when not empty
  std::uint32_t number_style = 0; // 0/1 plain, 2 percent, 3 scientific, 4 accounting,
                                  // 5 currency, 6 date, 7 time, 8 date and time
  std::uint32_t positive_colour = 0;  // colour numbers 0 (none) to 8
  std::uint32_t negative_colour = 0;
  std::uint32_t zero_colour = 0;
  bool thousands = false;
  std::uint64_t decimals = 2;

  // Equal formats: every field but the id.
  bool SameFormat(const NumFormatData& other) const;
};

struct AlignmentData {
  std::uint32_t horizontal = 0;  // 0 none, 1 left, 2 center, 3 right
  std::uint32_t vertical = 0;    // 0 none, 1 top, 2 center, 3 bottom
  bool wrap = false;

  bool operator==(const AlignmentData&) const = default;
};

struct StyleData {
  FontData font;
  FillData fill;
  BorderData border;
  NumFormatData number_format;
  AlignmentData alignment;
};

// The four numbers that make a cell format: border, font, fill, number-format id.
struct CellFormatKey {
  std::uint64_t border = 0;
  std::uint64_t font = 0;
  std::uint64_t fill = 0;
  std::uint64_t num_format_id = 0;

  bool operator==(const CellFormatKey&) const = default;
};

class StyleRegistry {
public:
  // The index of the cell format the style maps to, appending whatever is new.
  // A new custom number format gets the next custom id, which is also written
  // back into style.number_format.id.
  std::uint64_t Add(StyleData& style);

  // The workbook's two initial formats: 0 the default, 1 with the gray125 fill.
  void AddInitialStyles();

  std::uint64_t next_custom_id() const { return next_custom_id_; }
  const std::vector<BorderData>& borders() const { return borders_; }
  const std::vector<FontData>& fonts() const { return fonts_; }
  const std::vector<FillData>& fills() const { return fills_; }
  const std::vector<NumFormatData>& num_formats() const { return num_formats_; }
  const std::vector<CellFormatKey>& cell_formats() const { return cell_formats_; }
  // Parallel to cell_formats().
  const std::vector<AlignmentData>& alignments() const { return alignments_; }

private:
  std::uint64_t next_custom_id_ = NumFormatData::first_custom_id;
  std::vector<BorderData> borders_;
  std::vector<FontData> fonts_;
  std::vector<FillData> fills_;
  std::vector<NumFormatData> num_formats_;
  std::vector<CellFormatKey> cell_formats_;
  std::vector<AlignmentData> alignments_;
};

// The SpreadsheetML names of border styles (1..13) and fill patterns (0..18);
// null for a number without a name.
const char* BorderStyleName(std::uint32_t style);
const char* FillPatternName(std::uint32_t pattern);

// "[Red]" and the like for colour numbers 1..8; empty for 0 and above 8.
std::wstring GetColourTag(std::uint32_t colour);

// The format code of a number format: its own code when set, else one built from
// its style, colours, grouping and decimals. Quotation marks come as "&quot;",
// ready for an attribute value.
std::wstring BuildFormatCode(const NumFormatData& format);

// The local currency symbol of the user's locale; empty when the locale cannot
// be loaded (an unknown LANG) or has none.
std::wstring LocalCurrencySymbol();

} // namespace XlsxBook

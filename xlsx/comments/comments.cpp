// Cell comments: for every sheet that has some, xl/comments<n>.xml holds their
// texts and xl/drawings/vmlDrawing<n>.vml the boxes that show them. Each drawing
// claims blocks of 1,024 shape ids of its own (o:idmap) and numbers its shapes
// inside them, so ids are unique in the workbook and each lies in its drawing's
// blocks however many notes a sheet has. A workbook gets the writer with its
// first comment (CWorkbook::AddComment, at the end).
#include "xlsx/comments/comments.h"

#include "xlsx/package_names.h"
#include "xlsx/part_folder.h"
#include "xlsx/part_writers.h"
#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_she.h"
#include "xlsx/xml_emitter.h"
#include "xlsx/xml_text.h"

#include "base/format.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

namespace XlsxBook {

namespace {

constexpr std::uint64_t kShapesPerBlock = 1024;

bool HasLineFeed(const CommentData& comment)
{
  return std::any_of(comment.runs.begin(), comment.runs.end(), [](const CommentRunData& run) {
    return run.text.find(L'\n') != std::wstring::npos;
  });
}

// The default grid of 48 by 15 points (64 by 20 pixels), on which default
// boxes are given in points and placed boxes must lie.
constexpr std::uint32_t kColumnPoints = 48, kRowPoints = 15;

// Whether the caller placed the box; any other box is the default one.
bool IsPlaced(const CommentData& comment)
{
  return comment.left >= 0 && comment.top >= 0 && comment.width > 0 && comment.height > 0;
}

// Readers draw a box placed past the sheet's last column or row far outside
// anything they show, so such a box is refused.
bool FitsSheet(const CommentData& comment)
{
  return !IsPlaced(comment) ||
         (std::int64_t{comment.left} + comment.width <=
              std::int64_t{kMaxSheetColumns} * kColumnPoints &&
          std::int64_t{comment.top} + comment.height <= std::int64_t{kMaxSheetRows} * kRowPoints);
}

// The box of a note that brings no placement of its own: two default columns
// wide and four default rows high, from the row above its cell, starting a
// little right of the cell or, where the grid ends, ending at the cell's left
// edge. That edge is a column's start, where every reader puts it whatever
// width it gives the columns; a pixel offset into the column before would land
// elsewhere in each. Readers place a note either by cells and pixel offsets
// (x:Anchor) or by points from the sheet's corner, so it is given both ways.
struct DefaultBox {
  static constexpr std::uint32_t kColumns = 2, kRows = 4;
  static constexpr std::uint32_t kColumnOffset = 16, kRowOffset = 8;  // pixels, 3/4 of a point each

  std::uint64_t column = 0, row = 0;  // the cell of the box's top left corner, from 0
  std::uint32_t column_offset = kColumnOffset;  // pixels into that cell; the right edge alike

  explicit DefaultBox(std::uint64_t position)
  {
    const std::uint64_t note_column = position >> 32;
    const std::uint64_t note_row = (position & 0xFFFFFFFFu) - 1;
    if (note_column + 1 + kColumns < kMaxSheetColumns) {
      column = note_column + 1;
    } else {
      column = note_column - kColumns;
      column_offset = 0;
    }
    row = note_row == 0 ? 0 : note_row - 1;
    if (row + kRows >= kMaxSheetRows)
      row = kMaxSheetRows - 1 - kRows;
  }

  std::wstring Anchor() const
  {
    return base::sprintf(L"%llu, %u, %llu, %u, %llu, %u, %llu, %u",
                         static_cast<unsigned long long>(column), column_offset,
                         static_cast<unsigned long long>(row), kRowOffset,
                         static_cast<unsigned long long>(column + kColumns), column_offset,
                         static_cast<unsigned long long>(row + kRows), kRowOffset);
  }
  std::wstring Style() const
  {
    return base::sprintf(
        L"position:absolute; margin-left:%llupt;margin-top:%llupt;width:%upt;height:%upt; "
        L"z-index:2",
        static_cast<unsigned long long>(column * kColumnPoints + column_offset * 3 / 4),
        static_cast<unsigned long long>(row * kRowPoints + kRowOffset * 3 / 4),
        kColumns * kColumnPoints, kRows * kRowPoints);
  }
};

// The hex digits of a colour given as "RRGGBB" or "#RRGGBB", or where an alpha
// is taken also "AARRGGBB" or "#AARRGGBB"; nothing for any other text.
std::optional<std::wstring> HexDigits(std::wstring_view text, bool alpha)
{
  if (!text.empty() && text.front() == L'#')
    text.remove_prefix(1);
  const auto hex = [](wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
  };
  if ((text.size() != 6 && !(alpha && text.size() == 8)) ||
      !std::all_of(text.begin(), text.end(), hex))
    return std::nullopt;
  return std::wstring(text);
}

// The colours in the forms their readers take, or false when one is in no form
// CommentData lists: readers refuse the whole workbook over a font colour that
// is no aRGB hex value, and the box's fill is a VML colour, "#" first. A font
// colour without its alpha is opaque.
bool NormaliseColours(CommentData& comment)
{
  const std::optional<std::wstring> fill = HexDigits(comment.fill_colour, false);
  if (!fill)
    return false;
  comment.fill_colour = L"#" + *fill;
  for (CommentRunData& run : comment.runs) {
    FontData& font = run.font;
    if (font.theme_colour || font.colour.empty())
      continue;
    const std::optional<std::wstring> digits = HexDigits(font.colour, true);
    if (!digits)
      return false;
    font.colour = digits->size() == 6 ? L"FF" + *digits : *digits;
  }
  return true;
}

// The shape ids of the workbook's drawings: the blocks no drawing claimed yet,
// and the last id given.
struct ShapeIds {
  std::uint64_t next_block = 1;
  std::uint64_t last = 0;
};

void WriteComment(CXmlEmitter& xml, const CommentData& comment)
{
  static constexpr std::array<const char*, 8> attribute_elements = {
      "b", "i", "u", "strike", "outline", "shadow", "condense", "extend"};

  xml << XmlToken::StartTag("comment") << XmlToken::Attribute("ref")
      << CWorksheet::MakeCellRef(comment.position) << XmlToken::Attribute("authorId") << 0
      << XmlToken::StartTag("text");
  for (const CommentRunData& run : comment.runs) {
    const FontData& font = run.font;
    xml << XmlToken::StartTag("r") << XmlToken::StartTag("rPr");
    for (std::uint32_t bit = 0; bit < attribute_elements.size(); ++bit)
      if (font.attributes & (1u << bit))
        EmptyElement(xml, attribute_elements[bit]);
    ValElement(xml, "sz", font.size);
    ValElement(xml, "rFont", XmlText(font.name, XmlTextUse::kAttribute));
    ValElement(xml, "charset", 1);
    xml << XmlToken::StartTag("color");
    if (!font.theme_colour && !font.colour.empty())
      xml << XmlToken::Attribute("rgb") << XmlText(font.colour, XmlTextUse::kAttribute);
    else
      xml << XmlToken::Attribute("theme") << 1;
    xml << XmlToken::EndTag() << XmlToken::EndTag("rPr");
    // Readers trim the white space at either end of a run unless told to keep it.
    xml << XmlToken::StartTag("t");
    if (NeedsSpacePreserve(run.text))
      xml << XmlToken::Attribute("xml:space") << "preserve";
    xml << XmlToken::CloseStartTag() << XmlText(run.text, XmlTextUse::kContent)
        << XmlToken::EndTag("r");
  }
  xml << XmlToken::EndTag("comment");
}

void WriteCommentShape(CXmlEmitter& xml, const CommentData& comment, ShapeIds& shapes)
{
  ++shapes.last;
  const std::wstring id =
      base::sprintf(L"_x0000_s%llu", static_cast<unsigned long long>(shapes.last));
  // Without a placement of its own a box would be a sliver at the sheet's
  // corner; the default box shows the note beside its cell.
  std::wstring style;
  std::wstring anchor;
  if (IsPlaced(comment)) {
    style = base::sprintf(
        L"position:absolute; margin-left:%dpt;margin-top:%dpt;width:%dpt;height:%dpt; z-index:2",
        comment.left, comment.top, comment.width, comment.height);
  } else {
    const DefaultBox box(comment.position);
    style = box.Style();
    anchor = box.Anchor();
  }
  if (comment.hidden)
    style += L";visibility:hidden";
  if (HasLineFeed(comment))
    style += L";mso-wrap-style:tight";
  const std::wstring fill = XmlText(comment.fill_colour, XmlTextUse::kAttribute);

  xml << XmlToken::StartTag("v:shape") << XmlToken::Attribute("id") << id
      << XmlToken::Attribute("type") << "#_x0000_t202" << XmlToken::Attribute("style") << style
      << XmlToken::Attribute("fillcolor") << fill << XmlToken::Attribute("o:insetmode")
      << "auto";
  xml << XmlToken::StartTag("v:fill") << XmlToken::Attribute("color2") << fill
      << XmlToken::EndTag();
  xml << XmlToken::StartTag("v:shadow") << XmlToken::Attribute("on") << "t"
      << XmlToken::Attribute("color") << "black" << XmlToken::Attribute("obscured") << "t"
      << XmlToken::EndTag();
  xml << XmlToken::StartTag("v:path") << XmlToken::Attribute("o:connecttype") << "none"
      << XmlToken::EndTag();
  xml << XmlToken::StartTag("v:textbox") << XmlToken::Attribute("style")
      << "mso-direction-alt:auto" << XmlToken::StartTag("div") << XmlToken::Attribute("style")
      << "text-align:left" << XmlToken::EndTag() << XmlToken::EndTag();
  xml << XmlToken::StartTag("x:ClientData") << XmlToken::Attribute("ObjectType") << "Note";
  EmptyElement(xml, "x:MoveWithCells");
  EmptyElement(xml, "x:SizeWithCells");
  if (!anchor.empty())
    TextElement(xml, "x:Anchor", anchor);
  TextElement(xml, "x:AutoFill", "False");
  TextElement(xml, "x:Row", static_cast<std::uint32_t>(comment.position & 0xFFFFFFFFu) - 1);
  TextElement(xml, "x:Column", static_cast<std::uint32_t>(comment.position >> 32));
  xml << XmlToken::EndTag("v:shape");
}

// The comments of one sheet: its comments part and the drawing of their
// boxes, which claims the next blocks of shape ids that no drawing has.
bool WriteSheetComments(const std::vector<const CommentData*>& comments, ShapeIds& shapes,
                        PartFolder& parts)
{
  const std::int32_t number = comments.front()->sheet;
  const std::wstring author = XmlText(DocumentAuthor(), XmlTextUse::kContent);

  const std::wstring comments_part = base::sprintf(L"xl/comments%d.xml", number);
  const bool texts = parts.Write(comments_part, [&](CXmlEmitter& xml) {
    xml << XmlToken::Declaration() << XmlToken::StartTag("comments")
        << XmlToken::Attribute("xmlns") << ns::spreadsheet_main;
    xml << XmlToken::StartTag("authors");
    TextElement(xml, "author", author);
    xml << XmlToken::EndTag("authors") << XmlToken::StartTag("commentList");
    for (const CommentData* comment : comments)
      WriteComment(xml, *comment);
  });
  if (!texts)
    return false;

  // Shape ids follow the first block's start (the start itself is never an id),
  // so n shapes reach into the block of start + n.
  const std::uint64_t first_block = shapes.next_block;
  const std::uint64_t last_block =
      (first_block * kShapesPerBlock + comments.size()) / kShapesPerBlock;
  shapes.next_block = last_block + 1;
  shapes.last = first_block * kShapesPerBlock;
  std::wstring blocks;
  for (std::uint64_t block = first_block; block <= last_block; ++block)
    blocks += base::sprintf(block == first_block ? L"%llu" : L",%llu",
                            static_cast<unsigned long long>(block));

  const std::wstring drawing_part = base::sprintf(L"xl/drawings/vmlDrawing%d.vml", number);
  return parts.Write(drawing_part, [&](CXmlEmitter& xml) {
    // VML is read without a declaration.
    xml << XmlToken::StartTag("xml") << XmlToken::Attribute("xmlns:v") << ns::vml
        << XmlToken::Attribute("xmlns:o") << ns::vml_office << XmlToken::Attribute("xmlns:x")
        << ns::vml_excel;
    xml << XmlToken::StartTag("o:shapelayout") << XmlToken::Attribute("v:ext") << "edit"
        << XmlToken::StartTag("o:idmap") << XmlToken::Attribute("v:ext") << "edit"
        << XmlToken::Attribute("data") << blocks << XmlToken::EndTag() << XmlToken::EndTag();
    xml << XmlToken::StartTag("v:shapetype") << XmlToken::Attribute("id") << "_x0000_t202"
        << XmlToken::Attribute("coordsize") << "21600,21600" << XmlToken::Attribute("o:spt")
        << 202 << XmlToken::Attribute("path") << "m,l,21600r21600,l21600,xe";
    xml << XmlToken::StartTag("v:stroke") << XmlToken::Attribute("joinstyle") << "miter"
        << XmlToken::EndTag();
    xml << XmlToken::StartTag("v:path") << XmlToken::Attribute("gradientshapeok") << "t"
        << XmlToken::Attribute("o:connecttype") << "rect" << XmlToken::EndTag();
    xml << XmlToken::EndTag("v:shapetype");
    for (const CommentData* comment : comments)
      WriteCommentShape(xml, *comment, shapes);
  });
}

} // namespace

bool WriteComments(const std::vector<CommentData>& comments, PartFolder& parts)
{
  // A stable sort keeps each sheet's comments in the order they were added.
  std::vector<const CommentData*> sorted;
  sorted.reserve(comments.size());
  for (const CommentData& comment : comments)
    sorted.push_back(&comment);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const CommentData* a, const CommentData* b) { return a->sheet < b->sheet; });
  ShapeIds shapes;
  std::vector<const CommentData*> group;
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    group.push_back(sorted[i]);
    const bool last_of_sheet = i + 1 == sorted.size() || sorted[i + 1]->sheet != sorted[i]->sheet;
    if (!last_of_sheet)
      continue;
    if (!WriteSheetComments(group, shapes, parts))
      return false;
    group.clear();
  }
  return true;
}

bool CWorkbook::AddComment(CommentData comment)
{
  const auto row = static_cast<std::uint32_t>(comment.position & 0xFFFFFFFFu);
  const auto column = static_cast<std::uint32_t>(comment.position >> 32);
  if (row == 0 || row > kMaxSheetRows || column >= kMaxSheetColumns || !FitsSheet(comment) ||
      !NormaliseColours(comment))
    return false;
  // The sheet links its comments when it writes its tail, so a saved sheet
  // could not show a new one.
  for (const auto& sheet : m_sheets) {
    if (static_cast<std::int64_t>(sheet->m_sheetNumber) != comment.sheet)
      continue;
    if (!sheet->IsOpen() || !m_commentedCells.emplace(comment.sheet, comment.position).second)
      return false;
    sheet->m_hasComments = true;
    m_commentList.push_back(std::move(comment));
    m_commentsWriter = &WriteComments;
    return true;
  }
  return false;
}

} // namespace XlsxBook

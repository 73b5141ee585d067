// The worksheet part writer. Cells are formatted into the file writer's buffer
// directly (reference, number or string index), so a cell costs no allocation;
// the dimension slot written in the head is filled with the used range at Save.
#include "xlsx/xlsx_she.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "platform/process.h"
#include "platform/text_codec.h"
#include "xlsx/package_names.h"
#include "xlsx/part_folder.h"
#include "xlsx/relationships.h"
#include "xlsx/shared_strings.h"
#include "xlsx/xlsx_book.h"
#include "xlsx/xml_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace XlsxBook {

namespace {

// The head holds this element followed by blanks up to the length of the
// widest range, so that Save can overwrite it in place.
constexpr std::string_view kDimensionStart = "<dimension ref=\"A1\"/>";
constexpr std::size_t kDimensionSlot = sizeof("<dimension ref=\"A1:XFD1048576\"/>") - 1;

void Append(char*& p, std::string_view text)
{
  std::memcpy(p, text.data(), text.size());
  p += text.size();
}

template <class T>
void AppendNumber(char*& p, T value)
{
  p = std::to_chars(p, p + 24, value).ptr;
}

// The start of a cell element up to its open reference or style attribute:
// <c r="A1" or <c r="A1" s="3; the caller closes the quote.
void AppendCellStart(char*& p, std::uint32_t column, std::uint32_t row, std::uint32_t style)
{
  Append(p, "<c r=\"");
  p += CWorksheet::MakeCellRef(column, row, p);
  if (style != 0) {
    Append(p, "\" s=\"");
    AppendNumber(p, style);
  }
}

} // namespace

CWorksheet::CWorksheet(std::uint32_t number, const std::vector<ColumnWidth>& widths,
                       const std::wstring& temp_folder)
    : m_sheetNumber(number), m_tempFolder(temp_folder)
{
  OpenSheetFile(0, 0, widths);
}

CWorksheet::~CWorksheet()
{
  m_emitter.reset();
  m_partStream.reset();
}

std::size_t CWorksheet::MakeCellRef(std::uint32_t column, std::uint32_t row, char* buffer)
{
  static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  char reversed[8];
  std::size_t n = 0;
  reversed[n++] = letters[column % 26];
  for (std::uint32_t q = column / 26; q != 0; q = (q - 1) / 26)
    reversed[n++] = letters[(q - 1) % 26];
  char* p = buffer;
  while (n > 0)
    *p++ = reversed[--n];
  p = std::to_chars(p, p + 10, row).ptr;
  return static_cast<std::size_t>(p - buffer);
}

std::wstring CWorksheet::MakeCellRef(std::uint32_t column, std::uint32_t row)
{
  char buffer[kCellRefMax];
  const std::size_t n = MakeCellRef(column, row, buffer);
  return std::wstring(buffer, buffer + n);
}

std::wstring CWorksheet::MakeCellRef(std::uint64_t position)
{
  return MakeCellRef(static_cast<std::uint32_t>(position >> 32),
                     static_cast<std::uint32_t>(position & 0xFFFFFFFFu));
}

std::wstring CWorksheet::get_safe_string(const std::wstring& text)
{
  tk_log_message(1, L"CWorksheet::get_safe_string(%s)", text);
  const std::wstring out = XmlText(text, XmlTextUse::kAttribute);
  tk_log_message(1, L"Got safe string: %s", out);
  return out;
}

void CWorksheet::AssignTitle(const std::wstring& title)
{
  const std::wstring_view whole(title);
  m_sheetTitle = plat::utf16_truncate(whole.substr(0, whole.find(L'\0')), kMaxTitleUnits);
}

std::wstring CWorksheet::GetSafeTitle() const
{
  tk_log_message(1, "CWorksheet::GetSafeTitle");
  return get_safe_string(m_sheetTitle);
}

void CWorksheet::OpenSheetFile(std::uint32_t frozen_columns, std::uint32_t frozen_rows,
                               const std::vector<ColumnWidth>& widths)
{
  m_emitter.reset();
  m_partStream.reset();
  m_rowOpen = false;
  m_columnIndex = 0;
  m_rowNumber = 0;
  m_maxRow = m_maxColumn = 0;
  m_hasFormulas = m_hasComments = false;
  m_formulaRefs.clear();
  m_mergeRefs.clear();
  m_pageOrientation = 0;
  m_lastError.clear();

  const std::wstring path =
      m_tempFolder + L"/xl/worksheets/sheet" + std::to_wstring(m_sheetNumber) + L".xml";
  make_part_folders(path);
  auto stream = std::make_unique<CFileWriter>();
  if (!stream->Open(path)) {
    throw tk_exception(base::sprintf("Cannot create temporary file '%s': %s", stream->Path(),
                                     plat::error_text(stream->Error())),
                       tk_level_error);
  }
  m_partStream = std::move(stream);
  m_emitter = std::make_unique<CXmlEmitter>(*m_partStream);
  CXmlEmitter& xml = *m_emitter;

  xml << XmlToken::Declaration() << XmlToken::StartTag("worksheet")
      << XmlToken::Attribute("xmlns") << ns::spreadsheet_main << XmlToken::Attribute("xmlns:r")
      << ns::office_relationships << XmlToken::Attribute("xmlns:mc")
      << ns::markup_compatibility << XmlToken::Attribute("mc:Ignorable") << "x14ac"
      << XmlToken::Attribute("xmlns:x14ac") << ns::x14ac;

  xml << XmlToken::StartTag("dimension") << XmlToken::Attribute("ref") << "A1"
      << XmlToken::EndTag();
  m_dimensionOffset = m_partStream->Position() - kDimensionStart.size();
  xml << std::string(kDimensionSlot - kDimensionStart.size(), ' ');
  m_dimensionText = DimensionSlot(0, 0);
  m_streamed = m_streamIntact = false;
  m_streamError = 0;

  xml << XmlToken::StartTag("sheetViews") << XmlToken::StartTag("sheetView")
      << XmlToken::Attribute("tabSelected") << 0 << XmlToken::Attribute("workbookViewId") << 0;
  if (frozen_columns != 0 || frozen_rows != 0)
    WritePanes(frozen_columns, frozen_rows);
  xml << XmlToken::EndTag("sheetViews");

  xml << XmlToken::StartTag("sheetFormatPr") << XmlToken::Attribute("defaultRowHeight") << 15
      << XmlToken::Attribute("x14ac:dyDescent") << "0.25" << XmlToken::EndTag();

  if (!widths.empty()) {
    xml << XmlToken::StartTag("cols");
    for (const ColumnWidth& w : widths) {
      xml << XmlToken::StartTag("col") << XmlToken::Attribute("min") << w.first + 1
          << XmlToken::Attribute("max") << w.last + 1 << XmlToken::Attribute("width") << w.width
          << XmlToken::EndTag();
    }
    xml << XmlToken::EndTag("cols");
  }

  xml << XmlToken::StartTag("sheetData");
}

void CWorksheet::WritePanes(std::uint32_t x, std::uint32_t y)
{
  CXmlEmitter& xml = *m_emitter;
  const std::wstring top_left = MakeCellRef(x, y + 1);
  xml << XmlToken::StartTag("pane");
  if (x != 0)
    xml << XmlToken::Attribute("xSplit") << x;
  if (y != 0)
    xml << XmlToken::Attribute("ySplit") << y;
  const char* active = x != 0 && y != 0 ? "bottomRight" : x != 0 ? "topRight" : "bottomLeft";
  xml << XmlToken::Attribute("topLeftCell") << top_left << XmlToken::Attribute("activePane")
      << active << XmlToken::Attribute("state") << "frozen" << XmlToken::EndTag();

  const auto selection = [&xml](const char* pane, const std::wstring& cell) {
    xml << XmlToken::StartTag("selection") << XmlToken::Attribute("pane") << pane
        << XmlToken::Attribute("activeCell") << cell << XmlToken::Attribute("sqref") << cell
        << XmlToken::EndTag();
  };
  if (x != 0 && y != 0) {
    selection("topRight", MakeCellRef(x, y));
    selection("bottomLeft", MakeCellRef(x - 1, y + 1));
    selection("bottomRight", top_left);
  } else {
    selection(active, top_left);
  }
}

void CWorksheet::OpenRow(std::uint32_t height)
{
  if (!m_emitter)
    return;
  CloseRow();
  if (m_rowNumber >= kMaxSheetRows)
    return;  // past the grid: the row and its cells are not written
  ++m_rowNumber;
  CXmlEmitter& xml = *m_emitter;
  xml << XmlToken::StartTag("row") << XmlToken::Attribute("r") << m_rowNumber
      << XmlToken::Attribute("x14ac:dyDescent") << "0.25";
  if (height != 0)
    xml << XmlToken::Attribute("ht") << height << XmlToken::Attribute("customHeight") << 1;
  m_columnIndex = 0;
  m_rowOpen = true;
}

void CWorksheet::CloseRow()
{
  if (!m_rowOpen)
    return;
  *m_emitter << XmlToken::EndTag();
  m_rowOpen = false;
}

void CWorksheet::NoteCell()
{
  if (m_maxRow < m_rowNumber)
    m_maxRow = m_rowNumber;
  if (m_maxColumn < m_columnIndex)
    m_maxColumn = m_columnIndex;
}

void CWorksheet::AddCell(const CellDataDbl& data)
{
  tk_log_message(1, "CWorksheet::AddCell<CellDataDbl>");
  if (!m_rowOpen)
    return;
  if (m_columnIndex < kMaxSheetColumns && std::isfinite(data.value)) {
    NoteCell();
    m_emitter->BeginContent();
    char* const start = m_partStream->Reserve(128);
    char* p = start;
    AppendCellStart(p, m_columnIndex, m_rowNumber, data.style_id);
    Append(p, "\"><v>");
    // The shortest text that reads back as the same double.
    p = std::to_chars(p, p + 32, data.value).ptr;
    Append(p, "</v></c>");
    m_partStream->Commit(static_cast<std::size_t>(p - start));
  }
  ++m_columnIndex;
}

void CWorksheet::AddCell(const CellDataStr& data)
{
  tk_log_message(1, "CWorksheet::AddCell<CellDataStr>");
  if (!m_rowOpen)
    return;
  const std::wstring_view text = data.value.substr(0, data.value.find(L'\0'));
  if (!text.empty() && m_columnIndex < kMaxSheetColumns) {
    if (data.style_id != 0)
      tk_log_message(1, "data.style_id != 0");
    if (m_sharedStrings == nullptr)
      throw tk_mail_assertion("xlsx_she", 279);
    tk_log_message(1, "m_sharedStrings != NULL");
    const std::uint64_t index = m_sharedStrings->Add(text);
    tk_log_message(1, "str_index=%llu", static_cast<unsigned long long>(index));
    NoteCell();
    m_emitter->BeginContent();
    char* const start = m_partStream->Reserve(128);
    char* p = start;
    AppendCellStart(p, m_columnIndex, m_rowNumber, data.style_id);
    Append(p, "\" t=\"s\"><v>");
    AppendNumber(p, index);
    Append(p, "</v></c>");
    m_partStream->Commit(static_cast<std::size_t>(p - start));
  }
  ++m_columnIndex;
}

std::string CWorksheet::DimensionSlot(std::uint32_t max_column, std::uint32_t max_row)
{
  std::string text(kDimensionSlot, ' ');
  if (max_row == 0) {
    text.replace(0, kDimensionStart.size(), kDimensionStart);  // no cell: "A1"
    return text;
  }
  char* const start = text.data();
  char* p = start;
  Append(p, "<dimension ref=\"A1");
  if (max_row != 1 || max_column != 0) {
    *p++ = ':';
    p += MakeCellRef(max_column, max_row, p);
  }
  Append(p, "\"/>");
  return text;
}

void CWorksheet::PatchDimension()
{
  std::string text = DimensionSlot(m_maxColumn, m_maxRow);
  if (text == m_dimensionText)
    return;
  m_partStream->Patch(m_dimensionOffset, text);
  m_dimensionText = std::move(text);
}

bool CWorksheet::StreamTo(std::function<plat::unique_fd()> open_packer, std::uint64_t expected_rows,
                          std::uint64_t limit)
{
  if (!m_partStream || m_partStream->Failed())
    return false;
  // The rows to come below the ones so far: the last of them is the last row
  // with a cell, and none of them reaches past the widest row so far.
  std::uint32_t max_row = m_maxRow;
  if (expected_rows > 0)
    max_row = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::uint64_t{m_rowNumber} + expected_rows, kMaxSheetRows));
  std::string text = DimensionSlot(m_maxColumn, max_row);
  if (text != m_dimensionText) {
    m_partStream->Patch(m_dimensionOffset, text);
    m_dimensionText = std::move(text);
  }
  m_streamed = m_partStream->Mirror(std::move(open_packer), limit);
  return m_streamed;
}

void CWorksheet::DropStream()
{
  if (m_partStream)
    m_partStream->DropMirror();
  m_streamed = m_streamIntact = false;
}

bool CWorksheet::Fail(const std::string& text)
{
  if (m_lastError.empty())
    m_lastError = text;
  return false;
}

bool CWorksheet::Save()
{
  tk_log_message(2, "CWorksheet::Save");
  if (!m_lastError.empty())
    return false;
  if (!m_emitter)
    return true;
  CloseRow();
  CXmlEmitter& xml = *m_emitter;
  xml << XmlToken::EndTag("sheetData");

  if (!m_mergeRefs.empty()) {
    xml << XmlToken::StartTag("mergeCells") << XmlToken::Attribute("count")
        << static_cast<std::uint64_t>(m_mergeRefs.size());
    for (const std::wstring& ref : m_mergeRefs)
      xml << XmlToken::StartTag("mergeCell") << XmlToken::Attribute("ref") << ref
          << XmlToken::EndTag();
  }
  tk_log_message(1, "Step #1");
  if (!m_mergeRefs.empty())
    xml << XmlToken::EndTag("mergeCells");

  const char* orientation = m_pageOrientation == 0   ? "portrait"
                            : m_pageOrientation == 1 ? "landscape"
                                                     : "";
  tk_log_message(1, "Step #2");
  xml << XmlToken::StartTag("pageMargins") << XmlToken::Attribute("left") << 0.7
      << XmlToken::Attribute("right") << 0.7 << XmlToken::Attribute("top") << 0.75
      << XmlToken::Attribute("bottom") << 0.75 << XmlToken::Attribute("header") << 0.3
      << XmlToken::Attribute("footer") << 0.3 << XmlToken::EndTag();
  xml << XmlToken::StartTag("pageSetup") << XmlToken::Attribute("paperSize") << 9
      << XmlToken::Attribute("orientation") << orientation << XmlToken::EndTag();
  tk_log_message(1, "Step #3");

  if (m_hasComments) {
    xml << XmlToken::StartTag("legacyDrawing") << XmlToken::Attribute("r:id") << "rId1"
        << XmlToken::EndTag();
    if (!WriteSheetRels())
      return false;
  }

  tk_log_message(1, "Step #4");
  m_emitter.reset();
  PatchDimension();
  const bool written = m_partStream->Close();
  if (!written)
    Fail(m_partStream->ErrorText());
  m_streamError = m_partStream->MirrorError();
  m_streamIntact = m_streamed && written && m_streamError == 0 && !m_partStream->MirrorStale() &&
                   !m_partStream->MirrorOutgrown();
  m_partStream.reset();
  tk_log_message(1, "Step #5");
  return written;
}

bool CWorksheet::WriteSheetRels()
{
  const std::wstring number = std::to_wstring(m_sheetNumber);
  const std::vector<PartRelationship> links{
      {1, rel::vml_drawing, L"../drawings/vmlDrawing" + number + L".vml"},
      {2, rel::comments, L"../comments" + number + L".xml"}};
  std::string error;
  if (!WritePartFile(m_tempFolder + L"/xl/worksheets/_rels/sheet" + number + L".xml.rels",
                     [&links](CXmlEmitter& xml) { WriteRelationships(xml, links); }, error))
    return Fail(error);
  return true;
}

} // namespace XlsxBook

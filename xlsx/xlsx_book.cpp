// The workbook: its private temporary folder, the sheets that stream into it,
// and Save, which writes the remaining parts and packs the folder. Whatever
// happens, the folder is gone when Save returns or the workbook is destroyed.
#include "xlsx/xlsx_book.h"

#include "xlsx/part_writers.h"
#include "xlsx/shared_strings.h"
#include "xlsx/xlsx_she.h"
#include "xlsx/xml_text.h"
#include "xlsx/zip_packer.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "platform/case_fold.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "base/format.h"
#include "platform/process.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <unistd.h>

namespace XlsxBook {

namespace {

// The moment the program started, for the folder name's millisecond stamp.
const auto process_start = std::chrono::steady_clock::now();

// Undoes the temporary folder unless the work succeeded.
class remove_unless_done {
public:
  explicit remove_unless_done(CWorkbook& book) : book_(book) {}
  ~remove_unless_done()
  {
    if (!done_)
      book_.RemoveTempFolder();
  }
  remove_unless_done(const remove_unless_done&) = delete;
  remove_unless_done& operator=(const remove_unless_done&) = delete;
  void done() { done_ = true; }

private:
  CWorkbook& book_;
  bool done_ = false;
};

// The title as every reader takes a sheet name: only characters XML can carry,
// none of : \ / ? * [ ] (each becomes "_", as the conversion's validator makes
// them), no apostrophe at either end and at most 31 UTF-16 units; may be empty.
// openpyxl refuses a workbook with any other name and LibreOffice drops the sheet.
std::wstring ReadableTitle(const std::wstring& wanted)
{
  std::wstring title = wanted.substr(0, wanted.find(L'\0'));
  std::erase_if(title, [](wchar_t c) { return !IsXmlChar(static_cast<char32_t>(c)); });
  title = plat::utf16_truncate(title, kMaxTitleUnits);
  for (wchar_t& c : title)
    if (std::wstring_view(L":\\/?*[]").find(c) != std::wstring_view::npos)
      c = L'_';
  if (!title.empty() && title.front() == L'\'')
    title.front() = L'_';
  if (!title.empty() && title.back() == L'\'')
    title.back() = L'_';
  return title;
}

} // namespace

CWorkbook::CWorkbook()
    : m_partList{L"[Content_Types].xml", L"_rels/.rels",        L"docProps/core.xml",
                 L"docProps/app.xml",    L"xl/workbook.xml",    L"xl/styles.xml",
                 L"xl/_rels/workbook.xml.rels", L"xl/theme/theme1.xml"},
      m_sharedStrings(std::make_unique<CSharedStrings>())
{
  m_styles.AddInitialStyles();
}

CWorkbook::~CWorkbook()
{
  // The sheets close their files first, so that nothing is written into the
  // folder after it is removed.
  charts.clear();
  m_sheets.clear();
  RemoveTempFolder();
}

bool CWorkbook::CreateTempFolder(std::string& error)
{
  if (!m_tempFolder.empty())
    return true;
  std::string root;
  if (!plat::absolute_path(plat::temp_folder(), root)) {
    error = base::sprintf("Cannot create a temporary folder in '%s'", plat::temp_folder());
    return false;
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - process_start);
  // A private folder: no other user can read the exported data or plant
  // entries in it.
  plat::private_temp_folder folder;
  if (!folder.create(root, base::sprintf("xlsx_%lu_%lld_", static_cast<unsigned long>(::gettid()),
                                         static_cast<long long>(elapsed.count())))) {
    const int cause = errno;
    error = base::sprintf("Cannot create a temporary folder in '%s': %s", root,
                          plat::error_text(cause));
    return false;
  }
  std::wstring wide;
  if (!plat::utf8_to_wide(folder.path(), wide)) {
    error = base::sprintf("Cannot create a temporary folder in '%s': the path is not UTF-8 text",
                          root);
    return false;  // the folder goes with `folder`
  }
  m_folder = std::move(folder);
  m_tempFolder = std::move(wide);
  tk_log_message(2, L"Temporary folder: %s", m_tempFolder);
  return true;
}

void CWorkbook::EnsureTempFolder()
{
  std::string error;
  if (!CreateTempFolder(error))
    throw tk_exception(error, tk_level_error);
}

void CWorkbook::RemoveTempFolder()
{
  m_folder.remove();
  m_tempFolder.clear();
}

std::wstring CWorkbook::UniqueTitle(const std::wstring& wanted, std::uint32_t number) const
{
  const auto taken = [this](const std::wstring& title) {
    for (const auto& sheet : m_sheets)
      if (plat::equal_no_case(sheet->GetTitle(), title))
        return true;
    for (const auto& chart : charts)
      if (plat::equal_no_case(chart->name, title))
        return true;
    return false;
  };

  std::wstring title = ReadableTitle(wanted);
  if (title.empty())
    title = base::sprintf(L"Sheet%u", number);
  if (!taken(title))
    return title;
  // Room for five digits, the counter style of the name validators.
  const std::wstring stem = plat::utf16_truncate(title, kMaxTitleUnits - 5);
  for (std::uint32_t counter = 1;; ++counter) {
    std::wstring candidate = stem + base::sprintf(L"%05u", counter);
    if (!taken(candidate))
      return candidate;
  }
}

CWorksheet* CWorkbook::AddSheet2(const std::wstring& title, const std::vector<ColumnWidth>& widths)
{
  tk_log_message(2, L"CWorkbook::AddSheet2(%s)", title);
  EnsureTempFolder();
  const auto number = static_cast<std::uint32_t>(m_sheets.size() + 1);
  auto sheet = std::make_unique<CWorksheet>(number, widths, m_tempFolder);
  sheet->AssignTitle(UniqueTitle(title, number));
  sheet->m_sharedStrings = m_sharedStrings.get();
  sheet->m_commentList = &m_commentList;
  m_sheets.push_back(std::move(sheet));
  return m_sheets.back().get();
}

std::wstring CWorkbook::GetSafeTitle(const CChartSheetEntry& chart)
{
  tk_log_message(1, "CWorkbook::GetSafeTitle");
  return CWorksheet::get_safe_string(chart.name);
}

bool CWorkbook::Fail(std::string reason)
{
  m_saveError = std::move(reason);
  return false;
}

bool CWorkbook::SaveSheets(PartFolder& parts)
{
  tk_log_message(1, "Step #1");
  for (std::size_t i = 0; i < m_sheets.size(); ++i) {
    CWorksheet& sheet = *m_sheets[i];
    parts.List(base::sprintf(L"xl/worksheets/sheet%u.xml", sheet.m_sheetNumber));
    if (sheet.m_hasComments)
      parts.List(base::sprintf(L"xl/worksheets/_rels/sheet%u.xml.rels", sheet.m_sheetNumber));
    if (!sheet.Save()) {
      tk_log_message(1, "Failed to save worksheet #%d", static_cast<int>(i));
      return parts.Fail(sheet.GetLastError());
    }
  }
  return true;
}

bool CWorkbook::SaveChartSheets(PartFolder& parts)
{
  tk_log_message(1, "Step #2");
  for (const auto& chart : charts)
    if (!chart->WriteParts(parts))
      return false;
  return true;
}

bool CWorkbook::Save(const std::wstring& destination)
{
  tk_log_message(2, "CWorkbook::Save");
  m_saveError.clear();
  remove_unless_done cleanup(*this);

  std::string target;
  if (!plat::absolute_path(plat::to_utf8(destination), target))
    return Fail("the destination path cannot be made absolute");
  if (m_tempFolder.empty() && !m_sheets.empty())
    return Fail("the workbook was saved already");
  std::string error;
  if (!CreateTempFolder(error))
    return Fail(error);

  // Every part, in the order the files are made: the package description and
  // the workbook-wide parts, then the sheets and the chart sheets.
  PartFolder parts = Parts();
  const bool written = WriteCorePart(parts) &&
                       WritePackageRelationships(parts) &&
                       WriteAppPart(*this, parts) &&
                       WriteContentTypes(*this, parts) &&
                       WriteCalcChain(*this, parts) &&
                       WriteTheme(parts) &&
                       (m_commentsWriter == nullptr || m_commentsWriter(m_commentList, parts)) &&
                       WriteSharedStrings(*m_sharedStrings, parts) &&
                       WriteStyles(m_styles, parts) &&
                       WriteWorkbookRelationships(*this, parts) &&
                       WriteWorkbookPart(*this, parts) &&
                       SaveSheets(parts) &&
                       SaveChartSheets(parts);
  if (!written)
    return Fail(parts.Error());

  tk_log_message(1, "Step #3");
  const PackResult packed = PackFolder(plat::to_utf8(m_tempFolder), target);
  if (!packed.ok)
    return Fail(packed.error);
  cleanup.done();
  RemoveTempFolder();
  return true;
}

} // namespace XlsxBook

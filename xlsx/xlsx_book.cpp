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
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
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

// The parts Save writes besides the sheets, in the order it writes them, for a
// workbook of worksheets with texts and nothing else (no comments, formulas or
// chart sheets): the stream's entries after the sheets. They follow the sheets
// because several of them are known only once every sheet is (titles, shared
// strings); readers do not mind the order, only format sniffers that look for
// "[Content_Types].xml" first.
const std::vector<std::string> stream_tail_parts = {
    "docProps/core.xml",     "_rels/.rels",          "docProps/app.xml",
    "[Content_Types].xml",   "xl/theme/theme1.xml",  "xl/sharedStrings.xml",
    "xl/styles.xml",         "xl/_rels/workbook.xml.rels", "xl/workbook.xml"};

// zip takes a piped entry only below 4 GiB (without -fz, which would make
// every entry a zip64 one), while it packs a file of any size from the folder.
// The margin covers deflate's growth of incompressible bytes.
constexpr std::uint64_t default_streamed_part_limit = 4'000'000'000;
std::uint64_t streamed_part_limit = default_streamed_part_limit;

std::string SheetPartName(std::uint32_t number)
{
  return base::sprintf("xl/worksheets/sheet%u.xml", number);
}

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

void SetStreamedPartLimit(std::uint64_t bytes) noexcept
{
  streamed_part_limit = bytes != 0 ? bytes : default_streamed_part_limit;
}

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
  // zip ends first, so that no sheet closing below waits on it; then the
  // sheets close their files, so that nothing is written into the folder after
  // it is removed.
  if (m_stream)
    m_stream->Abandon();
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
  // entries in it. Its lock's descriptor is the one its removal reads it
  // with when the process is at its descriptor limit.
  plat::private_temp_folder folder;
  if (!folder.create(root, base::sprintf("xlsx_%lu_%lld_", static_cast<unsigned long>(::gettid()),
                                         static_cast<long long>(elapsed.count())),
                     true)) {
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
  std::string left;
  if (m_stream) {
    m_stream->Abandon();
    left = m_stream->LeftBehindText();
  }
  if (const std::string folder_left = RemoveFolder(m_folder); !folder_left.empty())
    left += (left.empty() ? "" : "; ") + folder_left;
  m_tempFolder.clear();
  // A failed save's report says what it left behind (a removal at the
  // descriptor limit can fail where the rest of the run did).
  if (!left.empty() && !m_saveError.empty() && m_saveError.find(left) == std::string::npos)
    m_saveError += "; " + left;
}

std::wstring CWorkbook::UniqueTitle(const std::wstring& wanted, std::uint32_t number) const
{
  const auto taken = [this](const std::wstring& title) {
    for (const auto& sheet : m_sheets)
      if (plat::equal_in_any_case(sheet->GetTitle(), title))
        return true;
    for (const auto& chart : charts)
      if (plat::equal_in_any_case(chart->name, title))
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

bool CWorkbook::StreamTo(const std::wstring& destination, std::uint32_t sheets)
{
  if (sheets == 0 || !m_sheets.empty() || !charts.empty() || (m_stream && m_stream->Active()))
    return false;
  std::string target;
  std::string error;
  if (!plat::absolute_path(plat::to_utf8(destination), target) || !CreateTempFolder(error))
    return false;
  std::vector<std::string> entries;
  entries.reserve(sheets + stream_tail_parts.size());
  for (std::uint32_t n = 1; n <= sheets; ++n)
    entries.push_back(SheetPartName(n));
  entries.insert(entries.end(), stream_tail_parts.begin(), stream_tail_parts.end());
  auto stream = std::make_unique<ZipStream>();
  if (!stream->Start(target, std::move(entries), error)) {
    // Save meets the same cause again and reports it then.
    tk_log_message(2, "No packing while rows are written: %s", error);
    return false;
  }
  m_stream = std::move(stream);
  m_streamSheets = sheets;
  m_streamTarget = target;
  return true;
}

bool CWorkbook::StreamSheet(CWorksheet& sheet, std::uint64_t expected_rows, std::string& error)
{
  if (!m_stream || !m_stream->Active())
    return true;
  // zip reads the sheets one after the other, each to its end: this one must
  // be the next, and every other one complete.
  const bool in_order =
      m_stream->NextEntry() == SheetPartName(sheet.m_sheetNumber) &&
      std::none_of(m_sheets.begin(), m_sheets.end(),
                   [&sheet](const auto& other) { return other.get() != &sheet && other->IsOpen(); });
  if (!in_order) {
    DropStream("a sheet came out of order");
    return true;
  }
  // A sheet before it that zip did not get whole (too large for a piped entry,
  // changed after it was sent) means the folder is packed: zip can stop now.
  if (std::any_of(m_sheets.begin(), m_sheets.end(),
                  [&sheet](const auto& other) { return other.get() != &sheet && !other->StreamIntact(); })) {
    DropStream("a sheet before it did not reach zip whole");
    return true;
  }
  // zip already ended: the rows need not be read.
  if (!m_stream->Running()) {
    error = m_stream->Failure();
    return false;
  }
  // The pipe is opened when the sheet's first bytes leave its buffer, so that
  // the rows of a small sheet are written while zip still packs the one before.
  const auto open = [this] {
    std::string why;  // StreamFailure() says why zip ended
    plat::unique_fd pipe = m_stream->OpenNext(why);
    // The sheets' files are whole: the folder is packed instead.
    if (!pipe.valid() && m_stream->PipeFailed())
      DropSheetStreams(why.c_str());
    return pipe;
  };
  if (!sheet.StreamTo(open, expected_rows, streamed_part_limit))
    DropStream("the sheet was written before zip could take it");
  return true;
}

std::string CWorkbook::StreamFailure()
{
  return m_stream ? m_stream->Failure() : std::string("the zip program ended");
}

void CWorkbook::DropStream(const char* why)
{
  if (!m_stream || !m_stream->Active())
    return;
  DropSheetStreams(why);
  m_stream->Abandon();
}

void CWorkbook::DropSheetStreams(const char* why)
{
  tk_log_message(2, "The folder is packed after all: %s", why);
  for (const auto& sheet : m_sheets)
    sheet->DropStream();
}

bool CWorkbook::StreamMatchesFolder() const
{
  if (m_sheets.size() != m_streamSheets || !charts.empty() ||
      m_stream->NextEntry() != stream_tail_parts.front())
    return false;
  for (const auto& sheet : m_sheets)
    if (!sheet->StreamIntact())
      return false;
  std::set<std::string> listed;
  for (const std::wstring& part : m_partList)
    listed.insert(plat::to_utf8(part));
  // The parts fed at the end (the shared strings can be the largest of all)
  // obey the same limit as the sheets.
  const std::string folder = plat::to_utf8(m_tempFolder);
  for (const std::string& part : stream_tail_parts) {
    struct stat info {};
    if (::stat((folder + "/" + part).c_str(), &info) == 0 &&
        static_cast<std::uint64_t>(info.st_size) > streamed_part_limit)
      return false;
  }
  std::set<std::string> streamed(stream_tail_parts.begin(), stream_tail_parts.end());
  for (std::uint32_t n = 1; n <= m_streamSheets; ++n)
    streamed.insert(SheetPartName(n));
  return listed == streamed;
}

bool CWorkbook::FeedPart(std::string_view name)
{
  const std::string path = plat::to_utf8(m_tempFolder) + "/" + std::string(name);
  plat::unique_fd part(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!part.valid()) {
    const int cause = errno;
    return Fail(base::sprintf("Cannot read file '%s': %s", path, plat::error_text(cause)));
  }
  std::string error;
  plat::unique_fd pipe = m_stream->OpenNext(error);
  if (!pipe.valid())
    return Fail(error);
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = plat::read_some(part.get(), buffer, sizeof buffer);
    if (got < 0) {
      const int cause = errno;
      return Fail(base::sprintf("Cannot read file '%s': %s", path, plat::error_text(cause)));
    }
    if (got == 0)
      return true;
    if (!plat::write_all(pipe.get(), buffer, static_cast<std::size_t>(got)))
      return Fail(m_stream->Failure());
  }
}

bool CWorkbook::FinishStream()
{
  while (!m_stream->NextEntry().empty()) {
    if (!FeedPart(m_stream->NextEntry()))
      return false;
  }
  const PackResult packed = m_stream->Finish();
  if (!packed.ok)
    return Fail(packed.error);
  return true;
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

  if (m_stream && m_stream->Active()) {
    if (target == m_streamTarget && StreamMatchesFolder()) {
      tk_log_message(1, "Step #3 (the sheets are packed already)");
      if (FinishStream()) {
        cleanup.done();
        RemoveTempFolder();
        return true;
      }
      // A pipe this side could not open leaves the parts whole: they are
      // packed from the folder. zip's own failure ends the save.
      if (!m_stream->PipeFailed())
        return false;
      m_saveError.clear();
    } else {
      DropStream("the package differs from the one zip was told of");
    }
  }

  tk_log_message(1, "Step #3");
  const PackResult packed = PackFolder(plat::to_utf8(m_tempFolder), target);
  if (!packed.ok)
    return Fail(packed.error);
  cleanup.done();
  RemoveTempFolder();
  return true;
}

} // namespace XlsxBook

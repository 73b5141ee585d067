// The .xlsx destination database. It owns at most one workbook at a time; a
// workbook leaves it either saved to the destination or discarded with its
// temporary folder, and a failed save always reaches the caller as an error.
#include "xlsx/xlsx_db.h"

#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_she.h"
#include "xlsx/xlsx_worksheet.h"

#include "TK/tk_exception.h"
#include "TK/tk_files.h"
#include "TK/tk_log.h"
#include "base/format.h"
#include "platform/text_codec.h"

#include <algorithm>

xlsx_database::xlsx_database(const std::wstring& destination, bool one_book_per_table)
    : udb_database(destination, 1, false), one_book_per_table_(one_book_per_table)
{
  tk_log_message(1, L"xlsx_database::ctor(%s)", destination);
}

xlsx_database::~xlsx_database()
{
  tk_log_message(2, "xlsx_database::dtor");
}

std::unique_ptr<udb_recordset> xlsx_database::create_table(const std::wstring& name,
                                                           const udb_schema& schema,
                                                           const udb_indexes& /*indexes*/)
{
  tk_log_message(1, L"xlsx_database::create_table(%s)", name);
  if (!workbook_ || one_book_per_table_)
    workbook_ = std::make_unique<XlsxBook::CWorkbook>();
  XlsxBook::CWorksheet* sheet = workbook_->AddSheet2(name.substr(0, name.find(L'\0')), {});
  return std::make_unique<xlsx_worksheet>(name, sheet, schema);
}

std::unique_ptr<udb_recordset> xlsx_database::get_query(const std::wstring& /*name*/,
                                                        const std::wstring& /*sql*/,
                                                        std::uint32_t /*mode*/)
{
  return nullptr;
}

std::unique_ptr<udb_recordset> xlsx_database::get_table(const std::wstring& /*name*/,
                                                        std::uint32_t /*mode*/)
{
  throw tk_mail_assertion("xlsx_db", 93);
}

bool xlsx_database::test_query(const std::wstring& /*sql*/)
{
  return true;
}

void xlsx_database::save_workbook(const std::wstring& path)
{
  // The workbook goes either way; its destructor removes what is left of its
  // temporary folder.
  const std::unique_ptr<XlsxBook::CWorkbook> book = std::move(workbook_);
  if (!book->Save(path))
    throw xlsx_cannot_create(path, book->GetSaveError());
}

void xlsx_database::stream_sheets(std::uint32_t sheets)
{
  if (one_book_per_table_ || sheets == 0)
    return;
  if (!workbook_)
    workbook_ = std::make_unique<XlsxBook::CWorkbook>();
  workbook_->StreamTo(name_, sheets);
}

void xlsx_database::expect_rows(udb_recordset* table, std::uint64_t rows)
{
  if (table == nullptr || !workbook_ || one_book_per_table_)
    return;
  auto& sheet = static_cast<xlsx_worksheet&>(*table);
  std::string error;
  if (!workbook_->StreamSheet(sheet.get_sheet(), std::min<std::uint64_t>(rows, sheet.get_max_rows()),
                              error))
    throw xlsx_cannot_create(name_, error);
  sheet.watch_stream(workbook_.get(), name_);
}

void xlsx_database::save()
{
  tk_log_message(1, "xlsx_database::save");
  if (one_book_per_table_ || !workbook_)
    return;
  // zip may have been started for sheets that never came (every entry
  // failed): a package without a worksheet would replace the old file, so the
  // workbook goes unsaved, its zip and temporary folder with it.
  if (workbook_->GetSheets().empty() && workbook_->GetCharts().empty()) {
    workbook_.reset();
    return;
  }
  save_workbook(name_);
}

void xlsx_database::save_table(udb_recordset* table, int n)
{
  tk_log_message(2, "xlsx_database::save_table(%d)", n);
  if (table == nullptr)
    return;
  table->save();
  if (!one_book_per_table_)
    return;

  tk_log_message(1, "b_1tab_per_file");
  std::wstring base = table->get_name();
  if (n > 0)
    base += base::sprintf(L"(%d)", n);
  tk_log_message(2, L"xlsx_database::save_table(name=%s, t_name=%s)", name_, base);
  // The destination names the folder of the workbooks; when it is no folder the
  // file goes into the current directory. The paths are joined, never chdir'd.
  std::wstring path = base + L".xlsx";
  if (tk_is_path_exist(name_))
    path = name_ + (name_.ends_with(L'/') ? L"" : L"/") + path;
  tk_log_message(2, L"xlsx_name=%s", path);
  if (workbook_)
    save_workbook(path);
}

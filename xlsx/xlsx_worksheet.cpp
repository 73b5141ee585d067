// The .xlsx destination recordset. Each value becomes one cell in the order of
// the record's fields; a full sheet is an ordinary, reported condition that
// leaves every row written so far intact.
#include "xlsx/xlsx_worksheet.h"

#include "OLE/ole_misc.h"
#include "UDB/udb_field.h"
#include "TK/tk_log.h"
#include "base/format.h"
#include "platform/text_codec.h"
#include "xlsx/xlsx_book.h"

#include <algorithm>
#include <string_view>

xlsx_row_limit_exception::xlsx_row_limit_exception(const std::wstring& table,
                                                   std::uint64_t records_written)
    : tk_exception(base::sprintf(L"Table '%s' truncated: maximum number of rows (1,048,576) "
                                 L"reached after %llu records",
                                 table, static_cast<unsigned long long>(records_written)),
                   tk_level_recoverable),
      table_(table), records_written_(records_written)
{
}

xlsx_package_exception xlsx_cannot_create(const std::wstring& destination, const std::string& why)
{
  return xlsx_package_exception(base::sprintf("Cannot create the destination file '%s': %s",
                                    plat::to_utf8(destination), why),
                      tk_level_error);
}

xlsx_worksheet::xlsx_worksheet(const std::wstring& name, XlsxBook::CWorksheet* sheet,
                               const udb_schema& schema, std::uint32_t max_rows)
    : udb_recordset(name), sheet_(sheet), max_rows_(std::min(max_rows, max_data_rows))
{
  if (sheet_ == nullptr)
    throw tk_mail_assertion("xlsx_wsh", 30);
  schema_ = schema;
  tk_log_message(1, L"xlsx_worksheet::ctor(%s)", name);
  sheet_->OpenRow(0);
  for (const udb_schema::descriptor& column : schema_)
    sheet_->AddCell(XlsxBook::CellDataStr{column->name});
  sheet_->CloseRow();
}

xlsx_worksheet::~xlsx_worksheet()
{
  tk_log_message(1, "xlsx_worksheet::dtor");
}

void xlsx_worksheet::append_record(const udb_record& record, std::uint32_t /*count*/)
{
  tk_log_message(1, "xlsx_worksheet::append_record(size=%d)", static_cast<int>(record.size()));
  // The sheet's own row number also counts a row left half written by a record
  // that failed, so both must leave room for one more row.
  if (rows_ >= max_rows_ || sheet_->GetRowNumber() > max_rows_) {
    tk_log_message(2, "Cannot insert row, max number of rows reached");
    throw xlsx_row_limit_exception(name_, rows_);
  }
  sheet_->OpenRow(0);
  for (const auto& field : record) {
    const VARIANT& value = field->get_variant();
    if (value.vt == VT_EMPTY || value.vt == VT_NULL) {
      sheet_->AddCell(XlsxBook::CellDataStr{});
    } else if (ole_is_numeric_vt(value.vt) && ole_is_numeric_vt(field->get_type())) {
      sheet_->AddCell(XlsxBook::CellDataDbl{field->to_double()});
    } else if (value.vt == VT_BSTR) {
      // The text as the value holds it, without a copy.
      sheet_->AddCell(
          XlsxBook::CellDataStr{std::wstring_view(value.bstrVal, SysStringLen(value.bstrVal))});
    } else {
      const std::wstring text = field->to_wstring();
      sheet_->AddCell(XlsxBook::CellDataStr{text});
    }
  }
  sheet_->CloseRow();
  // zip gone: the rows still to come could not reach the package.
  if (stream_book_ != nullptr && sheet_->StreamBroken())
    throw xlsx_cannot_create(destination_, stream_book_->StreamFailure());
  ++rows_;
  record_count_ = rows_;
}

void xlsx_worksheet::watch_stream(XlsxBook::CWorkbook* book, const std::wstring& destination)
{
  stream_book_ = book;
  destination_ = destination;
}

void xlsx_worksheet::save()
{
  if (!sheet_->Save())
    throw tk_exception(sheet_->GetLastError(), tk_level_error);
  if (stream_book_ != nullptr && sheet_->StreamBroken())
    throw xlsx_cannot_create(destination_, stream_book_->StreamFailure());
}

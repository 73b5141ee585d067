// A stand-in for the Excel driver while it is being built elsewhere: sheets
// and row counts in memory, kept per path across sessions, with the refusals
// the DAO layer passes on. Remove this file once the real driver is merged.
#include "platform/dao/excel_workbook.h"

#include <filesystem>
#include <map>

namespace plat::dao {

namespace {

struct fake_sheet {
  std::wstring name;
  std::vector<excel_column> columns;
  std::uint32_t rows = 0;
  bool added = false;
};

std::map<std::string, std::vector<fake_sheet>>& written()
{
  static std::map<std::string, std::vector<fake_sheet>> files;
  return files;
}

bool equal_ignoring_case(const std::wstring& a, const std::wstring& b)
{
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i])))
      return false;
  return true;
}

} // namespace

class excel_workbook::impl {
public:
  std::string path;
  biff_version version;
  std::vector<fake_sheet> sheets;
  bool closed = false;
};

excel_workbook::excel_workbook(const std::string& path, biff_version version) : impl_(std::make_unique<impl>())
{
  impl_->path = path;
  impl_->version = version;
  if (const auto found = written().find(path); found != written().end()) {
    impl_->sheets = found->second;
    for (auto& sheet : impl_->sheets) {
      sheet.columns.clear();
      sheet.added = false;
    }
  } else if (std::filesystem::exists(path)) {
    throw dao_error(3274, "External table is not in the expected format.");
  } else if (!std::filesystem::is_directory(std::filesystem::path(path).parent_path())) {
    throw dao_error(3044, "Not a valid path.");
  }
}

excel_workbook::~excel_workbook() = default;

biff_version excel_workbook::version() const { return impl_->version; }
std::size_t excel_workbook::sheet_count() const { return impl_->sheets.size(); }
const std::wstring& excel_workbook::sheet_name(std::size_t sheet) const { return impl_->sheets.at(sheet).name; }
std::uint32_t excel_workbook::sheet_rows(std::size_t sheet) const { return impl_->sheets.at(sheet).rows; }
const std::vector<excel_column>& excel_workbook::sheet_columns(std::size_t sheet) const
{
  return impl_->sheets.at(sheet).columns;
}

std::ptrdiff_t excel_workbook::find_sheet(const std::wstring& name) const
{
  for (std::size_t i = 0; i < impl_->sheets.size(); ++i)
    if (equal_ignoring_case(impl_->sheets[i].name, name))
      return static_cast<std::ptrdiff_t>(i);
  return -1;
}

std::size_t excel_workbook::add_sheet(const std::wstring& name, const std::vector<excel_column>& columns)
{
  if (find_sheet(name) >= 0)
    throw dao_error(3010, "Table already exists.");
  for (const auto& column : columns)
    if (column.type == db_binary || column.type == db_long_binary || column.type == db_guid)
      throw dao_error(3259, "Invalid field data type.");
  impl_->sheets.push_back({name, columns, 0, true});
  return impl_->sheets.size() - 1;
}

void excel_workbook::append_row(std::size_t sheet, const VARIANT* values, std::size_t count)
{
  fake_sheet& target = impl_->sheets.at(sheet);
  if (!target.added)
    throw dao_error(3219, "Invalid operation.");
  for (std::size_t i = 0; i < count && i < target.columns.size(); ++i)
    if (values[i].vt == VT_DATE && target.columns[i].type == db_date &&
        (values[i].date < 0 || (values[i].date >= 1 && values[i].date < 2) || values[i].date >= 2958466))
      throw dao_error(3349, "Numeric field overflow.");
  ++target.rows;
}

void excel_workbook::close()
{
  if (impl_->closed)
    return;
  impl_->closed = true;
  if (!impl_->sheets.empty())
    written()[impl_->path] = impl_->sheets;
}

} // namespace plat::dao

// One workbook session. Nothing touches the destination before close(): new
// sheets live in one scratch file, the old stream is only read, and the
// finished stream goes to a private file in the destination's folder that a
// rename puts in place. A row is checked whole before any of its cells is
// written. A session may take sheet after sheet: one sheet at a time holds a
// block of rows in memory, so the cost of a sheet does not grow with the
// sheets before it.
#include "platform/dao/excel/workbook.h"

#include "platform/case_fold.h"
#include "platform/dao/excel/biff_globals.h"
#include "platform/dao/excel/biff_sheet.h"
#include "platform/dao/excel/biff_sst.h"
#include "platform/dao/excel/biff_text.h"
#include "platform/dao/excel/container.h"
#include "platform/dao/excel/errors.h"
#include "platform/files.h"
#include "platform/oleaut/real.h"
#include "platform/process.h"
#include "platform/text_codec.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat::dao {

namespace errors = excel_errors;

namespace {

constexpr std::size_t max_columns = 256;
constexpr std::size_t max_sheet_name_units = 31;

// The private file a close() writes; removed unless it was renamed into place.
class private_file {
public:
  explicit private_file(const std::string& destination)
  {
    const std::filesystem::path target(destination);
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
      // Not the destination's name: a name the folder just takes would leave no
      // room for more.
      std::string name = ".qvt_";
      name += std::to_string(::getpid());
      name += '_';
      name += std::to_string(counter.fetch_add(1));
      name += ".tmp";
      path_ = (target.parent_path() / name).string();
      // O_EXCL keeps an existing file out; 0666 lets the user's umask decide,
      // as for any file a program creates.
      fd_.reset(::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      if (fd_.valid()) {
        owned_ = true;
        return;
      }
      const int error = errno;
      if (error != EEXIST)
        errors::raise_system(error, "Cannot create a file in '" + target.parent_path().string() + "'");
    }
    errors::raise(errors::disk_error, "Disk or network error. No free name for a private file.");
  }
  ~private_file()
  {
    fd_.reset();
    if (owned_)
      ::unlink(path_.c_str());
  }
  private_file(const private_file&) = delete;
  private_file& operator=(const private_file&) = delete;

  int fd() const { return fd_.get(); }
  const std::string& path() const { return path_; }
  int close_checked() { return fd_.close() ? 0 : errno; }
  void renamed() { owned_ = false; }

private:
  std::string path_;
  unique_fd fd_;
  bool owned_ = false;
};

bool text_column(short type)
{
  return type == db_text || type == db_memo;
}

bool date_column(short type)
{
  return type == db_date || type == db_time;
}

bool accepted_type(short type)
{
  switch (type) {
  case db_boolean: case db_byte: case db_integer: case db_long: case db_currency:
  case db_single: case db_double: case db_date: case db_text: case db_memo:
  case db_big_int: case db_numeric: case db_decimal: case db_float: case db_time:
    return true;
  default:
    return false;
  }
}

// The value as a double, for the numeric VARTYPEs; false for any other.
bool number_of(const VARIANT& v, double& out)
{
  switch (v.vt) {
  case VT_I1: out = v.cVal; return true;
  case VT_UI1: out = v.bVal; return true;
  case VT_I2: out = v.iVal; return true;
  case VT_UI2: out = v.uiVal; return true;
  case VT_I4: case VT_INT: out = v.lVal; return true;
  case VT_UI4: case VT_UINT: out = v.ulVal; return true;
  case VT_I8: out = static_cast<double>(v.llVal); return true;
  case VT_UI8: out = static_cast<double>(v.ullVal); return true;
  case VT_R4: out = float_as_written(v.fltVal); return true;
  case VT_R8: out = v.dblVal; return true;
  case VT_CY: return SUCCEEDED(VarR8FromCy(v.cyVal, &out));
  case VT_DECIMAL: {
    const DECIMAL d = v.decimal();
    return SUCCEEDED(VarR8FromDec(&d, &out));
  }
  default: return false;
  }
}

} // namespace

class excel_workbook::impl {
public:
  struct sheet {
    std::wstring name;       // as given, or as read
    std::wstring file_name;  // as written: cut and unique
    std::uint32_t rows = 0;
    std::vector<excel_column> columns;
    std::optional<std::size_t> old_index;              // in old_sheets
    std::unique_ptr<biff::sheet_writer> writer;        // an added sheet's cells
  };

  // One checked cell of the row being appended.
  struct cell {
    enum kind_type : std::uint8_t { none, number, boolean, text } kind = none;
    std::uint16_t xf = biff::xf_general;
    double value = 0;
    std::wstring_view chars;
  };

  impl(const std::string& path, biff_version v);

  void open_existing();
  std::wstring file_form(const std::wstring& name) const;
  void check_cell(std::size_t column, const excel_column& def, const VARIANT& v, cell& out);
  void write_text(biff::sheet_writer& w, std::uint16_t column, std::uint16_t xf, std::wstring_view text);
  void close();
  void release();
  // Makes `index` the sheet that takes rows, parking the one that did.
  void activate(std::size_t index);

  biff_version version;
  bool biff8;
  std::uint32_t max_data_rows;
  std::string path;
  std::string folder;
  bool exists = false;
  mode_t mode = 0;
  unique_fd lock;
  std::unique_ptr<container_reader> old;
  std::vector<biff::old_sheet> old_sheets;
  std::unique_ptr<biff::sst_table> sst;
  // The scratch file of every added sheet's cells, made with the first one.
  std::unique_ptr<excel_spool> cells;
  std::vector<sheet> sheets;
  // The added sheet that takes rows now; the one before it is parked.
  std::optional<std::size_t> active;
  bool closed = false;

  std::vector<cell> row;
  std::vector<std::array<wchar_t, 20>> date_texts = std::vector<std::array<wchar_t, 20>>(max_columns);
  std::vector<plat::scoped_variant> converted = std::vector<plat::scoped_variant>(max_columns);
  std::vector<char16_t> units = std::vector<char16_t>(32767);
  std::array<std::uint8_t, 255> bytes{};
};

excel_workbook::impl::impl(const std::string& p, biff_version v)
    : version(v), biff8(v == biff_version::biff8), max_data_rows(biff8 ? 65535 : 16383)
{
  if (!absolute_path(p, path) || path.empty() || path.back() == '/')
    errors::raise(errors::invalid_path, "'" + p + "' is not a valid path.");
  folder = std::filesystem::path(path).parent_path().string();
  const path_status where = query_path(folder);
  if (!where.folder || !has_access(folder, false, true, true))
    errors::raise(errors::invalid_path, "'" + p + "' is not a valid path: its folder cannot be written.");

  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (error != ENOENT) {
      if (error == EACCES || error == EPERM)
        errors::raise(errors::file_in_use, "Cannot open '" + p + "': " + error_text(error));
      errors::raise(errors::invalid_path, "'" + p + "' is not a valid path: " + error_text(error));
    }
  } else {
    lock.reset(fd);
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
      errors::raise(errors::invalid_path, "'" + p + "' is not a valid path: it is no file.");
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      if (error == EWOULDBLOCK)
        errors::raise(errors::file_in_use, "The file '" + p + "' is already in use by another session.");
      errors::raise_system(error, "Cannot lock '" + p + "'");
    }
    if (query_path(path).read_only)
      errors::raise(errors::file_in_use, "The file '" + p + "' is read-only.");
    exists = true;
    mode = st.st_mode & 07777;
  }
  if (biff8)
    sst = std::make_unique<biff::sst_table>(folder);
  if (exists)
    open_existing();
  row.resize(max_columns);
}

void excel_workbook::impl::open_existing()
{
  old = std::make_unique<container_reader>(path, biff8);
  old_sheets = biff::read_workbook(*old, biff8, sst.get());
  for (std::size_t i = 0; i < old_sheets.size(); ++i) {
    sheet s;
    s.name = old_sheets[i].name;
    s.file_name = old_sheets[i].name;
    s.rows = old_sheets[i].data_rows;
    s.old_index = i;
    sheets.push_back(std::move(s));
  }
}

std::wstring excel_workbook::impl::file_form(const std::wstring& name) const
{
  std::wstring base = name.empty() ? L"Sheet" + std::to_wstring(sheets.size() + 1) : name;
  for (wchar_t& ch : base) {
    // Characters Excel refuses in a sheet name, and (BIFF5) those the code
    // page lacks.
    std::uint8_t b = 0;
    if (std::wstring_view(L":\\/?*[]").find(ch) != std::wstring_view::npos ||
        (!biff8 && biff::to_cp1252(std::wstring_view(&ch, 1), &b, 1, 0) == 1 && b == 0 && ch != 0))
      ch = L'_';
  }
  const auto cut = [&](std::size_t count) {
    return biff8 ? utf16_truncate(base, count) : base.substr(0, count);
  };
  const auto taken = [&](const std::wstring& candidate) {
    for (const sheet& s : sheets)
      if (equal_in_any_case(s.file_name, candidate))
        return true;
    return false;
  };
  std::wstring candidate = cut(max_sheet_name_units);
  for (unsigned k = 1; taken(candidate); ++k) {
    const std::wstring suffix = L"~" + std::to_wstring(k);
    candidate = cut(max_sheet_name_units - suffix.size()) + suffix;
  }
  return candidate;
}

void excel_workbook::impl::check_cell(std::size_t column, const excel_column& def, const VARIANT& v,
                                      cell& out)
{
  out = cell{};
  const bool as_text = text_column(def.type);
  double number = 0;
  switch (v.vt) {
  case VT_EMPTY:
  case VT_NULL:
    return;
  case VT_BSTR:
    out.kind = cell::text;
    out.chars = std::wstring_view(v.bstrVal != nullptr ? v.bstrVal : L"", SysStringLen(v.bstrVal));
    return;
  case VT_DATE: {
    if (date_column(def.type) && biff8) {
      biff::date_form form;
      if (!biff::excel_serial(v.date, out.value, form))
        errors::raise(errors::numeric_overflow);
      out.kind = cell::number;
      out.xf = form == biff::date_form::date ? biff::xf_date
               : form == biff::date_form::time ? biff::xf_time
                                                : biff::xf_date_time;
      return;
    }
    // A date Excel cannot show is refused in a date column even as text.
    double serial;
    biff::date_form form;
    if (date_column(def.type) && !biff::excel_serial(v.date, serial, form))
      errors::raise(errors::numeric_overflow);
    const std::size_t n = biff::date_text(v.date, date_texts[column].data());
    if (n == 0)
      errors::raise(errors::numeric_overflow);
    out.kind = cell::text;
    out.chars = std::wstring_view(date_texts[column].data(), n);
    return;
  }
  case VT_BOOL:
    if (!as_text) {
      out.kind = cell::boolean;
      out.value = v.boolVal != 0 ? 1 : 0;
      return;
    }
    break;
  default:
    if (!number_of(v, number))
      errors::raise(errors::conversion_error);
    if (!as_text) {
      if (!std::isfinite(number))
        errors::raise(errors::numeric_overflow);
      out.kind = cell::number;
      out.value = number;
      out.xf = (biff8 && (def.type == db_currency || v.vt == VT_CY)) ? biff::xf_currency
                                                                     : biff::xf_general;
      return;
    }
    break;
  }
  // A number or boolean in a text column: its text, as the column holds it.
  VARIANT& text = converted[column].value;
  if (FAILED(VariantChangeType(&text, &v, VARIANT_ALPHABOOL, VT_BSTR)))
    errors::raise(errors::conversion_error);
  out.kind = cell::text;
  out.chars = std::wstring_view(text.bstrVal != nullptr ? text.bstrVal : L"", SysStringLen(text.bstrVal));
}

void excel_workbook::impl::write_text(biff::sheet_writer& w, std::uint16_t column, std::uint16_t xf,
                                      std::wstring_view text)
{
  if (biff8) {
    bool narrow = true;
    const std::size_t n = biff::to_utf16_units(text, units.data(), units.size(), narrow);
    w.shared_label(column, xf, sst->add(units.data(), n, narrow));
  } else {
    const std::size_t n = biff::to_cp1252(text, bytes.data(), bytes.size(), '?');
    w.label(column, xf, bytes.data(), n);
  }
}

void excel_workbook::impl::release()
{
  closed = true;
  for (sheet& s : sheets)
    s.writer.reset();
  cells.reset();
  sst.reset();
  old.reset();
  lock.reset();
}

void excel_workbook::impl::activate(std::size_t index)
{
  if (active == index)
    return;
  if (active && sheets[*active].writer)
    sheets[*active].writer->park();
  active = index;
}

void excel_workbook::impl::close()
{
  bool added = false;
  for (const sheet& s : sheets)
    added = added || s.writer != nullptr;
  if (!added)
    return;  // nothing new: the destination stays as it was

  std::vector<biff::sheet_entry> entries(sheets.size());
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    entries[i].name = sheets[i].file_name;
    entries[i].options = sheets[i].old_index ? old_sheets[*sheets[i].old_index].options : 0;
  }
  biff::globals_writer globals(biff8, sst.get());
  std::uint64_t position = globals.stream_size(entries);
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    entries[i].position = position;
    if (sheets[i].old_index) {
      const biff::old_sheet& o = old_sheets[*sheets[i].old_index];
      position += o.end - o.start;
    } else {
      position += sheets[i].writer->stream_size();
    }
  }
  if (position > 0xFFFFFFFFu)
    errors::raise(errors::cannot_expand, "The workbook would exceed 4 GB.");

  private_file file(path);
  container_writer writer(file.fd(), biff8);
  globals.write(writer, entries);
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    if (writer.position() != entries[i].position)
      errors::raise(errors::disk_error, "Disk or network error. The workbook's layout came out wrong.");
    if (sheets[i].old_index) {
      const biff::old_sheet& o = old_sheets[*sheets[i].old_index];
      biff::copy_sheet(*old, o, static_cast<std::int64_t>(entries[i].position) - static_cast<std::int64_t>(o.start),
                       biff8, writer);
    } else {
      sheets[i].writer->write(writer, entries[i].position, i == 0);
    }
  }
  writer.finish();
  if (exists && ::fchmod(file.fd(), mode) != 0) {
    const int error = errno;
    errors::raise_system(error, "Cannot write the workbook");
  }
  if (const int error = file.close_checked(); error != 0)
    errors::raise_system(error, "Cannot write the workbook");
  if (::rename(file.path().c_str(), path.c_str()) != 0) {
    const int error = errno;
    errors::raise_system(error, "Cannot replace '" + path + "'");
  }
  file.renamed();
  // The rename itself reaches the disk with the folder.
  const unique_fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid())
    ::fsync(dir.get());
}

excel_workbook::excel_workbook(const std::string& path, biff_version version)
    : impl_(std::make_unique<impl>(path, version))
{
}

excel_workbook::~excel_workbook() = default;

biff_version excel_workbook::version() const
{
  return impl_->version;
}

std::size_t excel_workbook::sheet_count() const
{
  return impl_->sheets.size();
}

namespace {

template <class Sheets>
auto& sheet_at(Sheets& sheets, std::size_t index)
{
  if (index >= sheets.size())
    errors::raise(errors::item_not_found);
  return sheets[index];
}

} // namespace

const std::wstring& excel_workbook::sheet_name(std::size_t sheet) const
{
  return sheet_at(impl_->sheets, sheet).name;
}

std::uint32_t excel_workbook::sheet_rows(std::size_t sheet) const
{
  return sheet_at(impl_->sheets, sheet).rows;
}

const std::vector<excel_column>& excel_workbook::sheet_columns(std::size_t sheet) const
{
  return sheet_at(impl_->sheets, sheet).columns;
}

std::ptrdiff_t excel_workbook::find_sheet(const std::wstring& name) const
{
  for (std::size_t i = 0; i < impl_->sheets.size(); ++i)
    if (equal_no_case(impl_->sheets[i].name, name))
      return static_cast<std::ptrdiff_t>(i);
  return -1;
}

std::size_t excel_workbook::add_sheet(const std::wstring& name, const std::vector<excel_column>& columns)
{
  impl& d = *impl_;
  if (d.closed)
    errors::raise(errors::invalid_operation);
  if (find_sheet(name) >= 0)
    errors::raise(errors::table_exists, "Table '" + to_utf8(name) + "' already exists.");
  if (columns.size() > max_columns)
    errors::raise(errors::invalid_field_type, "Invalid field data type. A sheet holds at most 256 columns.");
  for (const excel_column& c : columns)
    if (!accepted_type(c.type))
      errors::raise(errors::invalid_field_type);

  if (!d.cells)
    d.cells = std::make_unique<excel_spool>(d.folder);
  impl::sheet s;
  s.name = name;
  s.file_name = d.file_form(name);
  s.columns = columns;
  s.writer = std::make_unique<biff::sheet_writer>(d.biff8, *d.cells);
  s.writer->begin_row(0);
  for (std::size_t c = 0; c < columns.size(); ++c) {
    s.writer->column_width(static_cast<std::uint16_t>(c), utf16_length(columns[c].name));
    d.write_text(*s.writer, static_cast<std::uint16_t>(c), biff::xf_header, columns[c].name);
  }
  s.writer->end_row();
  d.sheets.push_back(std::move(s));
  d.activate(d.sheets.size() - 1);
  return d.sheets.size() - 1;
}

void excel_workbook::append_row(std::size_t sheet, const VARIANT* values, std::size_t count)
{
  impl& d = *impl_;
  if (d.closed)
    errors::raise(errors::invalid_operation);
  impl::sheet& s = sheet_at(d.sheets, sheet);
  if (!s.writer || count > s.columns.size() || (count != 0 && values == nullptr))
    errors::raise(errors::invalid_operation);
  if (s.rows >= d.max_data_rows)
    errors::raise(errors::cannot_expand);
  for (std::size_t c = 0; c < count; ++c)
    d.check_cell(c, s.columns[c], values[c], d.row[c]);

  d.activate(sheet);
  biff::sheet_writer& w = *s.writer;
  w.begin_row(s.rows + 1);
  for (std::size_t c = 0; c < count; ++c) {
    const impl::cell& cell = d.row[c];
    const auto column = static_cast<std::uint16_t>(c);
    switch (cell.kind) {
    case impl::cell::none: break;
    case impl::cell::number: w.number(column, cell.xf, cell.value); break;
    case impl::cell::boolean: w.boolean(column, cell.value != 0); break;
    case impl::cell::text: d.write_text(w, column, cell.xf, cell.chars); break;
    }
  }
  w.end_row();
  ++s.rows;
}

void excel_workbook::close()
{
  impl& d = *impl_;
  if (d.closed)
    return;
  struct releaser {
    impl& d;
    ~releaser() { d.release(); }
  } guard{d};
  d.close();
}

} // namespace plat::dao

// The format descriptors. Their limits are the ones the table copy enforces, so
// the notes shown to the user state exactly those limits.
#include "common/xls_engi.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "common/xls_restyle.h"
#include "platform/dao/excel/container.h"
#include "platform/text_codec.h"

#include <cstdio>
#include <memory>
#include <utility>

std::array<xls_engine*, xls_format_count> xls_engines{};

xls_engine::xls_engine(std::wstring name_, std::wstring connect, std::string note_,
                       std::uint32_t max_rows_, std::uint32_t max_data_rows_,
                       std::uint32_t max_text_units_)
    : name(std::move(name_)), connect_string(std::move(connect)), note(std::move(note_)),
      max_rows(max_rows_), max_data_rows(max_data_rows_), max_text_units(max_text_units_)
{
  tk_log_message(2, L"xls_engine::ctor(%s, %s)", name, connect_string);
}

// A BIFF5 sheet has 16,384 rows; a cell keeps 254 characters, one less than the
// format's 255, as the driver needs.
xls_engine_50::xls_engine_50()
    : xls_engine(L"Excel 5.0", L"Excel 5.0;",
                 "Destination spreadsheet will be saved in MS Excel 5.0 format.\n"
                 "All strings will be cut to 254 symbols.",
                 16383, 16383, 254)
{
  tk_log_message(2, "xls_engine_50::ctor");
}

xls_engine_80::xls_engine_80()
    : xls_engine(L"Excel 2000", L"Excel 8.0;",
                 "Destination spreadsheet will be saved in MS Excel 2000 format.\n"
                 "Each worksheet can contain not more than 65535 rows.",
                 65535, 65535, 32766)
{
  tk_log_message(2, "xls_engine_80::ctor");
}

xls_engine_2010::xls_engine_2010()
    : xls_engine(L"Excel 2010-2016", L"Excel 12.0;",
                 "Destination spreadsheet will be saved in the latest MS Excel format.\n"
                 "You will not be able to open it with earlier versions of MS Excel.",
                 1048576, 1048575, 32766)
{
  tk_log_message(2, "xls_engine_2010::ctor");
}

bool xls_engine::patch(const std::wstring& path, std::string* error)
{
  tk_log_message(2, "xls_engine::patch");
  const auto fail = [error](const std::string& text) {
    tk_log_message(2, "%s", text);
    if (error != nullptr)
      *error = text;
    return false;
  };
  // The compound file is the DAO driver's to open: its format is the driver's.
  const plat::dao::workbook_stream_file file(path);
  if (file.status() == plat::dao::workbook_stream_file::state::not_a_compound_file)
    return fail("Failed to open OLE document");
  if (file.status() == plat::dao::workbook_stream_file::state::no_workbook_stream)
    return fail("Stream not found");
  try {
    do_patch(file.stream());
  } catch (const std::exception& e) {
    tk_log_message(2, "Got exception: %s", e.what());
    if (error != nullptr)
      *error = e.what();
    return false;
  }
  return true;
}

void xls_engine::write_empty_xls(const std::wstring& path) const
{
  const std::uint8_t* bytes = get_template();
  const std::size_t size = get_template_size();
  if (bytes == nullptr)
    throw tk_mail_assertion("xls_engi", __LINE__);
  std::string narrow;
  plat::wide_to_utf8(path, narrow);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(narrow.c_str(), "wb"), std::fclose);
  if (!file)
    throw tk_exception("Cannot open destination file for writing.", tk_level_error);
  // What the close flushes can fail too (a full disk).
  if (std::fwrite(bytes, 1, size, file.get()) != size || std::fclose(file.release()) != 0)
    throw tk_exception("Failed to write into the destination file.", tk_level_error);
}

void xls_engine_50::do_patch(IStream* stream)
{
  if (stream == nullptr)
    throw tk_mail_assertion("xls_engi", __LINE__);
  xls_restyle_stream(*stream, xls_biff::biff5, wrap);
}

void xls_engine_80::do_patch(IStream* stream)
{
  tk_log_message(2, "xls_engine_80::do_patch");
  if (stream == nullptr)
    throw tk_mail_assertion("xls_engi", __LINE__);
  xls_restyle_stream(*stream, xls_biff::biff8, wrap);
}

// The converter never restyles an .xlsx workbook; its styles are written with it.
void xls_engine_2010::do_patch(IStream* /*stream*/)
{
  tk_log_message(2, "xls_engine_2010::do_patch");
}

const std::uint8_t* xls_engine_2010::get_template() const
{
  return nullptr;
}

std::size_t xls_engine_2010::get_template_size() const
{
  return 0;
}

// The format descriptors. Their limits are the ones the table copy enforces, so
// the notes shown to the user state exactly those limits.
#include "common/xls_engi.h"

#include "TK/tk_log.h"

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

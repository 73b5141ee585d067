// The yardstick of qvtbatch's benchmark: one SELECT streamed from a MySQL server
// into one worksheet with libxlsxwriter in constant-memory mode. Numbers become
// number cells and everything else text cells, NULLs stay empty, as qvtbatch
// writes an .xlsx sheet; memory stays flat whatever the row count.
#include <xlsxwriter.h>
#include <mysql.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

bool is_number(enum_field_types type)
{
  switch (type) {
  case MYSQL_TYPE_TINY:
  case MYSQL_TYPE_SHORT:
  case MYSQL_TYPE_LONG:
  case MYSQL_TYPE_INT24:
  case MYSQL_TYPE_LONGLONG:
  case MYSQL_TYPE_DECIMAL:
  case MYSQL_TYPE_NEWDECIMAL:
  case MYSQL_TYPE_FLOAT:
  case MYSQL_TYPE_DOUBLE:
  case MYSQL_TYPE_YEAR:
    return true;
  default:
    return false;
  }
}

int fail(const char* what, const char* why)
{
  std::fprintf(stderr, "reference_exporter: %s: %s\n", what, why);
  return 1;
}

} // namespace

int main(int argc, char** argv)
{
  if (argc != 9) {
    std::fprintf(stderr, "usage: reference_exporter HOST PORT USER PASSWORD DATABASE SELECT SHEET DEST.xlsx\n");
    return 2;
  }
  const char* host = argv[1];
  const auto port = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
  const char* user = argv[3];
  const char* password = argv[4];
  const char* database = argv[5];
  const std::string select = argv[6];
  const char* sheet_name = argv[7];
  const char* destination = argv[8];

  const std::unique_ptr<MYSQL, decltype(&mysql_close)> connection(mysql_init(nullptr), &mysql_close);
  unsigned protocol = MYSQL_PROTOCOL_TCP;
  mysql_options(connection.get(), MYSQL_OPT_PROTOCOL, &protocol);
  mysql_options(connection.get(), MYSQL_SET_CHARSET_NAME, "utf8mb4");
  if (mysql_real_connect(connection.get(), host, user, password, database, port, nullptr, 0) == nullptr)
    return fail("connect", mysql_error(connection.get()));
  if (mysql_real_query(connection.get(), select.data(), select.size()) != 0)
    return fail("query", mysql_error(connection.get()));
  const std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> result(mysql_use_result(connection.get()),
                                                                       &mysql_free_result);
  if (!result)
    return fail("result", mysql_error(connection.get()));
  const unsigned columns = mysql_num_fields(result.get());
  const MYSQL_FIELD* fields = mysql_fetch_fields(result.get());

  lxw_workbook_options options{};
  options.constant_memory = 1;
  lxw_workbook* workbook = workbook_new_opt(destination, &options);
  if (workbook == nullptr)
    return fail("workbook", destination);
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, sheet_name);

  for (unsigned c = 0; c < columns; ++c)
    worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), fields[c].name, nullptr);
  lxw_row_t row_number = 0;
  while (MYSQL_ROW row = mysql_fetch_row(result.get())) {
    ++row_number;
    for (unsigned c = 0; c < columns; ++c) {
      if (row[c] == nullptr)
        continue;
      const auto column = static_cast<lxw_col_t>(c);
      if (is_number(fields[c].type))
        worksheet_write_number(sheet, row_number, column, std::strtod(row[c], nullptr), nullptr);
      else
        worksheet_write_string(sheet, row_number, column, row[c], nullptr);
    }
  }
  const bool read_error = mysql_errno(connection.get()) != 0;
  const lxw_error closed = workbook_close(workbook);
  if (read_error)
    return fail("read", mysql_error(connection.get()));
  if (closed != LXW_NO_ERROR)
    return fail("save", lxw_strerror(closed));
  std::printf("%u rows written\n", static_cast<unsigned>(row_number));
  return 0;
}

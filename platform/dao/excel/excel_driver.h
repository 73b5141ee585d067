// Makes the workbook driver known to DBEngine ("Excel 5.0;", "Excel 8.0;").
// Idempotent; every program that converts to .xls calls it before opening.
#pragma once

namespace plat::dao {

void register_excel_driver();

} // namespace plat::dao

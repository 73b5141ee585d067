// The workbook driver's session: one open workbook, its tables in TableDefs
// order and the recordsets still open over it, and the factories of the DAO
// objects made over it. Closing ends the session for every object made from it.
#pragma once

#include "platform/dao/dao_model.h"
#include "platform/dao/excel/workbook.h"
#include "platform/dao/recordset_object.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace plat::dao {

struct recordset_state;

struct workbook_session {
  workbook_session(std::shared_ptr<error_state> errors, std::wstring name, std::unique_ptr<excel_workbook> book,
                   bool read_only);

  std::shared_ptr<error_state> errors;
  std::wstring name;
  bool read_only;
  std::vector<table_ptr> tables;
  open_recordsets<recordset_state> recordsets;

  // The workbook of an open session; 3420 once closed.
  excel_workbook& book();
  bool closed() const { return book_ == nullptr; }
  std::ptrdiff_t find_table(std::wstring_view name) const;
  // Ends the session: open recordsets drop their pending rows and close, then
  // the workbook is written (unless read-only). The session ends even when
  // writing fails; the failure is raised.
  void close();

private:
  std::unique_ptr<excel_workbook> book_;
};
using workbook_session_ptr = std::shared_ptr<workbook_session>;

com_ref<DAOTableDef> make_tabledef(workbook_session_ptr owner, table_ptr table);
com_ref<DAOTableDefs> make_tabledefs(workbook_session_ptr owner);
// A recordset over the sheet of `table`; `type` and `options` as
// QueryDef.OpenRecordset takes them.
com_ref<DAORecordset> open_recordset(workbook_session_ptr owner, table_ptr table, short type, LONG options);
// Drops the recordset's pending row; every later call on it fails with 3420.
void close_recordset(recordset_state& recordset) noexcept;
com_ref<DAODatabase> make_workbook_database(workbook_session_ptr owner);

} // namespace plat::dao

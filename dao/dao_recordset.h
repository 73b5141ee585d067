// A DAO recordset as a udb_recordset: on the .xls road the destination of one
// worksheet, filled by append_record (AddNew, Collect per field, Update). Its
// schema and indexes are read from DAO when it is built and do not change; a
// record must have exactly as many fields as the schema has columns.
#pragma once

#include "OLE/ole_ptr.h"
#include "OLE/ole_var.h"
#include "UDB/udb_recs.h"
#include "dao/dao_record.h"
#include "platform/dao/dao_interfaces.h"

#include <cstdint>
#include <memory>
#include <string>

class dao_database;

class dao_recordset : public udb_recordset {
public:
  // Over a table: its record count, schema and indexes come from `table`.
  dao_recordset(dao_database* owner, const std::wstring& name, DAORecordset* recordset, DAOTableDef* table);
  // Over a query: the count is the caller's, the schema comes from `query`.
  dao_recordset(dao_database* owner, const std::wstring& name, const std::wstring& sql,
                DAORecordset* recordset, DAOQueryDef* query, std::uint32_t record_count);
  ~dao_recordset() override;

  // One row. A field count other than the schema's: tk_exception level 0; a
  // value DAO refuses: dao_exception (a value too large for its cell is written
  // empty instead and the row goes on).
  void append_record(const udb_record& record, std::uint32_t count) override;
  udb_record* get_item() override;
  bool is_eof() override;
  void next() override;
  void prev() override;
  void reset() override;

private:
  void init_schema(DAOTableDef* table);
  void init_schema(DAOQueryDef* query);
  void init_indexes(DAOTableDef* table);
  void put_value(const t_ftd& column, const udb_field& field);

  VARIANT_BOOL eof_ = VARIANT_FALSE;
  std::unique_ptr<dao_record> current_;
  ole_com_ptr<DAORecordset> recordset_;
  ole_com_ptr<DAOTableDef> table_;
  ole_com_ptr<DAOQueryDef> query_;
};

// The value as DAO takes it: 64-bit and unsigned 32-bit integers as doubles,
// unsigned 16-bit as 32-bit, signed 8-bit as 16-bit; VT_EMPTY for any other type.
ole_variant dao_get_valid_variant(const ole_variant& value);

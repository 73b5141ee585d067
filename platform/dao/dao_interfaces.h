// The DAO objects as the system calls them: reference-counted interfaces whose
// every member returns an HRESULT. A failure is 0x800A0000 | the DAO error
// number and leaves that number and its description in DBEngine.Errors(0); a
// success always fills its out-parameter (a counted object, or an initialised
// VARIANT). "In" VARIANTs and BSTRs stay the caller's.
#pragma once

#include "platform/oleaut/iunknown.h"
#include "platform/oleaut/variant.h"

#include <cstdint>

// Collection members are reached with Item(VARIANT): a position (VT_I2, VT_UI2,
// VT_I4 and the other integer kinds) or a name (VT_BSTR, compared ignoring
// case). Booleans read back as VARIANT_TRUE or VARIANT_FALSE; any non-zero
// value written counts as true. Optional VARIANT arguments may be VT_EMPTY, or
// VT_ERROR with DISP_E_PARAMNOTFOUND, to mean "left out".

struct DAOError : IUnknown {
  static constexpr IID iid = {0xD40A0001, 0x7156, 0x4B5E, {0x9A, 0x31, 0x51, 0xC0, 0xDA, 0x0D, 0xA0, 0x01}};
  virtual HRESULT get_Number(LONG* number) = 0;
  virtual HRESULT get_Description(BSTR* description) = 0;
};

struct DAOErrors : IUnknown {
  static constexpr IID iid = {0xD40A0002, 0x7156, 0x4B5E, {0x9A, 0x31, 0x51, 0xC0, 0xDA, 0x0D, 0xA0, 0x02}};
  virtual HRESULT get_Count(short* count) = 0;
  virtual HRESULT get_Item(VARIANT item, DAOError** error) = 0;
};

struct DAOProperty : IUnknown {
  static constexpr IID iid = {0xD40A0003, 0x7156, 0x4B5E, {0x9A, 0x31, 0x51, 0xC0, 0xDA, 0x0D, 0xA0, 0x03}};
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT get_Value(VARIANT* value) = 0;
};

struct DAOProperties : IUnknown {
  static constexpr IID iid = {0xD40A0004, 0x7156, 0x4B5E, {0x9A, 0x31, 0x51, 0xC0, 0xDA, 0x0D, 0xA0, 0x04}};
  virtual HRESULT get_Count(short* count) = 0;
  // An unknown name: DAO error 3270.
  virtual HRESULT get_Item(VARIANT item, DAOProperty** property) = 0;
};

struct DAOField : IUnknown {
  static constexpr IID iid = {0xD40A0005, 0x7156, 0x4B5E, {0x9A, 0x31, 0x51, 0xC0, 0xDA, 0x0D, 0xA0, 0x05}};
  virtual HRESULT get_Properties(DAOProperties** properties) = 0;
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT put_Name(BSTR name) = 0;
  virtual HRESULT get_Type(short* type) = 0;
  virtual HRESULT put_Type(short type) = 0;
  virtual HRESULT get_Size(LONG* size) = 0;
  virtual HRESULT put_Size(LONG size) = 0;
  virtual HRESULT get_Required(VARIANT_BOOL* required) = 0;
  virtual HRESULT put_Required(VARIANT_BOOL required) = 0;
  virtual HRESULT get_AllowZeroLength(VARIANT_BOOL* allow) = 0;
  virtual HRESULT put_AllowZeroLength(VARIANT_BOOL allow) = 0;
  // Held as text, as an expression is: a value written is read back as VT_BSTR.
  virtual HRESULT get_DefaultValue(VARIANT* value) = 0;
  virtual HRESULT put_DefaultValue(VARIANT value) = 0;
  virtual HRESULT get_Attributes(LONG* attributes) = 0;
  virtual HRESULT put_Attributes(LONG attributes) = 0;
  // A field of a recordset: the value of the row being added. A definition
  // field has none (DAO error 3219, the out-value VT_EMPTY).
  virtual HRESULT get_Value(VARIANT* value) = 0;
  virtual HRESULT put_Value(VARIANT value) = 0;
  virtual HRESULT get_ForeignName(BSTR* name) = 0;
  virtual HRESULT put_ForeignName(BSTR name) = 0;
};

struct DAOFields : IUnknown {
  static constexpr IID iid = {0xD40A0006, 0x7156, 0x4B5E, {0x9A, 0x31, 0x51, 0xC0, 0xDA, 0x0D, 0xA0, 0x06}};
  virtual HRESULT get_Count(short* count) = 0;
  virtual HRESULT get_Item(VARIANT item, DAOField** field) = 0;
  // `field` is a DAOField made by this engine's CreateField.
  virtual HRESULT Append(IUnknown* field) = 0;
};

// The fields of an index; Item gives a VARIANT holding the field (VT_DISPATCH),
// which answers DAOField.
struct DAOIndexFields : IUnknown {
  static constexpr IID iid = {0xD40A0007, 0x7156, 0x4B5E, {0x9A, 0x31, 0x51, 0xC0, 0xDA, 0x0D, 0xA0, 0x07}};
  virtual HRESULT get_Count(short* count) = 0;
  virtual HRESULT get_Item(VARIANT item, VARIANT* field) = 0;
  virtual HRESULT Append(IUnknown* field) = 0;
};

struct DAOIndex : IUnknown {
  static constexpr IID iid = {0xD40A0008, 0x7156, 0x4B5E, {0x9A, 0x31, 0x51, 0xC0, 0xDA, 0x0D, 0xA0, 0x08}};
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT put_Name(BSTR name) = 0;
  virtual HRESULT get_Primary(VARIANT_BOOL* primary) = 0;
  virtual HRESULT put_Primary(VARIANT_BOOL primary) = 0;
  virtual HRESULT get_Unique(VARIANT_BOOL* unique) = 0;
  virtual HRESULT put_Unique(VARIANT_BOOL unique) = 0;
  virtual HRESULT get_Foreign(VARIANT_BOOL* foreign) = 0;
  // A VARIANT holding the index's DAOIndexFields (VT_DISPATCH).
  virtual HRESULT get_Fields(VARIANT* fields) = 0;
  virtual HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, DAOField** field) = 0;
};

struct DAOIndexes : IUnknown {
  static constexpr IID iid = {0xD40A0009, 0x7156, 0x4B5E, {0x9A, 0x31, 0x51, 0xC0, 0xDA, 0x0D, 0xA0, 0x09}};
  virtual HRESULT get_Count(short* count) = 0;
  virtual HRESULT get_Item(VARIANT item, DAOIndex** index) = 0;
  virtual HRESULT Append(IUnknown* index) = 0;
};

struct DAORecordset : IUnknown {
  static constexpr IID iid = {0x00000031, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_BOF(VARIANT_BOOL* bof) = 0;
  virtual HRESULT get_EOF(VARIANT_BOOL* eof) = 0;
  virtual HRESULT get_RecordCount(LONG* count) = 0;
  virtual HRESULT get_Fields(DAOFields** fields) = 0;
  // `item` names a field (VT_BSTR, ignoring case) or gives its position.
  virtual HRESULT get_Collect(VARIANT item, VARIANT* value) = 0;
  virtual HRESULT put_Collect(VARIANT item, VARIANT value) = 0;
  // Starts a new row; a row still pending is dropped.
  virtual HRESULT AddNew() = 0;
  // `type` 1 (dbUpdateRegular) writes the pending row; `force` is not used.
  virtual HRESULT Update(LONG type, VARIANT_BOOL force) = 0;
  virtual HRESULT CancelUpdate() = 0;
  virtual HRESULT MoveFirst() = 0;
  virtual HRESULT MoveNext() = 0;
  virtual HRESULT MovePrevious() = 0;
  virtual HRESULT MoveLast() = 0;
  // Drops a pending row; every later call fails with DAO error 3420.
  virtual HRESULT Close() = 0;
};

struct DAOTableDef : IUnknown {
  static constexpr IID iid = {0xD40A000A, 0x7156, 0x4B5E, {0x9A, 0x31, 0x51, 0xC0, 0xDA, 0x0D, 0xA0, 0x0A}};
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT put_Name(BSTR name) = 0;
  // 0x40000000 linked, 0x80000002 system object; a worksheet's are 0.
  virtual HRESULT get_Attributes(LONG* attributes) = 0;
  virtual HRESULT put_Attributes(LONG attributes) = 0;
  virtual HRESULT get_RecordCount(LONG* count) = 0;
  virtual HRESULT get_Fields(DAOFields** fields) = 0;
  virtual HRESULT get_Indexes(DAOIndexes** indexes) = 0;
  virtual HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, DAOField** field) = 0;
  virtual HRESULT CreateIndex(VARIANT name, DAOIndex** index) = 0;
};

struct DAOTableDefs : IUnknown {
  static constexpr IID iid = {0xD40A000B, 0x7156, 0x4B5E, {0x9A, 0x31, 0x51, 0xC0, 0xDA, 0x0D, 0xA0, 0x0B}};
  virtual HRESULT get_Count(short* count) = 0;
  virtual HRESULT get_Item(VARIANT item, DAOTableDef** table) = 0;
  // `table` is a DAOTableDef from this database's CreateTableDef.
  virtual HRESULT Append(IUnknown* table) = 0;
  virtual HRESULT Delete(BSTR name) = 0;
};

struct DAOQueryDef : IUnknown {
  static constexpr IID iid = {0xD40A000C, 0x7156, 0x4B5E, {0x9A, 0x31, 0x51, 0xC0, 0xDA, 0x0D, 0xA0, 0x0C}};
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT get_SQL(BSTR* sql) = 0;
  virtual HRESULT put_SQL(BSTR sql) = 0;
  virtual HRESULT get_Fields(DAOFields** fields) = 0;
  // `type` 2 (dbOpenDynaset) or left out; `options` a sum of 1 (deny write),
  // 4 (read-only) and 8 (append-only).
  virtual HRESULT OpenRecordset(VARIANT type, VARIANT options, DAORecordset** recordset) = 0;
  virtual HRESULT Close() = 0;
};

struct DAOQueryDefs : IUnknown {
  static constexpr IID iid = {0xD40A000D, 0x7156, 0x4B5E, {0x9A, 0x31, 0x51, 0xC0, 0xDA, 0x0D, 0xA0, 0x0D}};
  virtual HRESULT get_Count(short* count) = 0;
  virtual HRESULT get_Item(VARIANT item, DAOQueryDef** query) = 0;
  virtual HRESULT Append(IUnknown* query) = 0;
};

struct DAORelation : IUnknown {
  static constexpr IID iid = {0xD40A000E, 0x7156, 0x4B5E, {0x9A, 0x31, 0x51, 0xC0, 0xDA, 0x0D, 0xA0, 0x0E}};
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT get_Table(BSTR* table) = 0;
  virtual HRESULT get_ForeignTable(BSTR* table) = 0;
  virtual HRESULT get_Attributes(LONG* attributes) = 0;
  virtual HRESULT get_Fields(DAOFields** fields) = 0;
  virtual HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, DAOField** field) = 0;
};

struct DAORelations : IUnknown {
  static constexpr IID iid = {0xD40A000F, 0x7156, 0x4B5E, {0x9A, 0x31, 0x51, 0xC0, 0xDA, 0x0D, 0xA0, 0x0F}};
  virtual HRESULT get_Count(short* count) = 0;
  virtual HRESULT get_Item(VARIANT item, DAORelation** relation) = 0;
  virtual HRESULT Append(IUnknown* relation) = 0;
};

struct DAODatabase : IUnknown {
  static constexpr IID iid = {0xD40A0010, 0x7156, 0x4B5E, {0x9A, 0x31, 0x51, 0xC0, 0xDA, 0x0D, 0xA0, 0x10}};
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT get_TableDefs(DAOTableDefs** tables) = 0;
  virtual HRESULT get_QueryDefs(DAOQueryDefs** queries) = 0;
  virtual HRESULT get_Relations(DAORelations** relations) = 0;
  // The table is not part of the database until TableDefs.Append.
  virtual HRESULT CreateTableDef(VARIANT name, VARIANT attributes, VARIANT source_table, VARIANT connect,
                                 DAOTableDef** table) = 0;
  // An empty name makes a temporary query, never stored.
  virtual HRESULT CreateQueryDef(VARIANT name, VARIANT sql, DAOQueryDef** query) = 0;
  virtual HRESULT CreateRelation(VARIANT name, VARIANT table, VARIANT foreign_table, VARIANT attributes,
                                 DAORelation** relation) = 0;
  // Writes the file and ends the session, also when writing fails (then the
  // previous file stays). Every later call fails with DAO error 3420.
  virtual HRESULT Close() = 0;
};

struct DAODBEngine : IUnknown {
  static constexpr IID iid = {0x00000021, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  // The errors of the last failed call of any object made from this engine.
  virtual HRESULT get_Errors(DAOErrors** errors) = 0;
  // `options` true: exclusive; `connect` "Excel 5.0;" or "Excel 8.0;" opens
  // (or, for a missing file, starts) a workbook.
  virtual HRESULT OpenDatabase(BSTR name, VARIANT options, VARIANT read_only, VARIANT connect,
                               DAODatabase** database) = 0;
  virtual HRESULT CreateDatabase(BSTR name, BSTR locale, VARIANT option, DAODatabase** database) = 0;
};

namespace plat::dao {

// DAO field types; each driver says which of them it takes.
inline constexpr short db_boolean = 1, db_byte = 2, db_integer = 3, db_long = 4, db_currency = 5,
                       db_single = 6, db_double = 7, db_date = 8, db_binary = 9, db_text = 10,
                       db_long_binary = 11, db_memo = 12, db_guid = 15, db_big_int = 16,
                       db_numeric = 19, db_decimal = 20, db_float = 21, db_time = 22;

// Arguments and attributes the system passes or tests.
inline constexpr short db_attachment = 101;
inline constexpr LONG db_fixed_field = 0x1, db_variable_field = 0x2, db_auto_incr_field = 0x10;
inline constexpr LONG db_attached_table = 0x40000000;
inline constexpr LONG db_system_object = static_cast<LONG>(0x80000002u);
inline constexpr short db_open_dynaset = 2;
inline constexpr LONG db_deny_write = 1, db_read_only = 4, db_append_only = 8;
inline constexpr LONG db_update_regular = 1;

// The HRESULT of DAO error `number`.
constexpr HRESULT dao_hresult(std::int32_t number)
{
  return static_cast<HRESULT>(0x800A0000u | (static_cast<std::uint32_t>(number) & 0xFFFFu));
}

} // namespace plat::dao

// Turns the columns of a source table into the fields of a new DAO table
// definition. The names are made acceptable to DAO and unique within the table
// ignoring case; the map of changed names is the validator's.
#pragma once

#include "OLE/ole_ptr.h"
#include "UDB/udb_schema.h"
#include "dao/dao_validators.h"
#include "platform/dao/dao_interfaces.h"

#include <string>

class dao_schema_initializer : public udb_schema {
public:
  // `table` is borrowed for the initializer's life.
  dao_schema_initializer(DAOTableDef* table, const udb_schema& source);

  // Creates and appends one field per column. ole_type_exception for a type
  // without a DAO field; dao_exception when DAO refuses.
  void initialize();

  // The text as a quoted default: "text", else 'text', else "text" with its
  // double quotes turned into single ones.
  static std::wstring quote_def_value(const std::wstring& text);

  const dao_fn_validator& get_validator() const { return validator_; }

private:
  void put_default(DAOField& field, const t_ftd& column);

  DAOTableDef* table_;
  dao_fn_validator validator_;
};

// The indexes of a new table, under names DAO accepts and over the columns'
// DAO names. An index of more than 10 fields, or over a column DAO cannot
// index (binary data, text longer than 255), is left out; at most 32 are made.
// The fields collection of a new index, as DAO hands it out inside a VARIANT;
// dao_exception when DAO refuses it.
ole_com_ptr<DAOIndexFields> dao_index_fields(DAOIndex& index);

class dao_indexes_initializer {
public:
  // Prepares the indexes; `schema` (borrowed) gives the columns and the map of
  // their changed names.
  dao_indexes_initializer(DAOTableDef* table, const dao_schema_initializer& schema,
                          const udb_indexes& indexes);
  // Creates the prepared indexes in the table definition.
  void initialize();

  static constexpr std::size_t max_fields = 10, max_indexes = 32;

private:
  DAOTableDef* table_;
  udb_indexes prepared_;
  dao_in_validator validator_;
  const dao_schema_initializer& columns_;
};

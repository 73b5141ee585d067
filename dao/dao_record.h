// One row of a DAO recordset (dao_record) as fields read from DAO (dao_field),
// and the maps between DAO field types and VARTYPEs.
#pragma once

#include "OLE/ole_ptr.h"
#include "UDB/udb_field.h"
#include "platform/dao/dao_interfaces.h"

#include <cstdint>
#include <string>

struct t_ftd;

class dao_field : public udb_field {
public:
  // Name, size, flags and value of the DAO field (null is an internal error).
  explicit dao_field(DAOField* field);

  // The value's type; for an empty value the type of the DAO field.
  VARTYPE get_type() const override;
  // The date 1899-12-30 (no date) prints as "0000-00-00", or "00:00:00" alone.
  std::string to_string() const override;
  std::wstring to_wstring() const override;

  // The DAO field type a column gets; ole_type_exception for a VARTYPE
  // without one.
  static std::int32_t get_native_type(const t_ftd& column);
  // The VARTYPE of a DAO field type.
  static VARTYPE get_vartype(std::int32_t dao_type);

private:
  template <class Text>
  Text without_fake_date(Text text) const;

  ole_com_ptr<DAOField> field_;
  std::int32_t dao_type_ = 0;
};

class dao_record : public udb_record {
public:
  // One dao_field per member of `fields` (null is an internal error).
  explicit dao_record(DAOFields* fields);
  ~dao_record() override;

private:
  ole_com_ptr<DAOFields> fields_;
};

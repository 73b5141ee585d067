// The naming rules of DAO targets: column names (dao_fn_validator, seeded with
// the source's column names) and index names (dao_in_validator, seeded with
// the source's index names). A name never starts or ends with a blank and holds
// none of ` ! [ ] . / ' (index names no ':' either); there is no length limit.
#pragma once

#include "UDB/udb_index.h"
#include "UDB/udb_vali.h"

#include <string>

class udb_schema;

class dao_validator : public udb_validator {
public:
  dao_validator();

  // Not empty, no blank at either end, and the base's rules.
  bool is_acceptable(const std::wstring& name) const override;
  // Without [ and ], trimmed, then the base's lower-case and counter forms.
  std::wstring get_safe_name(const std::wstring& wanted) const override;
};

class dao_fn_validator : public dao_validator {
public:
  explicit dao_fn_validator(const udb_schema& columns);
};

class dao_in_validator : public dao_validator {
public:
  explicit dao_in_validator(const udb_indexes& indexes);
};

// The worksheet-name validator. The length limit makes the validator cut and
// number a long name itself, so two names that share their first 31 units can
// never become one sheet title after the workbook writer's cut.
#include "dao/xls_tn_validator.h"

#include "TK/tk_log.h"
#include "platform/case_fold.h"

xls_tn_validator::xls_tn_validator(const std::vector<std::wstring>& first,
                                   const std::vector<std::wstring>& second)
    : udb_validator(max_title_units)
{
  tk_log_message(2, "xls_tn_validator::ctor");
  for (const wchar_t c : {L'\\', L'?', L'*', L':', L'$', L'[', L']', L'/', L'\''})
    add_illegal_char(c);
  for (const std::wstring& name : first)
    add_existing_name(name);
  for (const std::wstring& name : second)
    add_existing_name(name);
}

bool xls_tn_validator::same_name(const std::wstring& a, const std::wstring& b) const
{
  return plat::equal_in_any_case(a, b);
}

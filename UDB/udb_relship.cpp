// Foreign-key records and the naming of relationships that arrive without a name.
// Generated names never collide, ignoring case, with a name already in the list.
#include "UDB/udb_relship.h"

#include "TK/tk_log.h"
#include "platform/case_fold.h"

#include <algorithm>
#include <array>

namespace {

std::wstring blanks_to_underscores(std::wstring text)
{
  std::replace(text.begin(), text.end(), L' ', L'_');
  return text;
}

} // namespace

udb_relationship::udb_relationship(const std::wstring& fk_name, const std::wstring& second,
                                   const std::wstring& fk_table_name,
                                   const std::wstring& pk_table_name,
                                   const std::vector<std::wstring>& fk_fields,
                                   const std::vector<std::wstring>& pk_fields,
                                   const std::wstring& rule_text)
    : name(fk_name),
      second_text(second),
      fk_table(fk_table_name),
      pk_table(pk_table_name),
      rule(rule_text),
      fk_flds(fk_fields),
      pk_flds(pk_fields)
{
}

udb_relationship::udb_relationship(const std::wstring& fk_table_name,
                                   const std::wstring& pk_table_name,
                                   const std::vector<std::wstring>& fk_fields,
                                   const std::vector<std::wstring>& pk_fields,
                                   const std::wstring& rule_text)
    : name(L"FK_" + blanks_to_underscores(pk_table_name) + L"_" +
           blanks_to_underscores(fk_table_name)),
      fk_table(fk_table_name),
      pk_table(pk_table_name),
      rule(rule_text),
      fk_flds(fk_fields),
      pk_flds(pk_fields)
{
}

udb_relationship::udb_relationship(const udb_relationship& that)
    : name(that.name),
      fk_table(that.fk_table),
      pk_table(that.pk_table),
      pk_schema(that.pk_schema),
      rule(that.rule),
      fk_flds(that.fk_flds),
      pk_flds(that.pk_flds)
{
  tk_log_message(2, "udb_relationship::copy ctor");
  tk_log_message(2, "that.fk_flds.size=%d, fk_flds.size=%d", that.fk_flds.size(), fk_flds.size());
  tk_log_message(2, "that.pk_flds.size=%d, pk_flds.size=%d", that.pk_flds.size(), pk_flds.size());
}

udb_relationship& udb_relationship::operator=(const udb_relationship& that)
{
  if (this != &that) {
    udb_relationship copy(that);
    *this = std::move(copy);
  }
  return *this;
}

std::wstring udb_relationships::gen_relship_name(const udb_relationship& relationship) const
{
  tk_log_message(1, "udb_relationships::gen_relship_name");
  static constexpr std::array<const wchar_t*, 6> pieces = {L"_", L"1", L"_", L"2", L"_", L"3"};
  std::wstring candidate = L"FK_" + relationship.pk_table + L"_" + relationship.fk_table;
  for (std::size_t next = 0; !is_acceptable_name(candidate); next = (next + 1) % pieces.size()) {
    tk_log_message(2, L"%s is not acceptable as a FK name", candidate);
    candidate += pieces[next];
  }
  return candidate;
}

bool udb_relationships::is_acceptable_name(const std::wstring& candidate) const
{
  tk_log_message(1, L"udb_relationships::is_acceptable_name(%s)", candidate);
  return std::none_of(begin(), end(), [&](const udb_relationship& r) {
    return plat::equal_no_case(r.name, candidate);
  });
}

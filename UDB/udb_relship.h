// Foreign keys as the engines read and write them. A relationship pairs the i-th
// foreign-key field with the i-th primary-key field; udb_relationships hands out
// "FK_" names that no relationship of the list bears, ignoring case.
#pragma once

#include <string>
#include <vector>

class udb_relationship {
public:
  udb_relationship(const std::wstring& fk_name, const std::wstring& second,
                   const std::wstring& fk_table_name, const std::wstring& pk_table_name,
                   const std::vector<std::wstring>& fk_fields,
                   const std::vector<std::wstring>& pk_fields, const std::wstring& rule_text);
  // Named "FK_<primary-key table>_<foreign-key table>", blanks turned into "_".
  udb_relationship(const std::wstring& fk_table_name, const std::wstring& pk_table_name,
                   const std::vector<std::wstring>& fk_fields,
                   const std::vector<std::wstring>& pk_fields, const std::wstring& rule_text);

  // A copy leaves the second text empty; moving (a list growing) keeps it.
  udb_relationship(const udb_relationship& that);
  udb_relationship& operator=(const udb_relationship& that);
  udb_relationship(udb_relationship&&) noexcept = default;
  udb_relationship& operator=(udb_relationship&&) noexcept = default;
  ~udb_relationship() = default;

  std::wstring name;         // the constraint name
  std::wstring second_text;  // stored only; this layer gives it no meaning
  std::wstring fk_table;     // the table that holds the referencing columns
  std::wstring pk_table;     // the referenced table
  // The referenced table's database when it is another than the one holding the
  // relationship, empty otherwise. Such a table is never one of a copy's own.
  std::wstring pk_schema;
  std::wstring rule;         // ON DELETE / ON UPDATE clauses, empty when none
  std::vector<std::wstring> fk_flds;
  std::vector<std::wstring> pk_flds;
};

class udb_relationships : public std::vector<udb_relationship> {
public:
  // "FK_<primary-key table>_<foreign-key table>", lengthened by "_", "1", "_",
  // "2", "_", "3", "_", "1", ... until no listed name equals it ignoring case.
  // The list is not changed.
  std::wstring gen_relship_name(const udb_relationship& relationship) const;
  // No listed relationship bears the name, ignoring case.
  bool is_acceptable_name(const std::wstring& name) const;
};

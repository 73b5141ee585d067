// The naming rules of a target: maximum length (UTF-16 units, 0 for none),
// illegal characters, restricted and existing names. get_safe_name turns a wanted
// name into one that is acceptable and not yet taken; derived validators replace
// is_acceptable and get_safe_name for their target and call the base as they need.
#pragma once

#include "UDB/udb_names_map.h"

#include <cstdint>
#include <string>
#include <vector>

class udb_validator {
public:
  explicit udb_validator(std::uint32_t max_length);
  virtual ~udb_validator() = default;
  udb_validator(const udb_validator&) = default;
  udb_validator& operator=(const udb_validator&) = default;
  udb_validator(udb_validator&&) = default;
  udb_validator& operator=(udb_validator&&) = default;

  // Not too long, not a restricted name (same_name), no illegal character.
  // Existing names play no part; the empty name passes.
  virtual bool is_acceptable(const std::wstring& name) const;
  // The same name (same_name) as an existing one.
  virtual bool is_duplicated(const std::wstring& name) const;
  // Whether two names are one name on the target: equal ignoring case, unless
  // the target holds a wider rule.
  virtual bool same_name(const std::wstring& a, const std::wstring& b) const;
  // The wanted name lower-cased (A to Z), cut and cleaned, or failing that the
  // shortest counter form "<name>00000" ... "<name>99999" that is acceptable and
  // not duplicated. The result is not recorded: callers add it themselves.
  virtual std::wstring get_safe_name(const std::wstring& wanted) const;

  void add_existing_name(const std::wstring& name);
  void add_mapped_pair(const std::wstring& source, const std::wstring& generated);
  void add_restricted_name(const std::wstring& name) { restricted_names_.push_back(name); }
  void add_illegal_char(wchar_t c) { illegal_chars_.push_back(c); }

  std::uint32_t get_max_length() const { return max_length_; }
  const t_names_map& get_mapped_pairs() const { return mapped_pairs_; }
  const std::vector<wchar_t>& get_illegal_chars() const { return illegal_chars_; }
  const std::vector<std::wstring>& get_restricted_names() const { return restricted_names_; }
  const std::vector<std::wstring>& get_existing_names() const { return existing_names_; }

private:
  std::uint32_t max_length_;
  t_names_map mapped_pairs_;
  std::vector<wchar_t> illegal_chars_;
  std::vector<std::wstring> restricted_names_;
  std::vector<std::wstring> existing_names_;
};

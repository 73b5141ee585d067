// The hook for pluggable per-column conversion rules. The registry is a
// process-wide singleton that no program of the system creates; without it every
// test answers false and every handler gives the empty text, so the writers take
// their own route.
#pragma once

#include "TK/tk_singl.h"

#include <memory>
#include <string>
#include <vector>

struct t_ftd;
class ole_variant;

// One conversion rule: whether it takes a column or a value, and its text for it.
class udb_conversion_rule {
public:
  virtual ~udb_conversion_rule() = default;
  virtual bool accepts(const t_ftd& column) const = 0;
  virtual bool accepts(const ole_variant& value) const = 0;
  virtual std::wstring handle(const t_ftd& column) const = 0;
  virtual std::wstring handle(const ole_variant& value) const = 0;
};

class udb_custom_conversion : public tk_singleton<udb_custom_conversion> {
public:
  udb_custom_conversion() = default;
  ~udb_custom_conversion() override = default;

  void add_rule(std::unique_ptr<udb_conversion_rule> rule);

  // Some rule of the registry accepts the column (1) or the value (2).
  static bool is_acceptable1(const t_ftd& column);
  static bool is_acceptable2(const ole_variant& value);
  // The text of the first rule that accepts it; empty when none does.
  static std::wstring handle1(const t_ftd& column);
  static std::wstring handle2(const ole_variant& value);

private:
  template <class T>
  static const udb_conversion_rule* first_taker(const T& item);

  std::vector<std::unique_ptr<udb_conversion_rule>> rules_;
};

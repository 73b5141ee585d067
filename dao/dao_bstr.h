// One BSTR argument or out-parameter of one DAO call. The holder owns the
// string from construction (or from the call that fills it) to its end, so no
// path out of a call leaks it.
#pragma once

#include "platform/oleaut/bstr.h"

#include <string>

class dao_bstr {
public:
  // Holds no string: to be filled through address().
  dao_bstr() = default;
  // The UTF-8 text as UTF-16.
  explicit dao_bstr(const std::string& text);
  // Every character kept, embedded NULs too.
  explicit dao_bstr(const std::wstring& text);
  virtual ~dao_bstr();
  dao_bstr(const dao_bstr&) = delete;
  dao_bstr& operator=(const dao_bstr&) = delete;

  // The string, still owned by the holder.
  operator BSTR() const;
  // For an out-parameter; whatever was held is freed first.
  BSTR* address();
  std::wstring to_wstring() const;

private:
  BSTR value_ = nullptr;
};

// Helpers shared by the value-type tests: a process locale whose decimal mark is
// "," for the span of a test, and the bytes and texts of values, read back.
#pragma once

#include "OLE/ole_var.h"

#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <string>
#include <vector>

namespace ole_var_test {

// Switches the C and C++ global locales to German for its lifetime; the C
// library then reads and writes "12,5".
class german_locale {
public:
  german_locale()
  {
    previous_ = std::setlocale(LC_ALL, nullptr);
    active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    if (active_)
      previous_cpp_ = std::locale::global(std::locale("de_DE.UTF-8"));
  }
  ~german_locale()
  {
    if (active_)
      std::locale::global(previous_cpp_);
    std::setlocale(LC_ALL, previous_.c_str());
  }
  german_locale(const german_locale&) = delete;
  german_locale& operator=(const german_locale&) = delete;

  bool active() const { return active_; }

private:
  std::string previous_;
  std::locale previous_cpp_;
  bool active_ = false;
};

inline std::vector<unsigned char> bytes_of(const ole_variant& value)
{
  const unsigned char* data = nullptr;
  std::string storage;
  const auto count = value.get_bytes(data, storage);
  return count == 0 ? std::vector<unsigned char>() : std::vector<unsigned char>(data, data + count);
}

inline DECIMAL decimal_of(const wchar_t* text)
{
  DECIMAL value{};
  EXPECT_EQ(VarDecFromStr(text, 1033, 0, &value), S_OK) << "decimal text";
  return value;
}

// A value of a type that no constructor makes (VT_NULL, VT_INT, VT_UINT ...).
inline ole_variant raw_value(VARTYPE type, long long bits = 0)
{
  VARIANT raw{};
  raw.vt = type;
  raw.llVal = bits;
  ole_variant value;
  value.attach_variant(raw);
  return value;
}

} // namespace ole_var_test

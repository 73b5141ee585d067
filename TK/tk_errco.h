// Error codes to message texts, filled from static tables that the subsystems
// describing the errors own. The first text given for a code wins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

struct tk_error_entry {
  std::uint32_t code;
  const char* text;
};

class tk_error_converter {
public:
  tk_error_converter(std::size_t count, const tk_error_entry* table);

  void load_map(std::size_t count, const tk_error_entry* table);
  // The text registered for the code, or an empty text.
  std::string convert(std::uint32_t code) const;

private:
  std::map<std::uint32_t, std::string> map_;
};

// Finds a GUID in a text: the bare 36 characters, the same in braces, or after
// the word guid followed by a brace. A valid extractor always has 36 hexadecimal
// digits and dashes at its position, so the GUID can be quoted as it stands.
#pragma once

#include <cstdint>
#include <string>

class ole_guid_extractor {
public:
  explicit ole_guid_extractor(const std::string& text);
  explicit ole_guid_extractor(const std::wstring& text);

  bool is_valid() const { return valid_; }
  // Index of the GUID's first character in the trimmed text; -1 when none was found.
  std::int32_t get_position() const { return position_; }
  // The 36 characters, or an empty text when no GUID was found.
  std::string get_guid() const;
  void get_guid(std::wstring& guid) const;

private:
  void parse(const std::wstring& text);

  std::int32_t position_ = -1;
  std::wstring text_;
  bool valid_ = false;
};

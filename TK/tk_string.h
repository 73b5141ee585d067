// Narrow and wide strings with the few extra operations the engines, the value
// types and the profile file share, and the free text helpers (trimming,
// splitting, suffix tests, hexadecimal text). Trimming removes blanks only.
#pragma once

#include <string>
#include <vector>

class tk_string : public std::string {
public:
  tk_string() = default;
  tk_string(const std::string& text) : std::string(text) {}

  // Replaces every occurrence, left to right, resuming after each inserted
  // replacement; changes the object and returns a copy of the result.
  std::string replace_all(const std::string& from, const std::string& to);
  // Equal ignoring case over full Unicode, whatever the process locale.
  static bool compare_no_case(const std::string& a, const std::string& b);
};

class tk_wstring : public std::wstring {
public:
  tk_wstring() = default;
  tk_wstring(const std::wstring& text) : std::wstring(text) {}

  std::wstring replace_all(const std::wstring& from, const std::wstring& to);
  // Lowers the ASCII letters A-Z only, in place; returns a copy.
  std::wstring to_lower();
};

bool tk_wstring_ends_with(const std::wstring& text, const std::wstring& suffix, bool exact);

std::string tk_rtrim(const std::string& text);
std::wstring tk_rtrim(const std::wstring& text);
std::string tk_trim(const std::string& text);
std::wstring tk_trim(const std::wstring& text);

std::vector<std::string> tk_split(const std::string& text, char delimiter);

// Two upper-case hexadecimal digits per byte and a terminator; out must hold
// 2 * count + 1 characters.
void tk_bytes_to_hex(unsigned count, const unsigned char* bytes, char* out);
void tk_bytes_to_hex(unsigned count, const unsigned char* bytes, wchar_t* out);

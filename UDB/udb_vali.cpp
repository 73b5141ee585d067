// The base naming rules shared by every target. Lengths count UTF-16 units and a
// cut never splits a character; names compare ignoring case over all of Unicode.
#include "UDB/udb_vali.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_string.h"
#include "platform/case_fold.h"
#include "base/format.h"
#include "platform/text_codec.h"

#include <algorithm>

namespace {

constexpr int counter_limit = 100000;  // five decimal digits

} // namespace

udb_validator::udb_validator(std::uint32_t max_length) : max_length_(max_length)
{
  tk_log_message(2, "udb_validator::ctor");
}

void udb_validator::add_existing_name(const std::wstring& name)
{
  tk_log_message(1, L"udb_validator::add_existing_name(%s)", name);
  existing_names_.push_back(name);
}

void udb_validator::add_mapped_pair(const std::wstring& source, const std::wstring& generated)
{
  tk_log_message(1, L"udb_validator::add_mapped_pair(%s,%s)", source, generated);
  mapped_pairs_.add(source, generated);
}

bool udb_validator::is_acceptable(const std::wstring& name) const
{
  tk_log_message(2, L"udb_validator::is_acceptable(%s)", name);
  if (max_length_ != 0 && plat::utf16_length(name) > max_length_) {
    tk_log_message(1, "The name is too long");
    return false;
  }
  if (std::any_of(restricted_names_.begin(), restricted_names_.end(),
                  [&](const std::wstring& n) { return same_name(n, name); })) {
    tk_log_message(2, "The name is restricted");
    return false;
  }
  for (const wchar_t c : illegal_chars_) {
    if (name.find(c) != std::wstring::npos) {
      tk_log_message(2, L"The name contains illegal: %c", c);
      return false;
    }
  }
  return true;
}

bool udb_validator::is_duplicated(const std::wstring& name) const
{
  tk_log_message(2, L"udb_validator::is_duplicated(%s)", name);
  for (const std::wstring& existing : existing_names_) {
    tk_log_message(1, L"Processing %s", existing);
    if (same_name(existing, name)) {
      tk_log_message(2, "Name is duplicated");
      return true;
    }
  }
  return false;
}

bool udb_validator::same_name(const std::wstring& a, const std::wstring& b) const
{
  return plat::equal_no_case(a, b);
}

std::wstring udb_validator::get_safe_name(const std::wstring& wanted) const
{
  tk_log_message(1, L"udb_validator::get_safe_name(%s)", wanted);
  std::wstring name = tk_wstring(wanted).to_lower();
  const std::size_t limit = max_length_;
  if (limit != 0 && plat::utf16_length(name) > limit)
    name = plat::utf16_truncate(name, limit - 1);
  for (const wchar_t c : illegal_chars_)
    std::replace(name.begin(), name.end(), c, L'_');
  if (is_acceptable(name) && !is_duplicated(name))
    return name;

  // Room for the five digits; a limit below six leaves no room for the name.
  if (limit != 0 && plat::utf16_length(name) + 5 > limit)
    name = plat::utf16_truncate(name, limit >= 6 ? limit - 6 : 0);
  for (int n = 0; n < counter_limit; ++n) {
    std::wstring candidate = base::sprintf(L"%s%05d", name, n);
    if (is_acceptable(candidate) && !is_duplicated(candidate))
      return candidate;
  }
  throw tk_mail_assertion("udb_vali", 55);
}

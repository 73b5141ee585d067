// Registry settings over the platform's per-user settings store. Results are the
// system's codes; wrong use (null arguments, writes to a closed key) is an
// internal error, while a missing or unreadable value is an ordinary result.
#include "TK/tk_regk.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"

#include <algorithm>
#include <vector>

namespace {

// A null value name is the key's unnamed value, as the system has it.
std::string_view name_or_empty(const char* name) { return name ? std::string_view(name) : std::string_view(); }
std::wstring_view name_or_empty(const wchar_t* name) { return name ? std::wstring_view(name) : std::wstring_view(); }

} // namespace

tk_reg_key::~tk_reg_key() { close(); }

LONG tk_reg_key::create(plat::HKEY root, const char* subkey, const char* /*class_name*/, DWORD /*options*/,
                        DWORD /*access*/, const void* /*security*/, DWORD* disposition)
{
  if (root == nullptr)
    throw tk_mail_assertion("tk_regk", 64);
  if (subkey == nullptr)
    return plat::ERROR_INVALID_PARAMETER;
  plat::HKEY opened = nullptr;
  DWORD how = 0;
  const LONG result = plat::reg_create_key(root, subkey, opened, &how);
  if (result != plat::ERROR_SUCCESS)
    return result;
  if (disposition != nullptr)
    *disposition = how;
  const LONG closed = close();
  key_ = opened;
  return closed;
}

LONG tk_reg_key::close()
{
  if (key_ == nullptr)
    return plat::ERROR_SUCCESS;
  const LONG result = plat::reg_close_key(key_);
  key_ = nullptr;
  return result;
}

LONG tk_reg_key::get_value(DWORD& value, const char* name)
{
  if (name == nullptr)
    throw tk_mail_assertion("tk_regk", 98);
  tk_log_message(2, "tk_reg_key::get_value(ulong, %s)", name);
  const LONG result = plat::reg_query_dword(key_, name, value);
  const bool found = result == plat::ERROR_SUCCESS;
  tk_log_message(1, "type=%d, size=%d", found ? plat::REG_DWORD : 0u, found ? 4u : 0u);
  return result;
}

LONG tk_reg_key::get_value(char* data, const char* name, DWORD* size)
{
  if (size == nullptr)
    throw tk_mail_assertion("tk_regk", 115);
  if (name == nullptr)
    throw tk_mail_assertion("tk_regk", 116);
  tk_log_message(2, "tk_reg_key::get_value(LPSTR, %s)", name);
  const LONG result = plat::reg_query_text(key_, name, data, size);
  const bool found = result == plat::ERROR_SUCCESS || result == plat::ERROR_MORE_DATA;
  tk_log_message(1, "type=%d, size=%d", found ? plat::REG_SZ : 0u, found ? *size : 0u);
  return result;
}

LONG tk_reg_key::get_value(wchar_t* data, const wchar_t* name, DWORD* size)
{
  if (size == nullptr)
    throw tk_mail_assertion("tk_regk", 132);
  if (name == nullptr)
    throw tk_mail_assertion("tk_regk", 133);
  tk_log_message(2, L"tk_reg_key::get_value(LPWSTR, %s)", name);
  const LONG result = plat::reg_query_text(key_, std::wstring_view(name), data, size);
  const bool found = result == plat::ERROR_SUCCESS || result == plat::ERROR_MORE_DATA;
  tk_log_message(1, "type=%d, size=%d", found ? plat::REG_SZ : 0u, found ? *size : 0u);
  return result;
}

LONG tk_reg_key::set_value(DWORD value, const char* name)
{
  if (key_ == nullptr)
    throw tk_mail_assertion("tk_regk", 149);
  return plat::reg_set_dword(key_, name_or_empty(name), value);
}

LONG tk_reg_key::set_value(const char* data, const char* name)
{
  if (data == nullptr)
    throw tk_mail_assertion("tk_regk", 156);
  if (key_ == nullptr)
    throw tk_mail_assertion("tk_regk", 157);
  return plat::reg_set_text(key_, name_or_empty(name), std::string_view(data));
}

LONG tk_reg_key::set_value(const wchar_t* data, const wchar_t* name)
{
  if (data == nullptr)
    throw tk_mail_assertion("tk_regk", 164);
  if (key_ == nullptr)
    throw tk_mail_assertion("tk_regk", 165);
  return plat::reg_set_text(key_, name_or_empty(name), std::wstring_view(data));
}

tk_serializer::tk_serializer(const char* key_path) : key_path_(key_path ? key_path : "") {}

bool tk_serializer::serialize(const char* name, bool& value, bool store)
{
  DWORD number = value ? 1 : 0;
  if (!serialize(name, number, store))
    return false;
  value = number != 0;
  return true;
}

bool tk_serializer::serialize(const char* name, DWORD& value, bool store)
{
  if (!key_.is_open())
    return false;
  if (store)
    return key_.set_value(value, name) == plat::ERROR_SUCCESS;
  DWORD loaded = 0;
  if (key_.get_value(loaded, name) != plat::ERROR_SUCCESS)
    return false;
  value = loaded;
  return true;
}

// An empty stored text counts as missing: the caller's default (the port's
// "3306", say) must survive a value that was saved empty.
bool tk_serializer::serialize(const char* name, std::string& value, bool store)
{
  if (!key_.is_open())
    return false;
  if (store)
    return key_.set_value(value.c_str(), name) == plat::ERROR_SUCCESS;
  DWORD size = 0;
  if (key_.get_value(nullptr, name, &size) != plat::ERROR_SUCCESS || size <= 1)
    return false;
  std::vector<char> buffer(size);
  if (key_.get_value(buffer.data(), name, &size) != plat::ERROR_SUCCESS)
    return false;
  std::string loaded(buffer.data(), std::min<std::size_t>(size, buffer.size()));
  loaded.resize(loaded.find('\0') == std::string::npos ? loaded.size() : loaded.find('\0'));
  if (loaded.empty())
    return false;
  value = std::move(loaded);
  return true;
}

bool tk_serializer::serialize(const wchar_t* name, std::wstring& value, bool store)
{
  if (!key_.is_open())
    return false;
  if (store)
    return key_.set_value(value.c_str(), name) == plat::ERROR_SUCCESS;
  DWORD size = 0;
  if (key_.get_value(nullptr, name, &size) != plat::ERROR_SUCCESS || size <= sizeof(wchar_t))
    return false;
  std::vector<wchar_t> buffer(size / sizeof(wchar_t));
  if (key_.get_value(buffer.data(), name, &size) != plat::ERROR_SUCCESS)
    return false;
  std::wstring loaded(buffer.data(), std::min<std::size_t>(size / sizeof(wchar_t), buffer.size()));
  loaded.resize(loaded.find(L'\0') == std::wstring::npos ? loaded.size() : loaded.find(L'\0'));
  if (loaded.empty())
    return false;
  value = std::move(loaded);
  return true;
}

// Named settings under one registry key. tk_reg_key is an open key (or none) and
// reports failures by the system's result codes; tk_serializer loads or stores one
// typed value per call and leaves the caller's value untouched whenever nothing
// was loaded, so callers set their defaults first.
#pragma once

#include "platform/registry.h"

#include <string>

class tk_reg_key {
public:
  tk_reg_key() = default;
  ~tk_reg_key();
  tk_reg_key(const tk_reg_key&) = delete;
  tk_reg_key& operator=(const tk_reg_key&) = delete;

  // Opens or creates the subkey; on success closes the key held before and
  // returns the result of that close. The class, options, access and security
  // arguments have no meaning for the per-user settings file.
  LONG create(plat::HKEY root, const char* subkey, const char* class_name = nullptr, DWORD options = 0,
              DWORD access = plat::KEY_ALL_ACCESS, const void* security = nullptr,
              DWORD* disposition = nullptr);
  LONG close();
  bool is_open() const noexcept { return key_ != nullptr; }

  LONG get_value(DWORD& value, const char* name);
  // size is in bytes and counts the terminator; a null data asks for the size.
  LONG get_value(char* data, const char* name, DWORD* size);
  LONG get_value(wchar_t* data, const wchar_t* name, DWORD* size);

  LONG set_value(DWORD value, const char* name);
  LONG set_value(const char* data, const char* name);
  LONG set_value(const wchar_t* data, const wchar_t* name);

private:
  plat::HKEY key_ = nullptr;
};

class tk_serializer {
public:
  explicit tk_serializer(const char* key_path);

  // store true writes the value, false loads it; true when the value was written
  // or loaded. A closed key, a missing value, a value of another type, a failed
  // read and an empty stored text all give false and leave value as it was.
  bool serialize(const char* name, bool& value, bool store);
  bool serialize(const char* name, DWORD& value, bool store);
  bool serialize(const char* name, std::string& value, bool store);
  bool serialize(const wchar_t* name, std::wstring& value, bool store);

  tk_reg_key& get_reg_key() noexcept { return key_; }
  const std::string& get_key_path() const noexcept { return key_path_; }

private:
  tk_reg_key key_;
  std::string key_path_;
};

// The per-user registry stand-in: one text file per key, a value a line
// ("name"=dword:0000000a or "name"="text", with \\ \" \n \r \t and \xHH escapes).
// A handle is valid only while it is in the set of open keys, so a stale or forged
// handle gives ERROR_INVALID_HANDLE instead of touching freed memory.
#include "platform/registry.h"

#include "platform/files.h"

#include "platform/text_codec.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace plat {

struct reg_value {
  std::string name;
  DWORD type = REG_SZ;
  DWORD number = 0;
  std::string text;  // UTF-8
};

// What the process knows of one key's file; every open handle on the key shares
// it, so a value set through one handle is seen through all of them at once.
struct reg_key_state {
  std::string file;
  std::vector<reg_value> values;   // as read at the first open, with the changes
  std::vector<reg_value> changes;  // not yet written; merged into the file's state then
  int handles = 0;
};

struct reg_key {
  bool root = false;
  std::shared_ptr<reg_key_state> state;  // null for a root
};

namespace {

reg_key current_user_root{true, {}};

// Guards the handles, the shared key states and every read or write through them.
std::mutex registry_mutex;

std::set<const reg_key*>& open_keys()
{
  static std::set<const reg_key*> keys;
  return keys;
}

std::map<std::string, std::shared_ptr<reg_key_state>>& key_states()
{
  static std::map<std::string, std::shared_ptr<reg_key_state>> states;
  return states;
}

// The key's shared state, or null for a handle that is not open (a stale or
// forged one is only compared, never followed).
reg_key_state* state_of(HKEY key)
{
  if (key == nullptr || open_keys().count(key) == 0)
    return nullptr;
  return key->state.get();
}

bool same_name(std::string_view a, std::string_view b)
{
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z')
      x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z')
      y = static_cast<unsigned char>(y + 32);
    if (x != y)
      return false;
  }
  return true;
}

reg_value* find_value(std::vector<reg_value>& values, std::string_view name)
{
  for (auto& value : values)
    if (same_name(value.name, name))
      return &value;
  return nullptr;
}

void put_value(std::vector<reg_value>& values, const reg_value& value)
{
  if (reg_value* old = find_value(values, value.name))
    *old = value;
  else
    values.push_back(value);
}

// --- The file format -------------------------------------------------------

void append_quoted(std::string& out, std::string_view text)
{
  out += '"';
  for (const char c : text) {
    switch (c) {
    case '\\': out += "\\\\"; break;
    case '"': out += "\\\""; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    default:
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
        out += hex;
      } else {
        out += c;
      }
    }
  }
  out += '"';
}

int hex_digit(char c)
{
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// Reads a quoted text starting at pos (which must hold '"'); pos ends after the
// closing quote. False for anything malformed.
bool parse_quoted(std::string_view line, std::size_t& pos, std::string& out)
{
  if (pos >= line.size() || line[pos] != '"')
    return false;
  ++pos;
  out.clear();
  while (pos < line.size()) {
    const char c = line[pos++];
    if (c == '"')
      return true;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (pos >= line.size())
      return false;
    const char e = line[pos++];
    switch (e) {
    case '\\': out += '\\'; break;
    case '"': out += '"'; break;
    case 'n': out += '\n'; break;
    case 'r': out += '\r'; break;
    case 't': out += '\t'; break;
    case 'x': {
      if (pos + 2 > line.size())
        return false;
      const int hi = hex_digit(line[pos]);
      const int lo = hex_digit(line[pos + 1]);
      if (hi < 0 || lo < 0 || (hi == 0 && lo == 0))
        return false;
      out += static_cast<char>(hi * 16 + lo);
      pos += 2;
      break;
    }
    default: return false;
    }
  }
  return false;
}

bool parse_line(std::string_view line, reg_value& value)
{
  std::size_t pos = 0;
  if (!parse_quoted(line, pos, value.name))
    return false;
  if (pos >= line.size() || line[pos] != '=')
    return false;
  ++pos;
  const std::string_view rest = line.substr(pos);
  constexpr std::string_view dword_prefix = "dword:";
  if (rest.substr(0, dword_prefix.size()) == dword_prefix) {
    const std::string_view digits = rest.substr(dword_prefix.size());
    if (digits.size() != 8)
      return false;
    DWORD number = 0;
    for (const char c : digits) {
      const int d = hex_digit(c);
      if (d < 0)
        return false;
      number = number * 16 + static_cast<DWORD>(d);
    }
    value.type = REG_DWORD;
    value.number = number;
    value.text.clear();
    return true;
  }
  if (!parse_quoted(line, pos, value.text) || pos != line.size())
    return false;
  value.type = REG_SZ;
  value.number = 0;
  return true;
}

// A line that does not read as a value is skipped: a damaged file loses only what
// it damaged, and a file that is not ours at all reads as no values.
std::vector<reg_value> read_values(const std::string& file)
{
  std::vector<reg_value> values;
  std::ifstream in(file, std::ios::binary);
  if (!in)
    return values;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.empty() || line[0] == ';')
      continue;
    reg_value value;
    if (parse_line(line, value))
      put_value(values, value);
  }
  return values;
}

std::string format_values(const std::vector<reg_value>& values)
{
  std::string out = "; per-user settings, one value a line\n";
  for (const auto& value : values) {
    append_quoted(out, value.name);
    out += '=';
    if (value.type == REG_DWORD) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "dword:%08x", static_cast<unsigned>(value.number));
      out += hex;
    } else {
      append_quoted(out, value.text);
    }
    out += '\n';
  }
  return out;
}

LONG code_of(int error)
{
  return error == EACCES || error == EPERM || error == EROFS ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT;
}

LONG write_file_atomically(const std::string& file, const std::string& bytes)
{
  // Each missing folder of the file's path, private to the user.
  if (!make_folders(file.substr(0, file.rfind('/')), 0700))
    return code_of(errno);
  std::string pattern = file + ".XXXXXX";
  unique_fd out(::mkstemp(pattern.data()));
  if (!out.valid())
    return code_of(errno);
  bool ok = ::fchmod(out.get(), 0600) == 0 && write_all(out.get(), bytes) && ::fsync(out.get()) == 0;
  ok = out.close() && ok && ::rename(pattern.c_str(), file.c_str()) == 0;
  if (!ok) {
    const int error = errno;
    ::unlink(pattern.c_str());
    return code_of(error);
  }
  return ERROR_SUCCESS;
}

// Software\Vendor\Product -> <config home>/Vendor/Product; empty when the subkey
// cannot name a file safely.
std::string key_file(std::string_view subkey)
{
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = subkey.find('\\', start);
    parts.push_back(subkey.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos)
      break;
    start = end + 1;
  }
  if (!parts.empty() && same_name(parts.front(), "Software"))
    parts.erase(parts.begin());
  if (parts.empty())
    return {};
  std::string relative;
  for (const auto part : parts) {
    if (part.empty() || part == "." || part == ".." || part.find('/') != std::string_view::npos ||
        part.find('\0') != std::string_view::npos)
      return {};
    relative += '/';
    relative += part;
  }
  return relative;
}

// Copies the text out while the lock is held.
LONG query_text(HKEY key, std::string_view name, std::string& text)
{
  std::lock_guard lock(registry_mutex);
  reg_key_state* state = state_of(key);
  if (state == nullptr)
    return ERROR_INVALID_HANDLE;
  const reg_value* value = find_value(state->values, name);
  if (value == nullptr || value->type != REG_SZ)
    return ERROR_FILE_NOT_FOUND;
  text = value->text;
  return ERROR_SUCCESS;
}

LONG set_value(HKEY key, const reg_value& value)
{
  std::lock_guard lock(registry_mutex);
  reg_key_state* state = state_of(key);
  if (state == nullptr)
    return ERROR_INVALID_HANDLE;
  put_value(state->values, value);
  put_value(state->changes, value);
  return ERROR_SUCCESS;
}

// The text with its terminator into the caller's buffer, as RegQueryValueEx
// answers: *size becomes the bytes needed; a null buffer only asks for them.
template <class Char>
LONG copy_text_out(const std::basic_string<Char>& text, Char* data, DWORD* size)
{
  const std::size_t needed = (text.size() + 1) * sizeof(Char);
  if (needed > 0xFFFFFFFFu)
    return ERROR_MORE_DATA;
  const DWORD available = *size;
  *size = static_cast<DWORD>(needed);
  if (data == nullptr)
    return ERROR_SUCCESS;
  if (available < needed)
    return ERROR_MORE_DATA;
  std::memcpy(data, text.c_str(), needed);
  return ERROR_SUCCESS;
}

} // namespace

reg_key* const HKEY_CURRENT_USER = &current_user_root;

LONG reg_create_key(HKEY root, std::string_view subkey, HKEY& key, DWORD* disposition)
{
  if (root != HKEY_CURRENT_USER)
    return ERROR_INVALID_HANDLE;
  const std::string relative = key_file(subkey);
  if (relative.empty())
    return ERROR_INVALID_PARAMETER;
  const std::string home = xdg_base_folder("XDG_CONFIG_HOME", ".config");
  if (home.empty())
    return ERROR_PATH_NOT_FOUND;
  const std::string file = home + relative;

  std::lock_guard lock(registry_mutex);
  std::shared_ptr<reg_key_state>& state = key_states()[file];
  bool existed = state != nullptr;
  if (!existed) {
    struct stat info{};
    existed = ::stat(file.c_str(), &info) == 0;
    state = std::make_shared<reg_key_state>();
    state->file = file;
    state->values = read_values(file);
  }
  auto opened = std::make_unique<reg_key>(reg_key{false, state});
  ++state->handles;
  open_keys().insert(opened.get());
  if (disposition != nullptr)
    *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  key = opened.release();
  return ERROR_SUCCESS;
}

LONG reg_close_key(HKEY key)
{
  if (key == HKEY_CURRENT_USER)
    return ERROR_SUCCESS;
  std::lock_guard lock(registry_mutex);
  if (key == nullptr || open_keys().erase(key) == 0)
    return ERROR_INVALID_HANDLE;
  const std::unique_ptr<reg_key> closing(key);
  reg_key_state& state = *closing->state;
  if (--state.handles == 0)
    key_states().erase(state.file);
  if (state.changes.empty())
    return ERROR_SUCCESS;
  // Another process may have written since the key was read: only this
  // process's own changes go over what the file holds now.
  std::vector<reg_value> current = read_values(state.file);
  for (const auto& change : state.changes)
    put_value(current, change);
  const LONG written = write_file_atomically(state.file, format_values(current));
  if (written == ERROR_SUCCESS)
    state.changes.clear();
  return written;
}

LONG reg_query_dword(HKEY key, std::string_view name, DWORD& value)
{
  std::lock_guard lock(registry_mutex);
  reg_key_state* state = state_of(key);
  if (state == nullptr)
    return ERROR_INVALID_HANDLE;
  const reg_value* found = find_value(state->values, name);
  if (found == nullptr || found->type != REG_DWORD)
    return ERROR_FILE_NOT_FOUND;
  value = found->number;
  return ERROR_SUCCESS;
}

LONG reg_query_text(HKEY key, std::string_view name, char* data, DWORD* size)
{
  if (size == nullptr)
    return ERROR_INVALID_PARAMETER;
  std::string text;
  if (const LONG result = query_text(key, name, text); result != ERROR_SUCCESS)
    return result;
  return copy_text_out(text, data, size);
}

LONG reg_query_text(HKEY key, std::wstring_view name, wchar_t* data, DWORD* size)
{
  if (size == nullptr)
    return ERROR_INVALID_PARAMETER;
  std::string text;
  if (const LONG result = query_text(key, to_utf8(name), text); result != ERROR_SUCCESS)
    return result;
  // A narrow write may have stored bytes that are not UTF-8; they have no wide
  // form, and a wrong text is worse than the caller's default.
  std::wstring wide;
  if (!utf8_to_wide(text, wide))
    return ERROR_FILE_NOT_FOUND;
  return copy_text_out(wide, data, size);
}

LONG reg_set_dword(HKEY key, std::string_view name, DWORD value)
{
  return set_value(key, reg_value{std::string(name), REG_DWORD, value, {}});
}

LONG reg_set_text(HKEY key, std::string_view name, std::string_view text)
{
  // A stored text ends at its first terminator, as the system's texts do.
  return set_value(key, reg_value{std::string(name), REG_SZ, 0, std::string(text.substr(0, text.find('\0')))});
}

LONG reg_set_text(HKEY key, std::wstring_view name, std::wstring_view text)
{
  return set_value(key, reg_value{to_utf8(name), REG_SZ, 0, to_utf8(text.substr(0, text.find(L'\0')))});
}

} // namespace plat

// The connection values and their profile section. A port is read the way the C
// library's atol reads it (leading blanks, sign, digits up to the first other
// character), but a value no TCP port can have is refused instead of wrapping.
#include "common/mysql_conv.h"

#include "TK/tk_codepage.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_string.h"
#include "UDB/udb_db.h"

#include <cstdint>

namespace {

constexpr std::int64_t mysql_default_port = 3306;

// The number at the start of the text; 0 when it has no digits. Values beyond
// the port range stop counting there.
std::int64_t read_port(const std::string& text)
{
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 65536)
      value = 65536;
  }
  return negative ? -value : value;
}

// Empty: unchanged; "1": set; anything else: clear.
void read_flag(const std::wstring& value, bool& flag)
{
  if (!value.empty())
    flag = value == L"1";
}

const wchar_t* flag_text(bool flag) { return flag ? L"1" : L"0"; }

} // namespace

dump_options::dump_options()
{
  tk_log_message(2, "dump_options::ctor1");
}

mysql_converter_impl::mysql_converter_impl()
{
  tk_log_message(2, "mysql_converter_impl::ctor");
}

mysql_converter_impl::~mysql_converter_impl()
{
  tk_log_message(2, "mysql_converter_impl::dtor");
}

bool mysql_converter_impl::load_profile(const udb_profile& profile)
{
  tk_log_message(2, "mysql_converter_impl::load_profile");
  const auto value = [&](const wchar_t* key) { return profile.get_value(mysql_settings_section, key); };

  host = tk_wstring_to_utf8(value(L"host"));
  const std::wstring user_text = value(L"user");
  if (!user_text.empty())
    user = tk_wstring_to_utf8(user_text);
  password = tk_wstring_to_utf8(value(L"password"));
  const std::wstring port_text = value(L"port");
  if (!port_text.empty())
    port = tk_wstring_to_utf8(port_text);

  const std::wstring line_break = value(L"dump line break");
  if (!line_break.empty())
    dump.line_break = line_break == L"1" ? 1 : 0;
  read_flag(value(L"dump new version"), dump.new_version);
  read_flag(value(L"dump add lock to insert"), dump.add_lock_to_insert);
  read_flag(value(L"dump insert comments"), dump.insert_comments);
  read_flag(value(L"dump create database"), dump.create_database);
  read_flag(value(L"dump create table"), dump.create_table);
  return true;
}

bool mysql_converter_impl::store_profile(udb_profile& profile) const
{
  tk_log_message(2, "mysql_converter_impl::store_profile");
  const auto set = [&](const wchar_t* key, const std::wstring& text) {
    profile.set_value(mysql_settings_section, key, text);
  };
  set(L"host", tk_utf8_to_wstring(host));
  set(L"user", tk_utf8_to_wstring(user));
  set(L"password", tk_utf8_to_wstring(password));
  set(L"port", tk_utf8_to_wstring(port));
  set(L"dump line break", dump.line_break == 1 ? L"1" : L"0");
  set(L"dump new version", flag_text(dump.new_version));
  set(L"dump add lock to insert", flag_text(dump.add_lock_to_insert));
  set(L"dump insert comments", flag_text(dump.insert_comments));
  set(L"dump create database", flag_text(dump.create_database));
  set(L"dump create table", flag_text(dump.create_table));
  return true;
}

void mysql_converter_impl::store_mysql_settings(const std::string& host_, const std::string& user_,
                                                const std::string& password_,
                                                const std::string& port_)
{
  // The password stays out of the log.
  tk_log_message(2, "mysql_converter_impl::store_mysql_settings(%s,%s,%s)", host_, user_, port_);
  user = tk_trim(user_);
  password = tk_trim(password_);
  host = tk_trim(host_);
  port = tk_trim(port_);
  if (port.empty())
    port = "3306";
}

void mysql_converter_impl::connect_mysql_server()
{
  tk_log_message(2, "mysql_converter_impl::connect_mysql_server");
  const std::int64_t number = read_port(port);
  if (number < 1 || number > 65535)
    throw tk_exception("Invalid port number", tk_level_error);
  // Left out, the host is the local server: through its socket on the default
  // port, over TCP on any other port, which the socket could not honour.
  const bool local_tcp = host.empty() && number != mysql_default_port;
  engine.connect(local_tcp ? std::string("127.0.0.1") : host, user, password,
                 static_cast<int>(number));
}

bool mysql_converter_impl::test_query(const std::wstring& database, const std::wstring& sql)
{
  tk_log_message(2, L"mysql_converter_impl::test_query(%s)", database);
  try {
    const std::unique_ptr<udb_database> opened = engine.open_db(database, 1, L"");
    return opened->test_query(sql);
  } catch (...) {
    return false;
  }
}

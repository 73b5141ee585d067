#include "TK/tk_exception.h"

#include "TK/tk_log.h"
#include "platform/process.h"
#include "platform/text_codec.h"

namespace {
const char* const unknown_exception = "Unknown exception";
}

tk_exception::tk_exception(const std::string& message, std::uint32_t level)
    : message_(message.empty() ? unknown_exception : message), level_(level)
{
}

tk_exception::tk_exception(const std::wstring& message, std::uint32_t level)
    : message_(plat::to_utf8(message)), level_(level)
{
}

tk_exception::tk_exception(std::uint32_t level) : message_(unknown_exception), level_(level)
{
}

tk_exception_ex::tk_exception_ex() : tk_exception(tk_level_error)
{
  get_last_error_text(std::string());
}

tk_exception_ex::tk_exception_ex(const std::string& prefix, std::uint32_t level)
    : tk_exception(level)
{
  get_last_error_text(prefix);
}

void tk_exception_ex::get_last_error_text(const std::string& prefix)
{
  const int code = plat::last_error();
  set_code(static_cast<std::uint32_t>(code));
  const std::string text = plat::error_text(code);
  if (text.empty())
    return;
  set_message(prefix + text);
  tk_log_message(2, "GetLastError: %s", text);
}

std::string make_err_meggase(const char* source_file, int line)
{
  tk_log_message(2, "make_err_meggase(%s, %d)", source_file ? source_file : "", line);
  const std::string located =
    std::string(source_file ? source_file : "") + "\\" + std::to_string(line);
  tk_log_message(2, "result=%s", located);
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(located.size() * 2);
  for (const char c : located) {
    const auto byte = static_cast<unsigned char>(c);
    hex.push_back(digits[byte >> 4]);
    hex.push_back(digits[byte & 0x0F]);
  }
  return "Internal error: \ncode=" + hex;
}

tk_mail_assertion::tk_mail_assertion(const char* source_file, int line)
    : tk_exception(make_err_meggase(source_file, line), tk_level_internal)
{
  tk_log_message(2, "tk_mail_assertion::ctor(%s)", source_file ? source_file : "");
}

tk_final_exception::tk_final_exception()
{
  tk_log_message(2, "tk_final_exception::ctor");
}

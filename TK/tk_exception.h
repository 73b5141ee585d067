// The exception family of the whole system. Every failure crosses a layer as a
// tk_exception whose level tells the catcher how far it reaches: 0 one record or
// table failed and the run may go on, 1 the current operation ends, 2 an internal
// error that ends the program. tk_final_exception stands outside the family: it
// ends a conversion quietly after the user chose Abort.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

enum tk_level : std::uint32_t {
  tk_level_recoverable = 0,
  tk_level_error = 1,
  tk_level_internal = 2,
};

class tk_exception : public std::exception {
public:
  tk_exception(const std::string& message, std::uint32_t level);
  // The wide message is kept as UTF-8; an empty one stays empty.
  tk_exception(const std::wstring& message, std::uint32_t level);
  explicit tk_exception(std::uint32_t level);

  const char* what() const noexcept override { return message_.c_str(); }

  const std::string& get_message() const noexcept { return message_; }
  std::uint32_t get_code() const noexcept { return code_; }
  std::uint32_t get_level() const noexcept { return level_; }

protected:
  void set_message(std::string message) { message_ = std::move(message); }
  void set_code(std::uint32_t code) noexcept { code_ = code; }

private:
  std::string message_;
  std::uint32_t code_ = 0;
  std::uint32_t level_ = 0;
};

// A tk_exception whose code is the calling thread's last system error (errno) and
// whose message is a prefix followed by the system's text for that error.
class tk_exception_ex : public tk_exception {
public:
  tk_exception_ex();
  tk_exception_ex(const std::string& prefix, std::uint32_t level);

private:
  void get_last_error_text(const std::string& prefix);
};

// The internal error of a failed check: the message names the source file and
// line only as hexadecimal digits, ready to be sent to the maker.
class tk_mail_assertion : public tk_exception {
public:
  tk_mail_assertion(const char* source_file, int line);
};

// "Internal error: \ncode=" followed by the hexadecimal form of "<file>\<line>".
std::string make_err_meggase(const char* source_file, int line);

class tk_final_exception : public std::exception {
public:
  tk_final_exception();
};

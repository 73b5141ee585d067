// An environment variable set (or, with nullopt, unset) for the life of a scope,
// put back as it was when the scope ends.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace test_support {

class env_var {
public:
  env_var(const char* name, std::optional<std::string> value) : name_(name)
  {
    if (const char* old = std::getenv(name))
      old_ = old;
    if (value)
      ::setenv(name, value->c_str(), 1);
    else
      ::unsetenv(name);
  }
  ~env_var()
  {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
  }
  env_var(const env_var&) = delete;
  env_var& operator=(const env_var&) = delete;

private:
  const char* name_;
  std::optional<std::string> old_;
};

} // namespace test_support

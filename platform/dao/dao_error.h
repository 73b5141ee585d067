// A failure inside the DAO stand-in: the DAO error number (3349, 3274, ...) and
// the engine's own description. The COM-like surface turns it into the HRESULT
// 0x800A0000 | number and fills Errors(0) with both.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace plat::dao {

class dao_error : public std::runtime_error {
public:
  dao_error(std::int32_t number, const std::string& description)
      : std::runtime_error(description), number_(number)
  {
  }
  std::int32_t number() const noexcept { return number_; }

private:
  std::int32_t number_;
};

} // namespace plat::dao

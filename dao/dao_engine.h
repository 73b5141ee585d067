// The converter's gateway to the DAO engine, which writes the .xls formats. No
// DAO engine exists in this build: asking for one fails, so an .xls run ends
// with the converter's own "Failed to load ..." error before it touches a file.
#pragma once

#include "TK/tk_exception.h"

#include <cstdint>
#include <memory>
#include <string>

class udb_database;

// The error of a failed call into the DAO engine: level 0, code 0x10000 with the
// engine's error number in the low 16 bits.
class dao_exception : public tk_exception {
public:
  dao_exception(const std::string& description, std::uint32_t number);
};

class dao_engine {
public:
  // com_is_callers: the owner initialises COM itself.
  explicit dao_engine(bool com_is_callers);
  ~dao_engine();
  dao_engine(const dao_engine&) = delete;
  dao_engine& operator=(const dao_engine&) = delete;

  // Creates the DAO engine of the version; false when it cannot be created,
  // which here is always.
  bool set_version_if(std::uint32_t version);
  // The workbook at the path, through the driver the connect string names.
  // Without an engine from set_version_if both are internal errors, as they
  // always are here.
  std::unique_ptr<udb_database> create_dao_src(const std::wstring& path, const std::wstring& connect);
  std::unique_ptr<udb_database> open_dao_src(const std::wstring& path, const std::wstring& connect,
                                             std::uint32_t mode);
};

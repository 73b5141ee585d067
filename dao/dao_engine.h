// The process's gateway to the DAO engine: creates the DBEngine of a version
// and opens workbooks (and Access databases) through it, each as a new
// dao_database the caller owns. Every opening needs a DBEngine from a
// successful set_version_if; without one it is an internal error.
#pragma once

#include "OLE/ole_ptr.h"
#include "TK/tk_singl.h"
#include "UDB/udb_engine.h"
#include "dao/dao_database.h"
#include "dao/dao_exception.h"
#include "platform/dao/dao_interfaces.h"

#include <cstdint>
#include <memory>
#include <string>

// A file the engine generated and deletes again (with its lock file) when it
// goes; nothing fills it today.
struct dao_generator {
  dao_generator();
  ~dao_generator();
  dao_generator(const dao_generator&) = delete;
  dao_generator& operator=(const dao_generator&) = delete;

  std::string path;
  bool generated = false;
};

class dao_engine : public udb_engine, public tk_singleton<dao_engine> {
public:
  // The version code held when there is no DBEngine.
  static constexpr std::uint32_t no_version = 4;

  // com_is_callers: the owner initialises COM itself.
  explicit dao_engine(bool com_is_callers);
  ~dao_engine() override;

  // Drops the DBEngine held and creates the one of the version code (0..3;
  // any other is an internal error). False when it cannot be created; then
  // none is held.
  bool set_version_if(std::uint32_t version);
  // A new workbook (a missing file) through the driver the connect string
  // names ("Excel 5.0;", "Excel 8.0;"); mode 114. Raises dao_exception.
  std::unique_ptr<dao_database> create_dao_src(const std::wstring& path, const std::wstring& connect);
  // An existing file: exclusive when mode bit 4 is set, read-only with bit 0;
  // the database gets mode | 32 (foreign keys are not read). Raises dao_exception.
  std::unique_ptr<dao_database> open_dao_src(const std::wstring& path, const std::wstring& connect,
                                             std::uint32_t mode);

  // Access databases.
  std::unique_ptr<udb_database> create_db(const std::wstring& name) override;
  std::unique_ptr<udb_database> open_db(const std::wstring& name, std::uint32_t mode,
                                        const std::wstring& password) override;

  std::uint32_t get_version() const { return version_; }
  // Null before a successful set_version_if.
  DAODBEngine* get_dbengine() const { return dbengine_.get(); }

private:
  void uninitialize();
  // The opening operations' guard: the assertion lines name the caller.
  void require_engine(int no_version_line, int no_engine_line) const;
  std::unique_ptr<dao_database> open(const std::wstring& path, const std::wstring& connect,
                                     std::uint32_t mode, std::uint32_t database_mode);

  ole_com_ptr<DAODBEngine> dbengine_;
  std::uint32_t version_ = no_version;
  dao_generator generator_;
  bool com_is_callers_;
};

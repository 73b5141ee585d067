// The database engine interface: what opens, creates, deletes and finds
// databases. Every database an engine hands out belongs to the caller; the
// property set an engine is given stays the caller's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class udb_database;
// The caller's property tree (storage engine, character sets, ...), which only
// engines that write databases read.
class udb_properties;

class udb_engine {
public:
  udb_engine() = default;
  // Engines are deleted through this base as well as through their singleton.
  virtual ~udb_engine() = default;
  udb_engine(const udb_engine&) = delete;
  udb_engine& operator=(const udb_engine&) = delete;

  virtual std::unique_ptr<udb_database> create_db(const std::wstring& name) = 0;
  virtual std::unique_ptr<udb_database> open_db(const std::wstring& name, std::uint32_t mode,
                                                const std::wstring& password) = 0;
  // Deletes the database file; raises tk_exception_ex (level 1, the system's
  // text) when it cannot. True otherwise.
  virtual bool db_delete(const std::wstring& name);
  // The name is an existing file, not a folder.
  virtual bool is_db_exist(const std::wstring& name);
  // Keeps the pointer; the caller keeps the set alive while the engine uses it.
  virtual void set_properties(udb_properties* properties);

  udb_properties* get_properties() const { return properties_; }

protected:
  udb_properties* properties_ = nullptr;
};

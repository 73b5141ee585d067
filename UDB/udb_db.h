// One open database of any engine: its tables, views, name maps and foreign keys,
// and the operations the conversion core calls on it. Recordsets it hands out
// belong to the caller and point back to it, so it must outlive them.
#pragma once

#include "UDB/udb_index.h"
#include "UDB/udb_names_map.h"
#include "UDB/udb_relship.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class udb_recordset;
class udb_schema;

// A view's name and its SQL definition.
using udb_view = std::pair<std::wstring, std::wstring>;
using udb_views = std::vector<udb_view>;

// The mode a database is opened with, as the engines read it (0x20 and 0x40
// keep the DAO engine from reading foreign keys).
inline constexpr std::uint32_t udb_mode_read_only = 0x01;  // a bit
inline constexpr std::uint32_t udb_mode_append = 8;        // the whole value
inline constexpr std::uint32_t udb_mode_no_views = 0x80;   // a bit

class udb_database {
public:
  udb_database(const std::wstring& name, std::uint32_t mode, bool case_sensitive);
  virtual ~udb_database();
  udb_database(const udb_database&) = delete;
  udb_database& operator=(const udb_database&) = delete;

  // A new, empty table ready for append_record.
  virtual std::unique_ptr<udb_recordset> create_table(const std::wstring& name,
                                                      const udb_schema& schema,
                                                      const udb_indexes& indexes) = 0;
  // `pass_through` is handed on unchanged to every create_index call.
  virtual void create_index(const std::wstring& table, std::uint32_t pass_through,
                            const udb_index& index);
  virtual void create_indexes(const std::wstring& table, std::uint32_t pass_through,
                              const udb_indexes& indexes);
  virtual void create_views(const udb_views& views);
  // Removes the first listed table of that name; false when none is listed.
  virtual bool delete_tab(const std::wstring& name);
  // Runs "delete from <name>" through query; the name goes into the statement
  // unchanged, so an engine quotes it before calling this.
  virtual void empty_table(const std::wstring& name);
  virtual std::unique_ptr<udb_recordset> get_query(const std::wstring& name,
                                                   const std::wstring& sql,
                                                   std::uint32_t mode) = 0;
  virtual std::unique_ptr<udb_recordset> get_table(const std::wstring& name,
                                                   std::uint32_t mode) = 0;
  // The statement's rows, or null when it yields none. Only engines that run SQL
  // give it a body; the base raises an internal error.
  virtual std::unique_ptr<udb_recordset> query(const std::wstring& sql);
  // The query would run as a conversion reads it: checked without executing it,
  // so nothing it says is done.
  virtual bool test_query(const std::wstring& sql) = 0;
  virtual void create_relationships(const udb_relationships& relationships);
  // Listed table of that name: exactly when the database is case-sensitive,
  // else ignoring case.
  virtual bool is_table_exist(const std::wstring& name);

  static void clear_name_list(std::vector<std::wstring>& names) { names.clear(); }

  std::uint32_t get_mode() const { return mode_; }
  const std::wstring& get_name() const { return name_; }
  std::vector<std::wstring>& get_table_names() { return table_names_; }
  const std::vector<std::wstring>& get_table_names() const { return table_names_; }
  udb_views& get_views() { return views_; }
  const udb_views& get_views() const { return views_; }
  udb_names_map& get_names_map() { return names_map_; }
  const udb_names_map& get_names_map() const { return names_map_; }
  udb_relationships& get_relationships() { return relationships_; }
  const udb_relationships& get_relationships() const { return relationships_; }

protected:
  bool same_table_name(const std::wstring& a, const std::wstring& b) const;

  std::uint32_t mode_;
  std::wstring name_;  // the database name or path
  bool case_sensitive_;
  udb_views views_;
  std::vector<std::wstring> table_names_;
  udb_names_map names_map_;
  udb_relationships relationships_;
};

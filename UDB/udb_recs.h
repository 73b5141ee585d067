// A cursor over a table or query, or a destination table being filled. A source
// lends its current record until the cursor moves on; a recordset points to the
// database that made it without owning it, so the database must outlive it.
#pragma once

#include "UDB/udb_index.h"
#include "UDB/udb_schema.h"

#include <cstdint>
#include <memory>
#include <string>

class udb_database;
class udb_record;

class udb_recordset {
public:
  udb_recordset(udb_database* owner, const std::wstring& name, const std::wstring& query_text,
                bool schema_flag);
  udb_recordset(udb_database* owner, const std::wstring& name, bool schema_flag);
  // A recordset that belongs to no database.
  explicit udb_recordset(const std::wstring& name);
  virtual ~udb_recordset();
  udb_recordset(const udb_recordset&) = delete;
  udb_recordset& operator=(const udb_recordset&) = delete;

  // Adds one row to a destination; `count` is the number of fields the caller
  // filled.
  virtual void append_record(const udb_record& record, std::uint32_t count) = 0;
  // Changes the rows that the tagged key (see get_filter_subquery) selects.
  virtual void update(const udb_record& record, const std::wstring& key);
  // Changes the row whose key fields equal the record's.
  virtual void update(const udb_record& record);
  // Finishes a destination.
  virtual void save();

  // Reading loop: reset once, then is_eof, get_item and next per row. The record
  // stays the recordset's and is valid until the next call of next, reset or the
  // destructor; null past the end.
  virtual udb_record* get_item();
  virtual bool is_eof();
  virtual void next();
  virtual void prev();
  virtual void reset();
  void move_to(std::int32_t position);
  bool is_query() const { return !query_text_.empty(); }

  virtual void delete_key(const std::wstring& key);
  virtual void delete_key(const udb_record& record);

  // Copies of the record's fields that make up the key index, in the index's
  // order; null when the record lacks one of them. Raises tk_exception level 1
  // "There's no primary/unique key" when the recordset has no key index.
  std::unique_ptr<udb_record> get_key(const udb_record& record) const;
  // Turns a key written as <column>value</column>... into a SQL condition:
  // "column"=value for numbers and bytes, "column"='value' for the rest, joined
  // by " and ". A column the schema lacks raises tk_exception level 0.
  std::wstring get_filter_subquery(const std::wstring& filter) const;
  // Lists the index unless one of that name (ignoring case) is listed already; a
  // primary index, or the first unique one, becomes the key index.
  void add_index(const udb_index& index);

  const std::wstring& get_name() const { return name_; }
  const std::wstring& get_query_text() const { return query_text_; }
  std::int32_t get_key_index() const { return key_index_; }
  udb_schema& get_schema() { return schema_; }
  const udb_schema& get_schema() const { return schema_; }
  const udb_indexes& get_indexes() const { return indexes_; }
  udb_database* get_owner() const { return owner_; }
  // Rows of a source, counted when it was opened (or by reset); rows accepted
  // by a destination.
  std::uint64_t get_record_count() const { return record_count_; }
  // The largest value of the table's auto-increment column when it was opened.
  std::uint32_t get_last_auto_value() const { return last_auto_value_; }

protected:
  std::wstring query_text_;  // empty for a table
  std::wstring name_;
  // Position in indexes_ of the index that identifies a row; -1 when none.
  std::int32_t key_index_ = -1;
  udb_schema schema_;
  udb_indexes indexes_;
  udb_database* owner_ = nullptr;
  std::uint64_t record_count_ = 0;
  std::uint32_t last_auto_value_ = 0;
};

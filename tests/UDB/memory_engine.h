// A small engine that keeps its databases in memory, written against the
// universal interfaces only as a real engine would be: databases and recordsets
// go to the caller, a reader lends one reused record, a writer's rows become
// visible to readers once it is saved.
#pragma once

#include "TK/tk_exception.h"
#include "UDB/udb_db.h"
#include "UDB/udb_engine.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"
#include "platform/case_fold.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace memory_engine_detail {

struct table {
  std::wstring name;
  udb_schema schema;
  udb_indexes indexes;
  std::vector<std::vector<udb_field>> rows;  // in schema order
};

struct store {
  std::vector<std::unique_ptr<table>> tables;  // in creation order

  table* find(const std::wstring& name)
  {
    for (auto& t : tables)
      if (plat::equal_no_case(t->name, name))
        return t.get();
    return nullptr;
  }
};

inline bool starts_with_no_case(const std::wstring& text, const std::wstring& head)
{
  return text.size() >= head.size() &&
         plat::equal_no_case(std::wstring_view(text).substr(0, head.size()), head);
}

} // namespace memory_engine_detail

// Reads one table; the record it lends is refilled in place on every move.
class memory_reader : public udb_recordset {
public:
  memory_reader(udb_database* owner, const std::wstring& name, const std::wstring& query_text,
                const memory_engine_detail::table& source)
      : udb_recordset(owner, name, query_text, true), source_(source)
  {
    schema_ = source.schema;  // shares the table's descriptors
    for (const udb_index& index : source.indexes)
      add_index(index);
    record_count_ = source.rows.size();
    for (const auto& row : source.rows)
      for (const udb_field& f : row)
        if (f.is_auto_increment() && f.get_type() != VT_EMPTY)
          last_auto_value_ = std::max(last_auto_value_, static_cast<std::uint32_t>(f.to_long()));
  }

  void append_record(const udb_record&, std::uint32_t) override
  {
    throw tk_mail_assertion("memory_reader", 1);
  }
  udb_record* get_item() override { return is_eof() ? nullptr : &current_; }
  bool is_eof() override { return position_ >= record_count_; }
  void reset() override
  {
    position_ = 0;
    load();
  }
  void next() override
  {
    ++position_;
    load();
  }

  std::size_t loads_that_built_fields = 0;

private:
  void load()
  {
    if (is_eof())
      return;
    const auto& row = source_.rows[static_cast<std::size_t>(position_)];
    if (current_.size() != row.size()) {
      ++loads_that_built_fields;
      current_.reset();
      for (const udb_field& f : row)
        current_.emplace_back(f);
      return;
    }
    for (std::size_t i = 0; i < row.size(); ++i)
      *current_[i] = row[i];
  }

  const memory_engine_detail::table& source_;
  std::uint64_t position_ = 0;
  udb_record current_;
};

// Fills one table; rows reach the table when the writer is saved.
class memory_writer : public udb_recordset {
public:
  memory_writer(udb_database* owner, memory_engine_detail::table& target)
      : udb_recordset(owner, target.name, true), target_(target)
  {
    schema_ = target.schema;
  }

  // Takes each column's value from the record's field of that name (any case);
  // a field the table has no column for is a failed row.
  void append_record(const udb_record& record, std::uint32_t count) override
  {
    if (count != record.size())
      throw tk_exception(std::string("Field count does not match"), tk_level_recoverable);
    for (const auto& f : record)
      if (!schema_.find_field(f->get_name()))
        throw tk_exception(std::string("Unknown field"), tk_level_recoverable);
    std::vector<udb_field> row;
    for (const auto& d : schema_)
      row.emplace_back(d->name, d->size, record.get_field(d->name), d->not_null, d->auto_increment);
    pending_.push_back(std::move(row));
    ++record_count_;
  }
  void save() override
  {
    for (auto& row : pending_)
      target_.rows.push_back(std::move(row));
    pending_.clear();
  }

private:
  memory_engine_detail::table& target_;
  std::vector<std::vector<udb_field>> pending_;
};

class memory_database : public udb_database {
public:
  memory_database(const std::wstring& name, std::uint32_t mode,
                  std::shared_ptr<memory_engine_detail::store> store)
      : udb_database(name, mode, false), store_(std::move(store))
  {
    for (const auto& t : store_->tables)
      table_names_.push_back(t->name);
  }

  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override
  {
    if (mode_ & udb_mode_read_only)
      throw tk_exception(std::string("Read-only database"), tk_level_internal);
    auto t = std::make_unique<memory_engine_detail::table>();
    t->name = name;
    t->schema = schema;
    t->indexes = indexes;
    store_->tables.push_back(std::move(t));
    table_names_.push_back(name);
    return std::make_unique<memory_writer>(this, *store_->tables.back());
  }

  std::unique_ptr<udb_recordset> get_table(const std::wstring& name, std::uint32_t) override
  {
    if (!is_table_exist(name))
      throw tk_mail_assertion("memory_db", 1);
    return std::make_unique<memory_reader>(this, name, std::wstring(), *store_->find(name));
  }

  // Understands "SELECT * FROM <table>" only.
  std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& sql,
                                           std::uint32_t) override
  {
    const memory_engine_detail::table* t = selected_table(sql);
    if (t == nullptr)
      throw tk_exception(std::string("Query failed"), tk_level_recoverable);
    return std::make_unique<memory_reader>(this, name, sql, *t);
  }

  // Understands "delete from <table>" only; it yields no rows.
  std::unique_ptr<udb_recordset> query(const std::wstring& sql) override
  {
    const std::wstring head = L"delete from ";
    memory_engine_detail::table* t = memory_engine_detail::starts_with_no_case(sql, head)
                                         ? store_->find(sql.substr(head.size()))
                                         : nullptr;
    if (t == nullptr)
      throw tk_exception(std::string("Query failed"), tk_level_recoverable);
    t->rows.clear();
    return nullptr;
  }

  bool test_query(const std::wstring& sql) override { return selected_table(sql) != nullptr; }

private:
  memory_engine_detail::table* selected_table(const std::wstring& sql)
  {
    const std::wstring head = L"SELECT * FROM ";
    return memory_engine_detail::starts_with_no_case(sql, head) ? store_->find(sql.substr(head.size()))
                                                                : nullptr;
  }

  std::shared_ptr<memory_engine_detail::store> store_;
};

class memory_engine : public udb_engine {
public:
  std::unique_ptr<udb_database> create_db(const std::wstring& name) override
  {
    auto& s = stores_[name];
    s = std::make_shared<memory_engine_detail::store>();
    return std::make_unique<memory_database>(name, 0x72, s);
  }

  std::unique_ptr<udb_database> open_db(const std::wstring& name, std::uint32_t mode,
                                        const std::wstring&) override
  {
    const auto it = stores_.find(name);
    if (it == stores_.end())
      throw tk_exception(std::string("Database does not exist"), tk_level_error);
    return std::make_unique<memory_database>(name, mode, it->second);
  }

private:
  std::map<std::wstring, std::shared_ptr<memory_engine_detail::store>> stores_;
};

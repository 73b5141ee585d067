// What the Access tests share: a fixture with an engine and a folder, tables
// defined the way the DAO layer defines them, rows added and read through
// recordsets, and the catalogue touched directly where DAO has no call for it.
#pragma once

#include "platform/dao/dao_test_support.h"

#include "platform/dao/dao_model.h"
#include "platform/oleaut/safearray.h"
#include "platform/text_codec.h"
#include "support/temp_dir.h"

#include <sqlite3.h>

#include <string>
#include <vector>

namespace dao_test {

constexpr HRESULT dao_hr(LONG number)
{
  return plat::dao::dao_hresult(number);
}

struct field_spec {
  std::wstring name;
  short type;
  LONG size = 0;
  bool required = false;
  LONG attributes = 0;
  std::wstring default_value = L"";
  bool allow_zero_length = true;
};

struct index_spec {
  std::wstring name;
  std::vector<std::wstring> fields;
  bool primary = false;
  bool unique = false;
};

inline std::string to_narrow(std::wstring_view text)
{
  return plat::to_utf8(text);
}

// The text of a value, to compare values of any kind.
inline std::wstring text_of(const VARIANT& value)
{
  if (value.vt == VT_NULL)
    return L"<null>";
  if (value.vt == (VT_ARRAY | VT_UI1)) {
    LONG low = 0, high = -1;
    SafeArrayGetLBound(value.parray, 1, &low);
    SafeArrayGetUBound(value.parray, 1, &high);
    void* data = nullptr;
    SafeArrayAccessData(value.parray, &data);
    std::wstring bytes = L"bytes:";
    for (LONG i = 0; i <= high - low; ++i)
      bytes += std::to_wstring(static_cast<const unsigned char*>(data)[i]) + L",";
    SafeArrayUnaccessData(value.parray);
    return bytes;
  }
  VARIANT converted;
  if (FAILED(VariantChangeType(&converted, &value, 0, VT_BSTR)))
    return L"<unconvertible>";
  std::wstring result = take(converted.bstrVal);
  return result;
}

inline arg bytes(const std::string& data)
{
  arg x;
  x.v.vt = VT_ARRAY | VT_UI1;
  x.v.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(data.size()));
  void* raw = nullptr;
  SafeArrayAccessData(x.v.parray, &raw);
  std::copy(data.begin(), data.end(), static_cast<char*>(raw));
  SafeArrayUnaccessData(x.v.parray);
  return x;
}

class access_test : public ::testing::Test {
protected:
  void SetUp() override { make_engine(engine); }

  std::wstring path_of(const std::string& file) const
  {
    const std::string path = dir.file(file);
    return {path.begin(), path.end()};
  }
  HRESULT create(const std::string& file, ref<DAODatabase>& database,
                 const std::wstring& locale = L";LANGID=0x0409;CP=1252;COUNTRY=0")
  {
    return engine->CreateDatabase(bstr(path_of(file)), bstr(locale), i4(0), database.put());
  }
  HRESULT open(const std::string& file, ref<DAODatabase>& database, const std::wstring& connect = L"",
               bool read_only = false)
  {
    return engine->OpenDatabase(bstr(path_of(file)), boolean(false), boolean(read_only), text(connect),
                                database.put());
  }

  // Defines a table as the DAO layer does (fields, then indexes) and appends it.
  HRESULT add_table(DAODatabase* database, const std::wstring& name, const std::vector<field_spec>& fields,
                    const std::vector<index_spec>& indexes = {})
  {
    ref<DAOTableDef> table;
    EXPECT_EQ(database->CreateTableDef(text(name), i4(0), text(L""), text(L""), table.put()), S_OK);
    ref<DAOFields> list;
    EXPECT_EQ(table->get_Fields(list.put()), S_OK);
    for (const field_spec& f : fields) {
      ref<DAOField> field;
      EXPECT_EQ(table->CreateField(text(f.name), i4(f.type), i4(f.size), field.put()), S_OK);
      EXPECT_EQ(field->put_Required(f.required ? 1 : 0), S_OK);
      EXPECT_EQ(field->put_AllowZeroLength(f.allow_zero_length ? 1 : 0), S_OK);
      if (!f.default_value.empty()) {
        EXPECT_EQ(field->put_DefaultValue(text(f.default_value)), S_OK);
      }
      if (f.attributes != 0) {
        LONG attributes = 0;
        field->get_Attributes(&attributes);
        EXPECT_EQ(field->put_Attributes(attributes | f.attributes), S_OK);
      }
      EXPECT_EQ(list->Append(field.get()), S_OK);
    }
    ref<DAOIndexes> table_indexes;
    EXPECT_EQ(table->get_Indexes(table_indexes.put()), S_OK);
    for (const index_spec& i : indexes)
      EXPECT_EQ(add_index(table.get(), table_indexes.get(), i), S_OK);
    ref<DAOTableDefs> tables;
    EXPECT_EQ(database->get_TableDefs(tables.put()), S_OK);
    return tables->Append(table.get());
  }
  static HRESULT add_index(DAOTableDef* table, DAOIndexes* indexes, const index_spec& wanted)
  {
    ref<DAOIndex> index;
    EXPECT_EQ(table->CreateIndex(text(wanted.name), index.put()), S_OK);
    arg fields_holder;
    EXPECT_EQ(index->get_Fields(&fields_holder.v), S_OK);
    ref<DAOIndexFields> fields;
    EXPECT_EQ(fields_holder.v.pdispVal->QueryInterface(DAOIndexFields::iid, reinterpret_cast<void**>(fields.put())),
              S_OK);
    for (const std::wstring& name : wanted.fields) {
      ref<DAOField> field;
      EXPECT_EQ(index->CreateField(text(name), i4(plat::dao::db_long), i4(0), field.put()), S_OK);
      EXPECT_EQ(fields->Append(field.get()), S_OK);
    }
    EXPECT_EQ(index->put_Primary(wanted.primary ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
    EXPECT_EQ(index->put_Unique(wanted.unique ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
    return indexes->Append(index.get());
  }

  HRESULT query_rows(DAODatabase* database, const std::wstring& sql, ref<DAORecordset>& rows, LONG options)
  {
    ref<DAOQueryDef> query;
    const HRESULT hr = database->CreateQueryDef(text(L""), text(sql), query.put());
    if (FAILED(hr))
      return hr;
    return query->OpenRecordset(i2(2), i4(options), rows.put());
  }
  HRESULT open_rows(DAODatabase* database, const std::wstring& table, ref<DAORecordset>& rows, LONG options = 8)
  {
    return query_rows(database, L"SELECT * FROM [" + table + L"]", rows, options);
  }

  // Adds one row of (field, value) pairs; the Update's result.
  HRESULT add_row(DAORecordset* rows, const std::vector<std::pair<std::wstring, arg>>& values)
  {
    EXPECT_EQ(rows->AddNew(), S_OK);
    for (const auto& [name, value] : values) {
      const HRESULT hr = rows->put_Collect(text(name), value);
      if (FAILED(hr))
        return hr;
    }
    return rows->Update(plat::dao::db_update_regular, VARIANT_FALSE);
  }

  // Every row of `sql` as the texts of its values, read by moving through it.
  std::vector<std::vector<std::wstring>> read_all(DAODatabase* database, const std::wstring& sql)
  {
    std::vector<std::vector<std::wstring>> result;
    ref<DAORecordset> rows;
    EXPECT_EQ(query_rows(database, sql, rows, plat::dao::db_read_only), S_OK);
    if (!rows)
      return result;
    ref<DAOFields> fields;
    EXPECT_EQ(rows->get_Fields(fields.put()), S_OK);
    short count = 0;
    fields->get_Count(&count);
    VARIANT_BOOL eof = VARIANT_FALSE;
    for (rows->get_EOF(&eof); eof == VARIANT_FALSE; rows->MoveNext(), rows->get_EOF(&eof)) {
      auto& row = result.emplace_back();
      for (short i = 0; i < count; ++i) {
        arg value;
        EXPECT_EQ(rows->get_Collect(i2(i), &value.v), S_OK);
        row.push_back(text_of(value.v));
      }
    }
    return result;
  }

  // Runs SQL on the closed file, for what DAO has no call for.
  void run_on_file(const std::string& file, const std::string& sql)
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.file(file).c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
  }

  temp_dir dir;
  ref<DAODBEngine> engine;
};

} // namespace dao_test

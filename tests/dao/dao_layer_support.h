// What the DAO layer tests share: an engine ready for workbooks, schemas and
// records built in one line, and xlrd's reading of a written workbook.
#pragma once

#include "support/command_output.h"

#include "support/temp_dir.h"
#include "support/text.h"

#include "UDB/udb_field.h"
#include "UDB/udb_schema.h"
#include "dao/dao_engine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace dao_layer_test {

struct column {
  std::wstring name;
  VARTYPE vartype;
  std::uint32_t size = 0;
  bool not_null = false;
};

inline udb_schema schema_of(const std::vector<column>& columns)
{
  udb_schema schema;
  for (const column& c : columns)
    schema.emplace_back(c.size, c.name, c.vartype, c.not_null, false, ole_variant(), 0u, std::wstring());
  return schema;
}

inline udb_record record_of(const std::vector<ole_variant>& values)
{
  udb_record record;
  for (const ole_variant& v : values)
    record.emplace_back(std::wstring(), 0u, v, false, false);
  return record;
}

inline ole_variant null_value()
{
  ole_variant v;
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  v.attach_variant(null);
  return v;
}


// xlrd's reading of the workbook: one line per sheet and per cell (the
// format of tests/platform/dao/excel/excel_cells.py), or its error output.
inline std::string xlrd_cells(const std::string& path)
{
  const auto script = std::filesystem::path(QVT_TESTS_DIR) / "platform" / "dao" / "excel" / "excel_cells.py";
  return test_support::command_output("/usr/bin/python3 '" + script.string() + "' '" + path + "' 2>&1");
}

// One engine for the test, with the DBEngine the converter asks for.
class engine_fixture : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(engine.set_version_if(0)); }

  dao_engine engine{false};
  temp_dir dir;
};

} // namespace dao_layer_test

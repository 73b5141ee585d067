// A tk_error_reporter for tests: every report is kept with the context it was
// given, and nothing is shown or aborted. And the fixture of the tests that make
// whole objects on a database of their own and read the reports.
#pragma once

#include "SQL/sql_test_support.h"
#include "SQL/write/sql_db_write.h"
#include "SQL/write/sql_engi_write.h"

#include "TK/tk_error_reporter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class recording_reporter : public tk_error_reporter {
public:
  struct report {
    std::wstring context;
    std::string message;
  };

  void set_context(const std::wstring& name) override { context_ = name; }
  void handle(const tk_exception& e, bool) override { reports.push_back({context_, e.get_message()}); }

  std::vector<report> reports;

private:
  std::wstring context_;
};

class sql_reporting_test : public ::testing::Test {
protected:
  // The scratch database opened through the engine; the last one opened stays.
  sql_write_database& open(std::uint32_t mode = 0)
  {
    opened_ = engine_->open_db(db.wname(), mode, L"");
    return static_cast<sql_write_database&>(*opened_);
  }

  sql_admin admin;
  scratch_database db{admin};
  recording_reporter reporter;
  std::unique_ptr<sql_write_engine> engine_ = connected_engine<sql_write_engine>();
  std::unique_ptr<udb_database> opened_;
};

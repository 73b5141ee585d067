// The console error handler: the text of a report, what each level does, the
// ending of the process, and the run scope.
#include "common_test_support.h"

#include <gtest/gtest.h>

#include <iostream>

using namespace common_test;

TEST(ErrorHandler, ReportTextIsContextThenTheProgramsTextOrTheMessage)
{
  struct with_code : tk_exception {
    with_code(const char* message, std::uint32_t code, std::uint32_t level) : tk_exception(message, level)
    {
      set_code(code);
    }
  };
  const struct {
    const char* what;
    std::wstring context;
    std::uint32_t record;  // 0: no record
    with_code error;
    std::string printed;
  } cases[] = {
      {"MySQL 1045", L"orders", 0, with_code("Access denied for user", 0x400415, 0),
       "orders: Access denied. Verify the user name and password are correct, and you have the "
       "necessary privileges to connect to the target MySQL server."},
      {"DAO 3022 on a record", L"t1", 5, with_code("dup", 0x10BCE, 0),
       "t1, record #5: Duplicate field values being used for an unique index were found. See "
       "'Troubleshooting' article of the product documentation for solution."},
      {"code no table holds", L"t\u00E9", 0, with_code("own words", 0x400000 + 1146, 0),
       "t\xC3\xA9: own words"},
      {"no context", L"", 0, with_code("just this", 0, 0), "just this"},
      {"date range", L"", 0, with_code("range", 0x10D15, 0),
       "Date fields of the source database do not fall in the range accepted by MS Excel. Restart "
       "the program with \"Convert dates into strings\" checkbox selected. "},
      {"1071 of the MySQL table", L"", 0, with_code("key", 0x40042F, 0),
       "Primary key in the original database is too long. Restart the program with \"Skip "
       "converting indexes\" checkbox selected in order to resolve the conflict. "},
      {"3421 names the maker", L"", 0, with_code("conv", 0x10D5D, 0),
       "Data type conversion error. Please contact support@norvale.example for the solution."},
  };
  for (const auto& c : cases) {
    captured_handler errors;
    if (c.record != 0)
      errors.handler.set_context(c.context, c.record);
    else
      errors.handler.set_context(c.context);
    errors.handler.handle(c.error, false);
    EXPECT_EQ(errors.out.str(), "Error:\n" + c.printed + "\n") << c.what;
    EXPECT_TRUE(errors.exits.empty()) << c.what;
  }
}

TEST(ErrorHandler, FirstTextOfACodeWins)
{
  captured_handler errors;
  const tk_error_entry later[] = {{0x400415, "a later text"}, {0x1234, "new code"}};
  errors.handler.load_err_map(std::size(later), later);
  EXPECT_EQ(errors.handler.err_map.convert(0x400415).substr(0, 14), "Access denied.");
  EXPECT_EQ(errors.handler.err_map.convert(0x1234), "new code");
  EXPECT_THROW(errors.handler.load_err_map(1, nullptr), tk_mail_assertion);
}

TEST(ErrorHandler, LevelsDecideWhetherTheProcessEnds)
{
  const struct {
    std::uint32_t level;
    bool do_not_show;
    std::string printed;
    bool ends;
  } cases[] = {
      {0, false, "Error:\nctx: m\n", false},
      {0, true, "", false},
      {1, false, "Error:\nctx: m\n", true},
      {1, true, "", true},
      // An internal error is always printed, without context.
      {2, false, "Internal error: m\n", true},
      {2, true, "Internal error: m\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "level " << c.level << " do_not_show " << c.do_not_show);
    captured_handler errors;
    errors.handler.do_not_show = c.do_not_show;
    errors.handler.set_context(L"ctx");
    bool returned = false;
    try {
      errors.handler.handle(tk_exception("m", c.level), false);
      returned = true;
    } catch (const tk_final_exception&) {
      // The test's exit came back; the handler still does not let the caller go on.
    }
    EXPECT_EQ(errors.out.str(), c.printed);
    EXPECT_EQ(returned, !c.ends);
    EXPECT_EQ(errors.exits, c.ends ? std::vector<int>{-1} : std::vector<int>{});
  }
}

TEST(ErrorHandlerDeathTest, DefaultExitClosesTheRunThenEndsWithMinusOne)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        error_handler handler(dao_error_map_size, dao_error_map);
        handler.set_run_closer([] { std::cerr << "run closed" << std::endl; });
        handler.handle(tk_exception("fatal", 1), false);
      },
      ::testing::ExitedWithCode(255), "run closed");
}

TEST(RunScope, MarksTheRunFinishedOnEveryWayOut)
{
  std::atomic<bool> finished{false};
  {
    init_conversion scope(finished, true);
    EXPECT_FALSE(finished.load());
  }
  EXPECT_TRUE(finished.load());

  std::atomic<bool> failed{false};
  try {
    init_conversion scope(failed, false);
    throw tk_exception("run failed", 1);
  } catch (const tk_exception&) {
  }
  EXPECT_TRUE(failed.load());
}

// The error handler: the text of a report, how the front end's answer and the
// level decide what the caller sees, and the run scope.
#include "common_test_support.h"

#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

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
    EXPECT_EQ(errors.front.calls, std::vector<std::string>{"report 0 " + c.printed}) << c.what;
  }
}

TEST(ErrorHandler, DateRangeTextNamesTheWayOutEachProgramOffers)
{
  const struct {
    const char* program;
    const tk_error_entry* table;
    std::size_t size;
    std::string way_out;
  } cases[] = {
      {"wizard", date_range_error_map, date_range_error_map_size, "with \"Convert dates into strings\" checkbox selected."},
      {"console", date_range_console_error_map, date_range_console_error_map_size, "with the --date2str option."},
  };
  for (const auto& c : cases) {
    recording_front_end front;
    error_handler handler(dao_error_map_size, dao_error_map);
    handler.load_err_map(c.size, c.table);
    handler.set_front_end(front);
    handler.set_context(L"t", 3);
    handler.handle(dao_exception("Numeric field overflow.", 3349), false);
    EXPECT_EQ(front.calls, std::vector<std::string>{"report 0 t, record #3: Date fields of the source database do not "
                                                    "fall in the range accepted by MS Excel. Restart the program " +
                                                    c.way_out + " "})
        << c.program;
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

TEST(ErrorHandler, LevelAndAnswerDecideHowTheCallerGoesOn)
{
  enum outcome { returns, run_ends, program_ends };
  constexpr report_answer console = report_answer::end_program;  // the console's level-1 answer
  const struct {
    std::uint32_t level;
    bool quiet;
    report_answer answer;
    bool no_abort;
    std::string call;
    outcome then;
    bool quiet_after;
  } cases[] = {
      {0, false, report_answer::go_on, false, "report 0 ctx: m", returns, false},
      {0, true, report_answer::go_on, false, "report 0 quiet ctx: m", returns, true},
      {0, false, report_answer::go_on_quietly, false, "report 0 ctx: m", returns, true},
      {0, false, report_answer::abort_run, false, "report 0 ctx: m", run_ends, false},
      // A caller that cannot stop there goes on after Abort.
      {0, false, report_answer::abort_run, true, "report 0 ctx: m", returns, false},
      {1, false, console, false, "report 1 ctx: m", program_ends, false},
      {1, true, console, false, "report 1 quiet ctx: m", program_ends, true},
      // The wizard shows its box and the caller goes on.
      {1, false, report_answer::go_on, false, "report 1 ctx: m", returns, false},
      // An internal error ends the program whatever the answer; no context.
      {2, false, report_answer::go_on, false, "report 2 m", program_ends, false},
      {2, true, report_answer::abort_run, true, "report 2 quiet m", program_ends, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.call << ", answer " << static_cast<int>(c.answer));
    captured_handler errors;
    errors.handler.do_not_show = c.quiet;
    errors.front.answer = [&c](std::uint32_t) { return c.answer; };
    errors.handler.set_context(L"ctx");
    outcome seen = returns;
    try {
      errors.handler.handle(tk_exception("m", c.level), c.no_abort);
    } catch (const tk_final_exception&) {
      seen = run_ends;
    } catch (const qvt_process_exit& end) {
      EXPECT_EQ(end.code, -1);
      seen = program_ends;
    }
    EXPECT_EQ(errors.front.calls, std::vector<std::string>{c.call});
    EXPECT_EQ(seen, c.then);
    EXPECT_EQ(errors.handler.do_not_show.load(), c.quiet_after);
  }
}

TEST(ErrorHandler, LayersBelowReportThroughItWhileItLives)
{
  EXPECT_EQ(tk_error_reporter::installed(), nullptr);
  {
    captured_handler errors;
    EXPECT_EQ(tk_error_reporter::installed(), &errors.handler);
    tk_report_item_failure(L"View 'v'", tk_exception("refused", tk_level_recoverable));
    EXPECT_EQ(errors.front.calls, std::vector<std::string>{"report 0 View 'v': refused"});
    errors.front.answer = [](std::uint32_t) { return report_answer::abort_run; };
    EXPECT_THROW(tk_report_item_failure(L"x", tk_exception("m", tk_level_recoverable)),
                 tk_final_exception);
  }
  EXPECT_EQ(tk_error_reporter::installed(), nullptr);
  // With nobody to report to, the failure stays in the caller's log.
  EXPECT_NO_THROW(tk_report_item_failure(L"x", tk_exception("m", tk_level_recoverable)));
}

TEST(ErrorHandler, AReportWhileTheWorkerRenamesTheContextCarriesOneWholeName)
{
  // The worker names entry after entry while another thread reports. Names
  // longer than a short string's own room: each new name is a new buffer and
  // the old one is freed, so an unguarded read is a use after free under the
  // sanitizers and, without them, a mixed or torn prefix.
  captured_handler errors;
  const std::wstring names[] = {L"first entry, whose name is longer than any short string holds",
                                L"the second entry, which has an even longer name than the first one"};
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (std::size_t k = 0; !done.load(std::memory_order_relaxed); ++k)
      errors.handler.set_context(names[k % 2]);
  });
  const std::set<std::string> whole = {"", plat::to_utf8(names[0]), plat::to_utf8(names[1])};
  const tk_exception refused("refused", tk_level_recoverable);
  std::size_t torn = 0;
  std::string sample;
  for (int i = 0; i < 20000; ++i) {
    errors.handler.handle(refused, true);
    const std::string context = errors.handler.get_context();
    if (whole.count(context) == 0 && torn++ == 0)
      sample = context;
  }
  done.store(true);
  worker.join();

  std::set<std::string> reported;
  for (const std::string& context : whole)
    reported.insert("report 0 " + (context.empty() ? "" : context + ": ") + "refused");
  for (const std::string& call : errors.front.calls) {
    if (reported.count(call) == 0 && torn++ == 0)
      sample = call;
  }
  EXPECT_EQ(torn, 0u) << sample;
  EXPECT_EQ(errors.front.calls.size(), 20000u);
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

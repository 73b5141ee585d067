// The log file: who writes, when the file is emptied, and the bytes of a line.
#include "TK/tk_log.h"
#include "support/regex_match.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>


TEST(TkLog, WithoutLoggerNothingIsWrittenAndNothingFails)
{
  ASSERT_FALSE(tk_singleton<tk_logger>::exists());
  tk_log_message(3, "no logger %d", 1);
  tk_log_message(3, L"no logger %s", std::wstring(L"x"));
  EXPECT_THROW(tk_singleton<tk_logger>::instance(), tk_mail_assertion);
}

TEST(TkLog, FirstMessageAfterEnablingEmptiesFileEvenBelowThreshold)
{
  temp_dir dir;
  const std::string path = dir.file("run.log");
  write_file(path, "old content\r\n");
  tk_logger logger(path.c_str(), false, 3, false);
  tk_log_message(3, "while off");
  EXPECT_EQ(read_file(path), "old content\r\n");

  logger.enable(true);
  tk_log_message(1, "detail %s", "skipped");
  EXPECT_EQ(read_file(path), "");
  tk_log_message(3, "Connecting to MySQL server...");
  tk_log_message(2, "step");
  tk_log_message(3, "QUERY=%s", std::string("SELECT 1"));
  EXPECT_EQ(read_file(path), "Connecting to MySQL server...\r\nQUERY=SELECT 1\r\n");
}

TEST(TkLog, LoggerConstructedEnabledEmptiesItsFileAtOnce)
{
  temp_dir dir;
  const std::string path = dir.file("run.log");
  write_file(path, "old");
  tk_logger logger(path.c_str(), true, 1, false);
  EXPECT_EQ(read_file(path), "");
}

TEST(TkLog, WideMessagesAreUtf8AndLongOnesAreCut)
{
  temp_dir dir;
  const std::string path = dir.file("run.log");
  tk_logger logger(path.c_str(), true, 1, false);
  tk_log_message(1, L"%s", std::wstring(L"\u00c4\u00d6"));
  EXPECT_EQ(read_file(path), "\xC3\x84\xC3\x96\r\n");

  write_file(path, "");
  tk_log_message(1, L"%s", std::wstring(20000, L'x'));
  EXPECT_EQ(read_file(path), std::string(10239, 'x') + "\r\n");

  write_file(path, "");
  const std::wstring cjk(5000, L'\u4e2d');  // 15,000 bytes of UTF-8, all kept
  tk_log_message(1, L"%s", cjk);
  EXPECT_EQ(read_file(path).size(), 15000u + 2u);
}

TEST(TkLog, TimeStampPrecedesTheText)
{
  temp_dir dir;
  const std::string path = dir.file("run.log");
  tk_logger logger(path.c_str(), true, 1, true);
  tk_log_message(2, "%lld rows", 1LL << 40);
  EXPECT_TRUE(test_regex::matches(read_file(path), "\\d\\d:\\d\\d:\\d\\d 1099511627776 rows\r\n"))
    << read_file(path);
}

TEST(TkLog, MismatchedFormatLosesNoTraceAndDoesNotThrow)
{
  temp_dir dir;
  const std::string path = dir.file("run.log");
  tk_logger logger(path.c_str(), true, 1, false);
  EXPECT_NO_THROW(tk_log_message(1, "count=%d", std::string("text")));
  EXPECT_EQ(read_file(path), "[bad log format] count=%d\r\n");
}

namespace {
struct process_object : tk_singleton<process_object> {
  int id;
  explicit process_object(int i) : id(i) {}
};
} // namespace

TEST(TkSingleton, FirstObjectStaysRegisteredUntilItIsDestroyed)
{
  EXPECT_FALSE(tk_singleton<process_object>::exists());
  {
    process_object first(1);
    {
      process_object second(2);
      EXPECT_EQ(tk_singleton<process_object>::instance().id, 1);
    }
    // A second object never registered, so its end leaves the first reachable.
    ASSERT_TRUE(tk_singleton<process_object>::exists());
    EXPECT_EQ(tk_singleton<process_object>::ptr()->id, 1);
  }
  EXPECT_FALSE(tk_singleton<process_object>::exists());
  try {
    tk_singleton<process_object>::ptr();
    FAIL();
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(std::string(e.what()), make_err_meggase("tk_singl", 71));
  }
}

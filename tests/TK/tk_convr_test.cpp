// The converter base's check of a user's log path: each bad path gives its own
// level-1 message and leaves logging as it was; a good one switches logging to it.
#include "TK/tk_convr.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(TkConverter, BadLogPathsAreRefusedWithTheirOwnMessage)
{
  temp_dir dir;
  std::filesystem::create_directory(dir.path() / "folder");
  write_file(dir.file("readonly.log"), "old");
  ::chmod(dir.file("readonly.log").c_str(), 0444);
  std::filesystem::create_directory(dir.path() / "locked");
  ::chmod(dir.file("locked").c_str(), 0555);

  const struct {
    std::string path;
    const char* message;
    bool needs_non_root;
  } cases[] = {
    {dir.file("folder"), "Logfile name specifies an existing path.", false},
    {dir.file("readonly.log"), "Logfile name specifies an existing read-only file.", false},
    {dir.file("missing/run.log"), "Logfile path does not exist.\nPlease verify the correct path was given.", false},
    {dir.file("locked/run.log"),
     "Cannot create log file. Make sure you have sufficient\nprivileges to create files in the directory.", true},
  };
  tk_logger logger(dir.file("default.log").c_str(), false, 1, false);
  for (const auto& c : cases) {
    if (c.needs_non_root && ::geteuid() == 0)
      continue;  // root may write anywhere
    tk_converter converter;
    try {
      converter.set_logfile(c.path);
      ADD_FAILURE() << "accepted " << c.path;
    } catch (const tk_exception& e) {
      EXPECT_STREQ(e.what(), c.message);
      EXPECT_EQ(e.get_level(), 1u);
    }
    EXPECT_EQ(converter.log_file, c.path) << "the rejected path is kept";
    EXPECT_FALSE(logger.is_enabled());
    EXPECT_EQ(logger.get_file_name(), dir.file("default.log"));
  }
}

TEST(TkConverter, AGoodLogPathSwitchesLoggingToIt)
{
  temp_dir dir;
  tk_logger logger(dir.file("default.log").c_str(), false, 1, false);
  tk_converter converter;
  converter.set_logfile("");
  EXPECT_FALSE(logger.is_enabled()) << "an empty name leaves logging off";

  const std::string path = dir.file("run.log");
  converter.set_logfile(path);
  EXPECT_TRUE(logger.is_enabled());
  EXPECT_EQ(logger.get_file_name(), path);
  tk_log_message(3, "first line");
  EXPECT_EQ(read_file(path), "first line\r\n");
}

TEST(TkConverter, WithoutALoggerTheLogPathIsIgnored)
{
  ASSERT_FALSE(tk_logger::exists());
  tk_converter converter;
  converter.set_logfile("/no/such/folder/run.log");
  EXPECT_EQ(converter.log_file, "");
  EXPECT_FALSE(converter.finished);
  converter.set_silent(true);
  EXPECT_TRUE(converter.silent);
}

} // namespace

// The exception family: messages, codes and levels that the error handler reports by.
#include "OLE/ole_exceptions.h"
#include "TK/tk_errco.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

TEST(TkException, ConstructionGivesMessageCodeAndLevel)
{
  struct {
    tk_exception e;
    const char* what;
    std::uint32_t level;
  } cases[] = {
    {tk_exception(std::string(), 1), "Unknown exception", 1},
    {tk_exception(std::wstring(), 0), "", 0},
    {tk_exception(2u), "Unknown exception", 2},
    {tk_exception(std::wstring(L"Tabelle \u00c4 \U0001F600"), 1), "Tabelle \xC3\x84 \xF0\x9F\x98\x80", 1},
    {ole_cast_exception(), "Cannot cast from source type to destination type", 0},
    {ole_type_exception(), "The operating type is not supported yet", 1},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(c.e.what(), c.what);
    EXPECT_EQ(c.e.get_code(), 0u);
    EXPECT_EQ(c.e.get_level(), c.level);
  }
}

TEST(TkException, CopyKeepsClassMessageCodeAndLevel)
{
  try {
    try {
      throw ole_type_exception();
    } catch (const tk_exception& e) {
      tk_exception copy(e);
      EXPECT_STREQ(copy.what(), "The operating type is not supported yet");
      throw;
    }
  } catch (const ole_type_exception& e) {
    EXPECT_EQ(e.get_level(), 1u);
  }
}

TEST(TkException, SystemErrorSurvivesLoggingBetweenFailureAndException)
{
  temp_dir dir;
  tk_logger logger(dir.file("log.txt").c_str(), true, 1, false);
  errno = 0;
  ASSERT_EQ(::open(dir.file("missing/file").c_str(), O_RDONLY), -1);
  tk_log_message(3, "open failed");  // the logger's own fopen must not clobber errno
  const tk_exception_ex e("Cannot open: ", 0);
  EXPECT_EQ(e.get_code(), 2u);
  EXPECT_EQ(e.get_level(), 0u);
  EXPECT_EQ(std::string(e.what()), std::string("Cannot open: ") + std::strerror(ENOENT));
}

TEST(TkException, MailAssertionHidesFileAndLineInHex)
{
  const tk_mail_assertion e("abc", 12);
  EXPECT_STREQ(e.what(), "Internal error: \ncode=6162635c3132");
  EXPECT_EQ(e.get_level(), 2u);
  EXPECT_EQ(e.get_code(), 0u);
}

TEST(TkErrorConverter, FirstTextForACodeWinsAndUnknownCodesGiveEmptyText)
{
  const tk_error_entry dao[] = {{0x10000, "first"}, {0x10001, "other"}};
  const tk_error_entry more[] = {{0x10000, "second"}, {0x400000 + 1045, "Access denied"}};
  tk_error_converter map(2, dao);
  map.load_map(2, more);
  map.load_map(0, more);
  EXPECT_EQ(map.convert(0x10000), "first");
  EXPECT_EQ(map.convert(0x400000 + 1045), "Access denied");
  EXPECT_EQ(map.convert(7), "");
  EXPECT_THROW(map.load_map(0, nullptr), tk_mail_assertion);
}

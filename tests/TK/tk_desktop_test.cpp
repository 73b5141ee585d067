// Clipboard text and bug reports reach the installed desktop, or else a private
// report file whose path is logged; the current directory survives the mail call.
#include "TK/tk_desktop.h"

#include "TK/tk_log.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Points the cache folder into a temporary folder and logs at level 1.
class TkDesktop : public ::testing::Test {
protected:
  void SetUp() override
  {
    const char* old = std::getenv("XDG_CACHE_HOME");
    had_cache_ = old != nullptr;
    if (had_cache_)
      old_cache_ = old;
    ::setenv("XDG_CACHE_HOME", dir.file("cache").c_str(), 1);
  }
  void TearDown() override
  {
    plat::set_desktop_services(nullptr);
    if (had_cache_)
      ::setenv("XDG_CACHE_HOME", old_cache_.c_str(), 1);
    else
      ::unsetenv("XDG_CACHE_HOME");
  }

  std::vector<fs::path> reports() const
  {
    std::vector<fs::path> found;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(dir.path() / "cache/Norvale/Tabloom", ignored))
      found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    return found;
  }

  std::string log_text() const { return read_file(dir.file("log.txt")); }

  temp_dir dir;
  tk_logger logger{dir.file("log.txt").c_str(), true, 1, false};

private:
  bool had_cache_ = false;
  std::string old_cache_;
};

unsigned mode_of(const fs::path& path)
{
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0);
  return info.st_mode & 07777u;
}

// Records what it is given; may move the current directory as a mail client does.
class recording_desktop : public plat::desktop_services {
public:
  plat::desktop_outcome copy_text(const std::wstring& text) override
  {
    copied = text;
    plat::desktop_outcome outcome;
    outcome.delivered = true;
    return outcome;
  }
  plat::desktop_outcome send_mail(const plat::mail_message& message) override
  {
    sent = message;
    plat::change_dir("/");
    plat::desktop_outcome outcome;
    outcome.delivered = true;
    return outcome;
  }

  std::wstring copied;
  plat::mail_message sent;
};

} // namespace

TEST_F(TkDesktop, WithoutADesktopTheBugReportGoesToAPrivateFile)
{
  tk_send_bug("Internal error", "Internal error: \ncode=6162");
  const auto files = reports();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].filename().string().rfind("bug-report-", 0), 0u);
  EXPECT_EQ(files[0].extension(), ".txt");
  EXPECT_EQ(mode_of(files[0]), 0600u);
  EXPECT_EQ(mode_of(dir.path() / "cache/Norvale"), 0700u);

  const std::string text = read_file(files[0].string());
  EXPECT_EQ(text.rfind("To: Norvale support <support@norvale.example>\nSubject: Bug report on Internal error\nDate: ", 0), 0u);
  EXPECT_NE(text.find("\n\nInternal error: \ncode=6162\n"), std::string::npos);
  EXPECT_NE(log_text().find("tk_send_bug(Internal error|Internal error: \ncode=6162)\r\n"), std::string::npos);
  EXPECT_NE(log_text().find("Bug report written to " + files[0].string() + "\r\n"), std::string::npos);
}

TEST_F(TkDesktop, ReportsWithinOneSecondNeverReplaceEachOther)
{
  tk_copy_to_clipboard2(L"first \u00c4\U0001F600");
  tk_copy_to_clipboard2(L"second");
  tk_copy_to_clipboard2(L"third");
  const auto files = reports();
  ASSERT_EQ(files.size(), 3u);
  std::vector<std::string> texts;
  for (const auto& file : files) {
    EXPECT_EQ(file.filename().string().rfind("clipboard-", 0), 0u);
    texts.push_back(read_file(file.string()));
  }
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"first \xC3\x84\xF0\x9F\x98\x80", "second", "third"}));
  EXPECT_NE(log_text().find("Clipboard text written to "), std::string::npos);
}

TEST_F(TkDesktop, AnInstalledDesktopGetsTheTextsAndTheDirectoryIsRestored)
{
  recording_desktop desktop;
  plat::set_desktop_services(&desktop);
  std::string before;
  ASSERT_TRUE(plat::current_dir(before));

  tk_copy_to_clipboard2(L"copied \u00c4");
  tk_send_bug("Title", "body");

  EXPECT_EQ(desktop.copied, L"copied \u00c4");
  EXPECT_EQ(desktop.sent.recipient, tk_support_address);
  EXPECT_EQ(desktop.sent.subject, "Bug report on Title");
  EXPECT_EQ(desktop.sent.body, "body");
  EXPECT_EQ(std::count(desktop.sent.date.begin(), desktop.sent.date.end(), '/'), 2);
  std::string after;
  ASSERT_TRUE(plat::current_dir(after));
  EXPECT_EQ(after, before);
  EXPECT_TRUE(reports().empty());
  EXPECT_NE(log_text().find("OpenClipboard succeeded\r\n"), std::string::npos);
}

TEST_F(TkDesktop, AnUnwritableCacheIsOnlyLogged)
{
  write_file(dir.file("cache"), "a file where the folder should be");
  EXPECT_NO_THROW(tk_send_bug("Title", "body"));
  EXPECT_NO_THROW(tk_copy_to_clipboard2(L"text"));
  EXPECT_NE(log_text().find("Bug report not sent: "), std::string::npos);
  EXPECT_NE(log_text().find("GetLastError() returns 00000014\r\n"), std::string::npos);  // ENOTDIR
}

// Splitting and joining paths: absolute lexical forms, the program's folder for an
// empty path, extensions, and the user's errors for paths that cannot serve.
#include "TK/tk_fname.h"

#include "TK/tk_chdir.h"
#include "TK/tk_exception.h"
#include "TK/tk_files.h"
#include "TK/tk_log.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text_codec.h"
#include "support/temp_dir.h"
#include "tk_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using tk_test::cwd;

std::string program_folder()
{
  const std::string exe = plat::executable_path();
  return exe.substr(0, exe.rfind('/') + 1);
}

} // namespace

TEST(TkFileName, SplitsTheAbsoluteFormNarrowAndWide)
{
  const std::string here = cwd() + "/";
  struct {
    std::string path, folder, name, extension;
  } cases[] = {
    {"/a/b.c/d", "/a/b.c/", "d", ""},
    {"/x/.hidden", "/x/", "", ".hidden"},
    {"/a/../b/c.d", "/b/", "c", ".d"},
    {"/tmp//out.tar.gz", "/tmp/", "out.tar", ".gz"},
    {"/tmp/dir/", "/tmp/dir/", "", ""},
    {"/", "/", "", ""},
    {"/tmp/archive.", "/tmp/", "archive", "."},
    {"out.txt", here, "out", ".txt"},
    {"./sub/../q/out.xlsx", here + "q/", "out", ".xlsx"},
    {"/tmp/Tabelle \xC3\x84\xF0\x9F\x98\x80.xlsx", "/tmp/", "Tabelle \xC3\x84\xF0\x9F\x98\x80", ".xlsx"},
  };
  for (const auto& c : cases) {
    const tk_file_name narrow(c.path);
    EXPECT_EQ(narrow.drive, "") << c.path;
    EXPECT_EQ(narrow.folder, c.folder) << c.path;
    EXPECT_EQ(narrow.name, c.name) << c.path;
    EXPECT_EQ(narrow.extension, c.extension) << c.path;
    EXPECT_EQ(narrow.get_folder(), c.folder) << c.path;
    EXPECT_EQ(narrow.get_full_path(), c.folder + c.name + c.extension) << c.path;

    const tk_file_wname w(wide(c.path));
    EXPECT_EQ(w.drive, L"") << c.path;
    EXPECT_EQ(w.folder, wide(c.folder)) << c.path;
    EXPECT_EQ(w.name, wide(c.name)) << c.path;
    EXPECT_EQ(w.extension, wide(c.extension)) << c.path;
    EXPECT_EQ(w.get_full_path(), wide(c.folder + c.name + c.extension)) << c.path;
  }
}

TEST(TkFileName, EmptyPathGivesTheProgramsFolderAndExtensionButNoName)
{
  const std::string exe = plat::executable_path();
  const std::string file = exe.substr(exe.rfind('/') + 1);
  const auto dot = file.rfind('.');
  const std::string extension = dot == std::string::npos ? "" : file.substr(dot);

  const tk_file_name narrow{std::string()};
  EXPECT_EQ(narrow.get_folder(), program_folder());
  EXPECT_EQ(narrow.name, "");
  EXPECT_EQ(narrow.extension, extension);

  const tk_file_wname w{std::wstring()};
  EXPECT_EQ(w.get_folder(), wide(program_folder()));
  EXPECT_EQ(w.name, L"");
  EXPECT_EQ(w.extension, wide(extension));
}

TEST(TkFileName, NullPathIsAnInternalError)
{
  try {
    tk_file_name bad(static_cast<const char*>(nullptr));
    FAIL();
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(std::string(e.what()), make_err_meggase("tk_fname", 31));
  }
  try {
    tk_file_wname bad(static_cast<const wchar_t*>(nullptr));
    FAIL();
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(std::string(e.what()), make_err_meggase("tk_fname", 83));
  }
}

TEST(TkFileName, LongPathsWorkUpToTheSystemLimit)
{
  // Far beyond the old 260 characters, still a legal path.
  const std::string folder = "/tmp/" + std::string(200, 'f') + "/" + std::string(200, 'g') + "/";
  const std::string path = folder + std::string(200, 'n') + ".xlsx";
  const tk_file_name narrow(path);
  EXPECT_EQ(narrow.folder, folder);
  EXPECT_EQ(narrow.get_full_path(), path);
  EXPECT_EQ(tk_file_wname(wide(path)).get_full_path(), wide(path));

  const std::string at_limit = "/" + std::string(plat::max_path_bytes - 2, 'x');
  EXPECT_EQ(tk_file_name(at_limit).get_full_path(), at_limit);
}

TEST(TkFileName, PathsThatCannotServeAreTheUsersError)
{
  const std::string too_long = "/" + std::string(plat::max_path_bytes - 1, 'x');
  const std::string cases[] = {too_long, "/tmp/" + std::string(5000, 'y'), std::string("/tmp/a\0b.xlsx", 13)};
  for (const auto& path : cases) {
    try {
      tk_file_name bad(path);
      FAIL() << path.size();
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.get_level(), 1u) << path.size();
    }
    try {
      tk_file_wname bad(wide(path));
      FAIL() << path.size();
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.get_level(), 1u) << path.size();
    }
  }
  // Four bytes per character: the limit counts the system's bytes, not characters.
  std::wstring emoji = L"/";
  emoji.append(1100, L'\U0001F600');
  EXPECT_THROW(tk_file_wname{emoji}, tk_exception);

  tk_file_wname joined(L"/tmp/x.txt");
  joined.name.assign(plat::max_path_bytes, L'n');
  try {
    (void)joined.get_full_path();
    FAIL();
  } catch (const tk_exception& e) {
    EXPECT_STREQ(e.what(), "Path is too long");
    EXPECT_EQ(e.get_level(), 1u);
  }
}

TEST(TkFileName, RelativePathInARemovedCurrentDirectoryIsTheUsersError)
{
  temp_dir dir;
  const std::string gone = dir.file("gone");
  ASSERT_TRUE(std::filesystem::create_directory(gone));
  const tk_temp_chdir inside(gone);
  ASSERT_TRUE(inside.changed());
  ASSERT_TRUE(std::filesystem::remove(gone));
  try {
    tk_file_wname bad(L"out.xlsx");
    FAIL();
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.get_level(), 1u);
  }
  EXPECT_EQ(tk_get_current_dir(), L"");
  EXPECT_EQ(tk_file_name("/tmp/out.xlsx").get_full_path(), "/tmp/out.xlsx");
}

TEST(TkFileName, SetExtPutsTheDotInFrontOnlyWhenMissing)
{
  struct {
    std::wstring ext, extension, full;
  } cases[] = {
    {L"xlsx", L".xlsx", L"/tmp/q/old.xlsx"},
    {L".xls", L".xls", L"/tmp/q/old.xls"},
    {L"", L"", L"/tmp/q/old"},
    {L"tar.gz", L".tar.gz", L"/tmp/q/old.tar.gz"},
  };
  for (const auto& c : cases) {
    tk_file_wname w(L"/tmp/q/old.csv");
    w.set_ext(c.ext);
    EXPECT_EQ(w.extension, c.extension);
    EXPECT_EQ(w.get_full_path(), c.full);
  }
  tk_file_name narrow("/tmp/q/old.csv");
  narrow.set_ext("log");
  EXPECT_EQ(narrow.get_full_path(), "/tmp/q/old.log");
}

TEST(TkFileName, ChangeFileExtKeepsTheFolderOfTheGivenPath)
{
  const std::wstring here = wide(cwd());
  const std::wstring parent = wide(std::filesystem::path(cwd()).parent_path().string());
  struct {
    std::wstring path, name, ext;
    bool keep;
    std::wstring result;
  } cases[] = {
    {L"/tmp/q/old.xls", L"shop", L"xlsx", false, L"/tmp/q/shop.xlsx"},
    {L"/tmp/q/old.xls", L"shop", L".xls", false, L"/tmp/q/shop.xls"},
    {L"q/old.xls", L"shop", L"xlsx", false, here + L"/q/shop.xlsx"},
    // An empty field is the current folder, never the program's.
    {L"", L"shop", L"xlsx", false, here + L"/shop.xlsx"},
    {L"./", L"shop", L"xls", false, here + L"/shop.xls"},
    {L"../q/old.XLSX", L"shop", L"xls", false, parent + L"/q/shop.xls"},
    {L"/tmp/q/old.xls", L"shop", L"xlsx", true, L"shop"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(tk_change_file_ext(c.path, c.name, c.ext, c.keep), c.result) << c.path;
}

TEST(TkFileName, LogsItsLinesWithTheirArguments)
{
  temp_dir dir;
  const std::string log = dir.file("log.txt");
  {
    tk_logger logger(log.c_str(), true, 1, false);
    tk_file_name narrow("/tmp/a.txt");
    tk_file_wname w(L"/tmp/\u00c4.txt");
  }
  EXPECT_EQ(read_file(log),
            "tk_file_name::ctor(/tmp/a.txt)\r\n"
            "tk_file_name::ctor(/tmp/\xC3\x84.txt)\r\n"
            "tk_file_wname::initialize(/tmp/\xC3\x84.txt)\r\n");
}

// Existence, read-only and access tests on real files and folders, and the
// current directory switched for a scope and restored.
#include "TK/tk_chdir.h"
#include "TK/tk_files.h"
#include "TK/tk_log.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text_codec.h"
#include "support/temp_dir.h"
#include "tk_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using tk_test::cwd;

// A folder with one entry of every kind the tests ask about.
class TkFiles : public ::testing::Test {
protected:
  void SetUp() override
  {
    std::filesystem::create_directory(dir.file("folder"));
    write_file(dir.file("plain.txt"), "x");
    write_file(dir.file("locked.txt"), "x");
    ASSERT_EQ(::chmod(dir.file("locked.txt").c_str(), 0444), 0);
    std::filesystem::create_directory(dir.file("Ordner \xC3\x84"));
    std::filesystem::create_symlink(dir.file("folder"), dir.file("link"));
  }

  temp_dir dir;
};

} // namespace

TEST_F(TkFiles, ExistenceModesTellFilesFoldersAndReadOnlyFilesApart)
{
  struct {
    const char* entry;
    bool exists, writable;
  } cases[] = {
    {"plain.txt", true, true},
    {"locked.txt", true, false},  // read-only also for root, who could write it
    {"folder", false, false},
    {"link", false, false},  // a link to a folder is a folder
    {"missing.txt", false, false},
  };
  for (const auto& c : cases) {
    const std::string path = dir.file(c.entry);
    EXPECT_EQ(tk_is_file_exist1(path, tk_exist_not_folder), c.exists) << c.entry;
    EXPECT_EQ(tk_is_file_exist1(path, tk_exist_writable), c.writable) << c.entry;
    EXPECT_EQ(tk_is_file_exist2(wide(path), tk_exist_not_folder), c.exists) << c.entry;
    EXPECT_EQ(tk_is_file_exist2(wide(path), tk_exist_writable), c.writable) << c.entry;
  }
  // The system would stop at the NUL and find plain.txt.
  EXPECT_FALSE(tk_is_file_exist1(dir.file("plain.txt") + std::string("\0x", 2), tk_exist_not_folder));
}

TEST_F(TkFiles, PathExistsOnlyForFoldersAndLeavesTheCurrentDirectory)
{
  const std::string before = cwd();
  struct {
    std::string path;
    bool exists;
  } cases[] = {
    {dir.file("folder"), true},
    {dir.file("link"), true},
    {dir.file("Ordner \xC3\x84"), true},
    {dir.file("plain.txt"), false},
    {dir.file("missing"), false},
    {"", true},  // the program's folder
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tk_is_path_exist(c.path), c.exists) << c.path;
    EXPECT_EQ(tk_is_path_exist(wide(c.path)), c.exists) << c.path;
    EXPECT_EQ(cwd(), before);
  }
}

TEST_F(TkFiles, AccessFollowsTheEffectiveUsersRights)
{
  const std::string folder = dir.file("folder");
  const std::string plain = dir.file("plain.txt");
  EXPECT_TRUE(tk_check_access(folder.c_str(), GENERIC_WRITE));
  EXPECT_TRUE(tk_check_access(wide(folder).c_str(), GENERIC_WRITE));
  EXPECT_TRUE(tk_check_access(plain.c_str(), GENERIC_READ | GENERIC_WRITE));
  EXPECT_FALSE(tk_check_access(plain.c_str(), GENERIC_EXECUTE));  // no x bit: not even root
  EXPECT_FALSE(tk_check_access(plain.c_str(), GENERIC_ALL));
  EXPECT_FALSE(tk_check_access(dir.file("missing").c_str(), GENERIC_READ));
  EXPECT_FALSE(tk_check_access(static_cast<const char*>(nullptr), GENERIC_READ));
  EXPECT_FALSE(tk_check_access(plain.c_str(), 0x2u));  // a right the test does not know

  // Without entering a folder nobody but root may create files in it.
  ASSERT_EQ(::chmod(folder.c_str(), 0600), 0);
  EXPECT_EQ(tk_check_access(folder.c_str(), GENERIC_WRITE), ::geteuid() == 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  EXPECT_EQ(tk_check_access(folder.c_str(), GENERIC_WRITE), ::geteuid() == 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
}

TEST_F(TkFiles, TempChdirSwitchesForItsScopeAndRestores)
{
  const std::string before = cwd();
  const std::string folder = std::filesystem::canonical(dir.file("Ordner \xC3\x84")).string();
  {
    const tk_temp_chdir in(folder);
    EXPECT_TRUE(in.changed());
    EXPECT_EQ(cwd(), folder);
    EXPECT_EQ(tk_get_current_dir(), wide(folder));
  }
  EXPECT_EQ(cwd(), before);
  {
    const tk_temp_chdir_w in(wide(folder));
    EXPECT_TRUE(in.changed());
    EXPECT_EQ(cwd(), folder);
  }
  EXPECT_EQ(cwd(), before);
  {
    const tk_temp_chdir missing(dir.file("missing"));
    EXPECT_FALSE(missing.changed());
    EXPECT_EQ(cwd(), before);
    const tk_temp_chdir_w file(wide(dir.file("plain.txt")));
    EXPECT_FALSE(file.changed());
  }
  EXPECT_EQ(cwd(), before);
  {
    const tk_temp_chdir program("");
    EXPECT_TRUE(program.changed());
    const std::string exe = plat::executable_path();
    EXPECT_EQ(cwd(), std::filesystem::canonical(exe.substr(0, exe.rfind('/'))).string());
  }
  EXPECT_EQ(cwd(), before);
}

TEST_F(TkFiles, LogsItsLinesWithTheirArguments)
{
  const std::string log = dir.file("log.txt");
  const std::string plain = dir.file("plain.txt");
  {
    tk_logger logger(log.c_str(), true, 1, false);
    tk_is_file_exist1(plain, tk_exist_not_folder);
    tk_is_file_exist2(wide(plain), tk_exist_writable);
    tk_is_path_exist(wide(plain));
    const tk_temp_chdir missing(dir.file("missing"));
  }
  EXPECT_EQ(read_file(log),
            "tk_is_file_exist1(" + plain + ",16384)\r\n"
            "tk_is_file_exist2(" + plain + ",00000001)\r\n"
            "tk_is_path_exist(" + plain + ")\r\n"
            "tk_is_path_exist(" + plain + ")\r\n"
            "tk_temp_chdir::ctor\r\n"
            "tk_temp_chdir::initialize(" + dir.file("missing") + ")\r\n"
            "Step #1\r\n"
            "Step #2\r\n"
            "_chdir failed\r\n"
            "tk_temp_chdir::dtor\r\n"
            "tk_temp_chdir::dtor - at the END\r\n");
}

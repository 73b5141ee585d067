// The file helpers under the conditions their callers meet: a private folder
// that holds files, folders and links when it goes, one whose holder is gone
// among ones in use, a write the system cuts short, reads and writes at offsets near the end of the file and past the
// largest one, and folders where something else is in the way.
#include "platform/files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(PrivateTempFolder, GoesWithEverythingInItButNeverFollowsALink)
{
  temp_dir dir;
  const std::string outside_file = dir.file("keep.txt");
  const std::string outside_folder = dir.file("keep");
  write_file(outside_file, "not ours");
  fs::create_directory(outside_folder);
  write_file(dir.file("keep/inner.txt"), "not ours either");

  std::string made;
  {
    plat::private_temp_folder folder;
    ASSERT_TRUE(folder.create(dir.path().string(), ".work_")) << std::strerror(errno);
    made = folder.path();
    EXPECT_EQ(fs::path(made).parent_path(), dir.path());
    EXPECT_EQ(fs::path(made).filename().string().rfind(".work_", 0), 0u);
    struct stat info {};
    ASSERT_EQ(::stat(made.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    fs::create_directories(made + "/a/b");
    write_file(made + "/a/b/part.xml", "data");
    fs::create_symlink(outside_file, made + "/file-link");
    fs::create_directory_symlink(outside_folder, made + "/a/folder-link");
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(made)));
  EXPECT_EQ(read_file(outside_file), "not ours");
  EXPECT_EQ(read_file(dir.file("keep/inner.txt")), "not ours either");

  // A link put in the folder's own place goes, and what it names stays.
  {
    plat::private_temp_folder folder;
    ASSERT_TRUE(folder.create(dir.path().string(), ".work_")) << std::strerror(errno);
    made = folder.path();
    fs::remove(made);
    fs::create_directory_symlink(outside_folder, made);
    EXPECT_TRUE(folder.remove());
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(made)));
  EXPECT_EQ(read_file(dir.file("keep/inner.txt")), "not ours either");
}

TEST(PrivateTempFolder, GoesAtTheDescriptorLimitAndSaysWhenItCannot)
{
  temp_dir dir;
  plat::private_temp_folder folder;
  ASSERT_TRUE(folder.create(dir.path().string(), ".work_", true)) << std::strerror(errno);
  const std::string made = folder.path();
  fs::create_directories(made + "/a/b/c");
  write_file(made + "/a/b/c/part.xml", "data");
  // Every descriptor taken but the folder's lock: the lock's is spared for
  // the removal, which reads one folder at a time.
  rlimit before {};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
  rlimit low = before;
  low.rlim_cur = 256;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<plat::unique_fd> taken;
  for (;;) {
    plat::unique_fd fd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
      break;
    taken.push_back(std::move(fd));
  }
  ASSERT_EQ(errno, EMFILE);
  EXPECT_TRUE(folder.remove()) << std::strerror(errno);
  EXPECT_FALSE(fs::exists(made));

  // Without even that descriptor, the folder is not made at all.
  taken.emplace_back(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  ASSERT_TRUE(taken.back().valid());
  plat::private_temp_folder none;
  EXPECT_FALSE(none.create(dir.path().string(), ".work_", true));
  EXPECT_EQ(errno, EMFILE);
  taken.clear();
  ::setrlimit(RLIMIT_NOFILE, &before);
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(PrivateTempFolder, ReleasedStaysAndAFailedCreateHoldsNothing)
{
  temp_dir dir;
  std::string kept;
  {
    plat::private_temp_folder folder;
    ASSERT_TRUE(folder.create(dir.path().string() + "/", "x"));
    EXPECT_EQ(folder.path().find("//"), std::string::npos);
    kept = folder.release();
    EXPECT_TRUE(folder.empty());
  }
  EXPECT_TRUE(fs::is_directory(kept));

  plat::private_temp_folder missing;
  const bool made = missing.create(dir.file("no/such/parent"), "x");
  const int error = errno;
  EXPECT_FALSE(made);
  EXPECT_EQ(error, ENOENT);
  EXPECT_TRUE(missing.empty());
}

TEST(PrivateTempFolder, OnlyFoldersWhoseHolderIsGoneAreRemovedAsAbandoned)
{
  temp_dir dir;
  const std::string parent = dir.path().string();
  plat::private_temp_folder in_use;
  ASSERT_TRUE(in_use.create(parent, ".stage_", true));
  write_file(in_use.path() + "/book.xls", "being written");
  // Released: the folder stays and its lock goes, as when its process is killed.
  plat::private_temp_folder killed;
  ASSERT_TRUE(killed.create(parent, ".stage_", true));
  write_file(killed.path() + "/book.xls", "left behind");
  const std::string abandoned = killed.release();
  // Names that are not of this kind stay, whatever they hold.
  fs::create_directory(dir.file(".stage_"));
  fs::create_directory(dir.file(".stage_abc"));
  fs::create_directory(dir.file(".other_abcdef"));
  write_file(dir.file(".stage_file12"), "a file");

  plat::private_temp_folder::remove_abandoned(parent, ".stage_");
  EXPECT_FALSE(fs::exists(abandoned));
  EXPECT_EQ(read_file(in_use.path() + "/book.xls"), "being written");
  for (const char* kept : {".stage_", ".stage_abc", ".other_abcdef", ".stage_file12"})
    EXPECT_TRUE(fs::exists(dir.file(kept))) << kept;
}

// In a child process: under a file-size limit of 1000 bytes the system cuts a
// write of 4000 short and fails the next one, so only a writer that continues
// after the short write meets the real error. Exits 0 when it does.
[[noreturn]] void write_past_the_size_limit(const std::string& path)
{
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit {};
  limit.rlim_cur = limit.rlim_max = 1000;
  const plat::unique_fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!fd.valid() || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
    ::_exit(2);
  const bool written = plat::write_all(fd.get(), std::string(4000, 'x'));
  ::_exit(!written && errno == EFBIG && fs::file_size(path) == 1000 ? 0 : 1);
}

TEST(WriteAll, ContinuesAfterAShortWriteAndReportsTheFailureBehindIt)
{
  temp_dir dir;
  EXPECT_EXIT(write_past_the_size_limit(dir.file("limited")), ::testing::ExitedWithCode(0), "");
}

TEST(PositionedIo, WholeBuffersAtOffsetsAndNothingPastTheLargestOffset)
{
  temp_dir dir;
  const std::string path = dir.file("f");
  const plat::unique_fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  ASSERT_TRUE(fd.valid());

  ASSERT_TRUE(plat::pwrite_all(fd.get(), "tail", 4, 10));
  ASSERT_TRUE(plat::pwrite_all(fd.get(), "head", 4, 0));
  char buffer[16] = {};
  std::size_t got = 99;
  ASSERT_TRUE(plat::pread_all(fd.get(), buffer, sizeof buffer, 0, got));
  EXPECT_EQ(std::string(buffer, got), std::string("head\0\0\0\0\0\0tail", 14)) << "short only at the end";

  constexpr auto last = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
  const bool written = plat::pwrite_all(fd.get(), "x", 1, last);
  const int error = errno;
  EXPECT_FALSE(written);
  EXPECT_EQ(error, EFBIG);
  EXPECT_TRUE(plat::pread_all(fd.get(), buffer, 2, last, got));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(fs::file_size(path), 14u);
}

TEST(MakeFolders, MakesWhatIsMissingKeepsWhatIsThereAndNamesWhatIsInTheWay)
{
  temp_dir dir;
  const std::string deep = dir.file("a/b/c");
  ASSERT_TRUE(plat::make_folders(deep, 0700));
  EXPECT_TRUE(fs::is_directory(deep));
  EXPECT_TRUE(plat::make_folders(deep + "/", 0700)) << "existing folders are no error";

  write_file(dir.file("a/file"), "");
  for (const std::string& blocked : {dir.file("a/file"), dir.file("a/file/below")}) {
    const bool made = plat::make_folders(blocked, 0700);
    const int error = errno;
    EXPECT_FALSE(made) << blocked;
    EXPECT_EQ(error, ENOTDIR) << blocked;
  }
}

} // namespace

// The staging folder of a run that builds its workbook in place: hidden and
// private beside the destination, gone on every way out, and the destination
// replaced only by commit, and only when the run wrote a workbook.
#include "common_test_support.h"

#include "common/staged_destination.h"
#include "platform/text_codec.h"

#include <functional>
#include <sys/stat.h>

using namespace common_test;

namespace {

std::string error_of(const std::function<void()>& f)
{
  try {
    f();
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.get_level(), tk_level_error);
    return e.what();
  }
  return "no error";
}

} // namespace

TEST(StagedDestination, WorkbookIsBuiltInAPrivateHiddenFolderBesideTheDestination)
{
  temp_dir dir;
  write_file(dir.file("shop.xls"), "old");
  std::string folder;
  {
    staged_destination staged(wide(dir.file("shop.xls")));
    folder = plat::to_utf8(staged.folder());
    EXPECT_EQ(std::filesystem::path(folder).parent_path(), dir.path());
    EXPECT_EQ(std::filesystem::path(folder).filename().string().front(), '.');
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(plat::to_utf8(staged.path()), folder + "/shop.xls");
    write_file(plat::to_utf8(staged.path()), "half written");
  }
  // Not committed (a failure, a stop): the folder goes, the old file stays.
  EXPECT_FALSE(std::filesystem::exists(folder));
  EXPECT_EQ(read_file(dir.file("shop.xls")), "old");
  EXPECT_EQ(entry_names(dir.path()), (std::vector<std::string>{"shop.xls"}));
}

TEST(StagedDestination, CommitReplacesTheDestinationOnlyWithAWrittenWorkbook)
{
  const struct {
    const char* what;
    std::vector<std::string> written;  // files the run put into the folder
    bool committed;
    std::vector<std::string> after;    // the destination folder's entries
    std::string destination;           // shop.xls afterwards
  } cases[] = {
      {"nothing written", {}, false, {"shop(1).xls", "shop.xls"}, "old"},
      {"a workbook", {"shop.xls"}, true, {"shop(1).xls", "shop.xls"}, "new shop.xls"},
      {"a split workbook", {"shop.xls", "shop(1).xls", "shop(2).xls"}, true,
       {"shop(1).xls", "shop(2).xls", "shop.xls"}, "new shop.xls"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    temp_dir dir;
    write_file(dir.file("shop.xls"), "old");
    write_file(dir.file("shop(1).xls"), "old sibling");
    {
      staged_destination staged(wide(dir.file("shop.xls")));
      for (const std::string& name : c.written)
        write_file(plat::to_utf8(staged.folder()) + "/" + name, "new " + name);
      EXPECT_EQ(staged.commit(), c.committed);
    }
    EXPECT_EQ(entry_names(dir.path()), c.after);
    EXPECT_EQ(read_file(dir.file("shop.xls")), c.destination);
  }
}

TEST(StagedDestination, FailuresAreLevelOneErrorsThatNameTheSystemsReason)
{
  temp_dir dir;
  // A folder in the destination's place cannot be replaced by a file.
  std::filesystem::create_directory(dir.file("shop.xls"));
  {
    staged_destination staged(wide(dir.file("shop.xls")));
    write_file(plat::to_utf8(staged.path()), "new");
    EXPECT_EQ(error_of([&] { staged.commit(); }),
              "Cannot create the destination file '" + dir.file("shop.xls") + "': Is a directory");
  }
  EXPECT_EQ(entry_names(dir.path()), (std::vector<std::string>{"shop.xls"}));

  EXPECT_EQ(error_of([&] { staged_destination staged(wide(dir.file("missing/shop.xls"))); }),
            "Cannot create a file in the folder '" + dir.file("missing") + "': No such file or directory");
}

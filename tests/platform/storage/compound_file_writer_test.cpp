// The compound-file writer, read back by olefile, libgsf and our own reader,
// across the sizes where its layout changes (empty, mini stream, the cutoff,
// regular sectors, DIFAT), and its failures on a full disk or a bad name.
#include "platform/storage/storage.h"

#include "cfb_readers.h"
#include "storage_fixture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>

using namespace storage_fixture;

namespace {

TEST(storage_writer, StreamsOfEverySizeReadBackByThreeReaders)
{
  struct size_case {
    std::size_t size;
    std::vector<std::size_t> pieces;
    bool difat;
  };
  const size_case cases[] = {
      {0, {1}, false},
      {1, {1}, false},
      {64, {7}, false},
      {4095, {1000}, false},    // the largest mini stream
      {4096, {4096}, false},    // the smallest regular stream
      {4097, {4095, 2}, false},
      {200'001, {1, 65536 * 2, 300}, false},  // whole blocks past the buffer, then odd pieces
      // 109 FAT sectors map 109 * 128 sectors; past that the FAT needs a DIFAT sector.
      {512 * 109 * 128 + 1000, {1 << 20}, true},
  };
  for (const size_case& c : cases) {
    SCOPED_TRACE("stream of " + std::to_string(c.size) + " bytes");
    const temp_dir dir;
    const std::string path = dir.file("book.xls");
    const std::string bytes = pattern(c.size, static_cast<std::uint32_t>(c.size));
    write_compound_file(path, u"Workbook", bytes, c.pieces);

    const std::string file = read_file(path);
    ASSERT_EQ(file.size() % 512, 0u);
    EXPECT_EQ(storage_fixture::get32(file, 72) != 0, c.difat);  // DIFAT sector count
    EXPECT_EQ(cfb_readers::olefile_differences(path, "Workbook", bytes), "");
    EXPECT_EQ(cfb_readers::gsf_differences(path, "Workbook", bytes), "");
    HRESULT hr = E_FAIL;
    EXPECT_TRUE(read_back(path, L"WORKBOOK", hr) == bytes);
    EXPECT_EQ(hr, S_OK);
  }
}

TEST(storage_writer, NamesAreUtf16UpTo31Units)
{
  const std::u16string longest(31, u'x');
  const struct {
    std::u16string name;
    const char* utf8;
  } good[] = {{u"Book", "Book"}, {u"Wörkbüch Σ", "Wörkbüch Σ"}, {longest, "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"}};
  for (const auto& g : good) {
    SCOPED_TRACE(g.utf8);
    const temp_dir dir;
    write_compound_file(dir.file("f"), g.name, "abc");
    EXPECT_EQ(cfb_readers::olefile_differences(dir.file("f"), g.utf8, "abc"), "");
  }
  for (const std::u16string& bad : {std::u16string(), std::u16string(32, u'x'), std::u16string(u"a/b"),
                                    std::u16string(u"a:b"), std::u16string(u"a\0b", 3)}) {
    try {
      plat::storage::compound_file_writer writer(-1, bad);
      ADD_FAILURE() << "name accepted";
    } catch (const plat::storage::storage_error& e) {
      EXPECT_EQ(e.code(), STG_E_INVALIDNAME);
    }
  }
}

// Every write would land at the end of the file instead of its sector.
TEST(storage_writer, AppendingDescriptorIsRefused)
{
  const temp_dir dir;
  const plat::unique_fd fd(::open(dir.file("f").c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  ASSERT_GE(fd.get(), 0);
  try {
    plat::storage::compound_file_writer writer(fd.get(), u"Workbook");
    ADD_FAILURE() << "appending descriptor accepted";
  } catch (const plat::storage::storage_error& e) {
    EXPECT_EQ(e.code(), STG_E_INVALIDPARAMETER);
  }
}

TEST(storage_writer, RootClassIdIsStored)
{
  const temp_dir dir;
  const std::string path = dir.file("f");
  const GUID excel8 = {0x00020820, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  {
    const plat::unique_fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    plat::storage::compound_file_writer writer(fd.get(), u"Workbook");
    writer.set_root_clsid(excel8);
    writer.write("x", 1);
    writer.finish();
  }
  int status = 0;
  const std::string clsid = workbook_check::command_output(
      "/usr/bin/python3 -c 'import olefile, sys; print(olefile.OleFileIO(sys.argv[1]).root.clsid)' " +
          cfb_readers::quoted(path),
      &status);
  EXPECT_EQ(clsid, "00020820-0000-0000-C000-000000000046\n");
}

// A full disk, in the data sectors of a large stream (during write) and in the
// tables of a small one (during finish): STG_E_MEDIUMFULL with the system's
// text, and a writer that refuses to go on.
TEST(storage_writer, FullDiskIsMediumFullWithTheSystemText)
{
  for (const std::size_t size : {std::size_t{10}, std::size_t{300'000}}) {
    SCOPED_TRACE(size);
    const plat::unique_fd fd(::open("/dev/full", O_RDWR | O_CLOEXEC));
    ASSERT_GE(fd.get(), 0);
    plat::storage::compound_file_writer writer(fd.get(), u"Workbook");
    const std::string bytes = pattern(size, 1);
    try {
      writer.write(bytes.data(), bytes.size());
      writer.finish();
      ADD_FAILURE() << "no error on a full disk";
    } catch (const plat::storage::storage_error& e) {
      EXPECT_EQ(e.code(), STG_E_MEDIUMFULL);
      EXPECT_EQ(e.system_error(), ENOSPC);
      EXPECT_NE(std::string(e.what()).find(std::strerror(ENOSPC)), std::string::npos) << e.what();
    }
    try {
      writer.finish();
      ADD_FAILURE() << "finish after a failure";
    } catch (const plat::storage::storage_error& e) {
      EXPECT_EQ(e.code(), STG_E_INVALIDFUNCTION);
    }
  }
}

// A real small file system filling up part way through the data.
TEST(storage_writer, FullFileSystemIsMediumFull)
{
  const temp_dir dir;
  const std::string mount_point = dir.file("small");
  std::filesystem::create_directory(mount_point);
  int status = 0;
  workbook_check::command_output("mount -t tmpfs -o size=64k tmpfs " + cfb_readers::quoted(mount_point) +
                                     " 2>/dev/null",
                                 &status);
  if (status != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here";
  struct unmount {
    std::string at;
    ~unmount()
    {
      int ignored = 0;
      workbook_check::command_output("umount " + cfb_readers::quoted(at), &ignored);
    }
  } const unmount_at_end{mount_point};

  const std::string path = mount_point + "/book.xls";
  const plat::unique_fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  ASSERT_GE(fd.get(), 0);
  plat::storage::compound_file_writer writer(fd.get(), u"Workbook");
  const std::string bytes = pattern(1000, 2);
  try {
    for (int i = 0; i < 1000; ++i)
      writer.write(bytes.data(), bytes.size());
    writer.finish();
    ADD_FAILURE() << "1 MB fit into 64 KB";
  } catch (const plat::storage::storage_error& e) {
    EXPECT_EQ(e.code(), STG_E_MEDIUMFULL);
    EXPECT_EQ(e.system_error(), ENOSPC);
  }
}

// The format caps a 512-byte-sector file at 2 GiB; the writer stops at the
// stream's last byte that fits rather than write a file readers reject.
TEST(storage_writer, StreamThatWouldPassTwoGibibytesIsRefused)
{
  const plat::unique_fd fd(::open("/dev/null", O_RDWR | O_CLOEXEC));
  ASSERT_GE(fd.get(), 0);
  plat::storage::compound_file_writer writer(fd.get(), u"Workbook");
  const std::vector<char> block(1 << 20);
  int accepted = 0;
  try {
    for (; accepted < 2048; ++accepted)
      writer.write(block.data(), block.size());
    ADD_FAILURE() << "2 GiB of stream accepted";
  } catch (const plat::storage::storage_error& e) {
    EXPECT_EQ(e.code(), STG_E_DOCFILETOOLARGE);
  }
  EXPECT_GE(accepted, 2000);  // the tables take under 1 % of the file
}

} // namespace

// Opening compound files: files of other writers (LibreOffice, libgsf, a
// version 4 file) read as olefile reads them, streams written in place and read
// back by olefile, locks by open mode, and damaged or foreign files refused with
// a clear result instead of a crash.
#include "platform/storage/storage.h"

#include "cfb_readers.h"
#include "storage_fixture.h"
#include "support/temp_dir.h"
#include "support/libreoffice_profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using namespace storage_fixture;

namespace {

std::wstring wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Releases an interface at scope end.
template <class T>
class held {
public:
  held() = default;
  ~held()
  {
    if (p_ != nullptr)
      p_->Release();
  }
  held(const held&) = delete;
  held& operator=(const held&) = delete;
  T** out() { return &p_; }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  void reset()
  {
    if (p_ != nullptr)
      p_->Release();
    p_ = nullptr;
  }

private:
  T* p_ = nullptr;
};

HRESULT open_storage(const std::string& path, DWORD mode, held<IStorage>& storage)
{
  return StgOpenStorage(wide(path).c_str(), nullptr, mode, nullptr, 0, storage.out());
}

constexpr DWORD exclusive_rw = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD shared_read = STGM_READ | STGM_SHARE_DENY_NONE;

std::string run_python(const std::string& script, const std::vector<std::string>& args)
{
  std::string command =
      "/usr/bin/python3 " +
      cfb_readers::quoted((std::filesystem::path(QVT_TESTS_DIR) / "platform" / "storage" / script).string());
  for (const std::string& a : args) {
    command += ' ';
    command += cfb_readers::quoted(a);
  }
  int status = 0;
  const std::string out = workbook_check::command_output(command + " 2>&1", &status);
  return status == 0 ? std::string() : script + ": " + out;
}

// A file written by someone else, with the streams it holds.
struct foreign_file {
  const char* writer;
  std::string path;  // empty when the writer failed
  std::vector<std::string> streams;
};

// LibreOffice's .xls of a CSV: Workbook in regular sectors, the property
// streams in the mini stream. Empty path when LibreOffice is missing.
foreign_file libreoffice_workbook(const temp_dir& dir)
{
  if (!std::filesystem::exists("/usr/bin/soffice"))
    return {"LibreOffice", {}, {}};
  std::string csv = "id,name,amount\n";
  for (int i = 0; i < 3000; ++i)
    csv += std::to_string(i) + ",row " + std::to_string(i * 7) + "," + std::to_string(i * 1.25) + "\n";
  write_file(dir.file("table.csv"), csv);
  int status = 0;
  workbook_check::command_output("/usr/bin/soffice -env:UserInstallation=" +
                                     test_support::libreoffice_profile(dir.path().string()) +
                                     " --headless --convert-to xls --outdir " +
                                     cfb_readers::quoted(dir.path()) + " " +
                                     cfb_readers::quoted(dir.file("table.csv")) + " >/dev/null 2>&1",
                                 &status);
  if (status != 0 || !std::filesystem::exists(dir.file("table.xls")))
    return {"LibreOffice", {}, {}};
  return {"LibreOffice", dir.file("table.xls"),
          {"Workbook", "\005SummaryInformation", "\005DocumentSummaryInformation"}};
}

// libgsf's own writer: one stream above the cutoff, one below.
foreign_file gsf_file(const temp_dir& dir)
{
  write_file(dir.file("Workbook"), pattern(9000, 3));
  write_file(dir.file("Small"), pattern(100, 4));
  int status = 0;
  workbook_check::command_output("cd " + cfb_readers::quoted(dir.path()) +
                                     " && gsf createole gsf.ole Workbook Small >/dev/null 2>&1",
                                 &status);
  return {"gsf", status == 0 ? dir.file("gsf.ole") : std::string(), {"Workbook", "Small"}};
}

std::string read_all(IStream* stream)
{
  std::string out;
  char buffer[777];  // odd, so reads straddle sector ends
  ULONG got = 0;
  while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &got)) && got > 0)
    out.append(buffer, got);
  return out;
}

TEST(structured_storage, FilesOfOtherWritersReadAsOlefileReadsThem)
{
  const temp_dir dir;
  std::vector<foreign_file> files = {gsf_file(dir), libreoffice_workbook(dir)};
  for (const auto& [name, size] : {std::pair<const char*, std::size_t>{"v4mini", 3000}, {"v4big", 100'000}}) {
    write_file(dir.file(std::string(name) + ".data"), pattern(size, 5));
    const std::string made =
        run_python("make_cfb_v4.py", {dir.file(name), "Workbook", dir.file(std::string(name) + ".data")});
    ASSERT_EQ(made, "");
    ASSERT_EQ(cfb_readers::olefile_differences(dir.file(name), "Workbook", pattern(size, 5)), "");
    files.push_back({"version 4 fixture", dir.file(name), {"Workbook"}});
  }
  for (const foreign_file& f : files) {
    SCOPED_TRACE(f.writer);
    if (f.path.empty()) {
      ADD_FAILURE() << "the writer failed";
      continue;
    }
    held<IStorage> storage;
    ASSERT_EQ(open_storage(f.path, shared_read, storage), S_OK);
    for (const std::string& name : f.streams) {
      SCOPED_TRACE(name);
      held<IStream> stream;
      ASSERT_EQ(
          storage->OpenStream(wide(name).c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.out()),
          S_OK);
      const std::string expected = cfb_readers::olefile_stream(f.path, name);
      EXPECT_FALSE(expected.empty());
      EXPECT_TRUE(read_all(stream.get()) == expected);
    }
  }
}

TEST(structured_storage, NamesMatchWithoutCaseAcrossUnicode)
{
  const temp_dir dir;
  write_compound_file(dir.file("f"), u"Wörkbüch Σ", "abc");
  HRESULT hr = E_FAIL;
  EXPECT_EQ(read_back(dir.file("f"), L"WÖRKBÜCH σ", hr), "abc");
  EXPECT_EQ(hr, S_OK);
  read_back(dir.file("f"), L"Workbook", hr);
  EXPECT_EQ(hr, STG_E_FILENOTFOUND);
}

// Writes in place at (offset, bytes) pairs, through our stream, and checks the
// whole stream with olefile afterwards.
TEST(structured_storage, WritesInPlaceReachTheFileAtOnce)
{
  struct edit {
    std::uint64_t at;
    std::size_t size;
  };
  struct write_case {
    const char* what;
    std::size_t stream_size;
    std::vector<edit> edits;
  };
  const write_case cases[] = {
      {"mini stream", 3000, {{0, 1}, {60, 10}, {100, 1500}, {2990, 10}}},
      {"regular sectors", 100'000, {{500, 600}, {4000, 20000}, {99'999, 1}}},
      {"whole regular stream", 70'000, {{0, 70'000}}},
  };
  for (const write_case& c : cases) {
    SCOPED_TRACE(c.what);
    const temp_dir dir;
    const std::string path = dir.file("f");
    std::string expected = pattern(c.stream_size, 6);
    write_compound_file(path, u"Workbook", expected);
    held<IStorage> storage;
    ASSERT_EQ(open_storage(path, exclusive_rw, storage), S_OK);
    held<IStream> stream;
    ASSERT_EQ(storage->OpenStream(L"Workbook", nullptr, exclusive_rw, 0, stream.out()), S_OK);
    for (const edit& e : c.edits) {
      const std::string bytes = pattern(e.size, static_cast<std::uint32_t>(e.at) + 7);
      expected.replace(e.at, e.size, bytes);
      ULARGE_INTEGER at{};
      ASSERT_EQ(stream->Seek(LARGE_INTEGER{static_cast<LONGLONG>(e.at)}, STREAM_SEEK_SET, &at), S_OK);
      ULONG written = 0;
      ASSERT_EQ(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written), S_OK);
      EXPECT_EQ(written, e.size);
    }
    // Written through: olefile sees the change while our stream is still open.
    EXPECT_EQ(cfb_readers::olefile_differences(path, "Workbook", expected), "");
    ASSERT_EQ(stream->Seek(LARGE_INTEGER{0}, STREAM_SEEK_SET, nullptr), S_OK);
    EXPECT_TRUE(read_all(stream.get()) == expected);
  }
}

TEST(structured_storage, WritesIntoOtherWritersFiles)
{
  const temp_dir dir;
  for (const foreign_file& f : {gsf_file(dir), libreoffice_workbook(dir)}) {
    SCOPED_TRACE(f.writer);
    ASSERT_FALSE(f.path.empty());
    for (const std::string& name : f.streams) {
      std::string expected = cfb_readers::olefile_stream(f.path, name);
      const std::string bytes = pattern(expected.size() - 2, 8);
      expected.replace(1, bytes.size(), bytes);
      held<IStorage> storage;
      ASSERT_EQ(open_storage(f.path, exclusive_rw, storage), S_OK);
      held<IStream> stream;
      ASSERT_EQ(storage->OpenStream(wide(name).c_str(), nullptr, exclusive_rw, 0, stream.out()), S_OK);
      ASSERT_EQ(stream->Seek(LARGE_INTEGER{1}, STREAM_SEEK_SET, nullptr), S_OK);
      ASSERT_EQ(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr), S_OK);
      EXPECT_TRUE(cfb_readers::olefile_stream(f.path, name) == expected) << name;
    }
  }
}

// olefile writes into our file in place; we read what it wrote.
TEST(structured_storage, ReadsWhatOlefileWroteInPlace)
{
  for (const std::size_t size : {std::size_t{1000}, std::size_t{50'000}}) {
    SCOPED_TRACE(size);
    const temp_dir dir;
    write_compound_file(dir.file("f"), u"Book", pattern(size, 9));
    const std::string replacement = pattern(size, 10);
    ASSERT_EQ(cfb_readers::olefile_rewrite(dir.file("f"), "Book", replacement), "");
    HRESULT hr = E_FAIL;
    EXPECT_TRUE(read_back(dir.file("f"), L"Book", hr) == replacement);
    EXPECT_EQ(hr, S_OK);
  }
}

TEST(structured_storage, StreamsNeverGrowAndRefusedWritesChangeNothing)
{
  const temp_dir dir;
  const std::string path = dir.file("f");
  write_compound_file(path, u"Workbook", pattern(3000, 11));
  const std::string before = read_file(path);
  {
    held<IStorage> storage;
    ASSERT_EQ(open_storage(path, exclusive_rw, storage), S_OK);
    held<IStream> stream;
    ASSERT_EQ(storage->OpenStream(L"Workbook", nullptr, exclusive_rw, 0, stream.out()), S_OK);
    const struct {
      LONGLONG at;
      ULONG size;
      HRESULT result;
    } writes[] = {
        {2999, 2, STG_E_INVALIDFUNCTION},  // one byte past the end
        {3000, 1, STG_E_INVALIDFUNCTION},
        {1 << 20, 1, STG_E_INVALIDFUNCTION},
        {1 << 20, 0, S_OK},  // nothing to write is no growth
    };
    for (const auto& w : writes) {
      ASSERT_EQ(stream->Seek(LARGE_INTEGER{w.at}, STREAM_SEEK_SET, nullptr), S_OK);
      ULONG written = 99;
      EXPECT_EQ(stream->Write("xy", w.size, &written), w.result) << w.at;
      EXPECT_EQ(written, 0u);
    }
  }
  EXPECT_TRUE(read_file(path) == before);

  // Read access only: no stream opens for writing, and a read-only stream
  // refuses writes.
  held<IStorage> storage;
  ASSERT_EQ(open_storage(path, shared_read, storage), S_OK);
  held<IStream> stream;
  EXPECT_EQ(storage->OpenStream(L"Workbook", nullptr, exclusive_rw, 0, stream.out()), STG_E_ACCESSDENIED);
  EXPECT_EQ(stream.get(), nullptr);
  ASSERT_EQ(storage->OpenStream(L"Workbook", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.out()),
            S_OK);
  EXPECT_EQ(stream->Write("x", 1, nullptr), STG_E_ACCESSDENIED);
  EXPECT_TRUE(read_file(path) == before);
}

TEST(structured_storage, SeekAndReadFollowTheStreamPosition)
{
  const temp_dir dir;
  const std::string bytes = pattern(5000, 12);
  write_compound_file(dir.file("f"), u"Workbook", bytes);
  held<IStorage> storage;
  ASSERT_EQ(open_storage(dir.file("f"), shared_read, storage), S_OK);
  held<IStream> stream;
  ASSERT_EQ(storage->OpenStream(L"Workbook", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.out()),
            S_OK);
  // Each step: a seek, then a read of 100 bytes from where it lands, then back
  // to where the seek landed.
  const struct {
    LONGLONG move;
    DWORD origin;
    HRESULT result;
    std::uint64_t position;  // after the seek
    ULONG read;
  } steps[] = {
      {10, STREAM_SEEK_SET, S_OK, 10, 100},
      {40, STREAM_SEEK_CUR, S_OK, 50, 100},
      {-20, STREAM_SEEK_CUR, S_OK, 30, 100},
      {-30, STREAM_SEEK_END, S_OK, 4970, 30},    // short at the end, still S_OK
      {70, STREAM_SEEK_END, S_OK, 5070, 0},      // past the end is allowed
      {-1, STREAM_SEEK_SET, STG_E_INVALIDFUNCTION, 5070, 0},
      {-6000, STREAM_SEEK_CUR, STG_E_INVALIDFUNCTION, 5070, 0},
      {0, 3, STG_E_INVALIDFUNCTION, 5070, 0},
      {4095, STREAM_SEEK_SET, S_OK, 4095, 100},  // across the first sector end
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.move);
    ULARGE_INTEGER position{};
    EXPECT_EQ(stream->Seek(LARGE_INTEGER{s.move}, s.origin, &position), s.result);
    ULARGE_INTEGER now{};
    ASSERT_EQ(stream->Seek(LARGE_INTEGER{0}, STREAM_SEEK_CUR, &now), S_OK);
    EXPECT_EQ(now.QuadPart, s.position);
    char buffer[100];
    ULONG got = 99;
    ASSERT_EQ(stream->Read(buffer, sizeof buffer, &got), S_OK);
    ASSERT_EQ(got, s.read);
    EXPECT_EQ(std::string(buffer, got), bytes.substr(std::min<std::size_t>(s.position, bytes.size()), got));
    ASSERT_EQ(stream->Seek(LARGE_INTEGER{static_cast<LONGLONG>(s.position)}, STREAM_SEEK_SET, nullptr), S_OK);
  }
}

// The lock lives as long as the storage or any of its streams.
TEST(structured_storage, ExclusiveOpenLocksUntilTheLastRelease)
{
  const temp_dir dir;
  const std::string path = dir.file("f");
  write_compound_file(path, u"Workbook", "abc");
  held<IStorage> first;
  ASSERT_EQ(open_storage(path, exclusive_rw, first), S_OK);
  held<IStream> stream;
  ASSERT_EQ(first->OpenStream(L"Workbook", nullptr, exclusive_rw, 0, stream.out()), S_OK);
  first.reset();

  const struct {
    DWORD mode;
    HRESULT while_locked;
  } others[] = {
      {exclusive_rw, STG_E_LOCKVIOLATION},
      {STGM_READWRITE | STGM_SHARE_DENY_WRITE, STG_E_LOCKVIOLATION},
      {STGM_READ | STGM_SHARE_DENY_WRITE, STG_E_LOCKVIOLATION},
      {shared_read, S_OK},  // takes no lock, so sees none
  };
  for (const auto& o : others) {
    held<IStorage> second;
    EXPECT_EQ(open_storage(path, o.mode, second), o.while_locked) << std::hex << o.mode;
  }
  ASSERT_EQ(stream->Write("x", 1, nullptr), S_OK);  // the file is still open for the stream
  stream.reset();
  for (const auto& o : others) {
    held<IStorage> second;
    EXPECT_EQ(open_storage(path, o.mode, second), S_OK) << std::hex << o.mode;
  }

  // Readers that deny writing share the file with each other, not with a writer.
  held<IStorage> reader1, reader2, writer;
  EXPECT_EQ(open_storage(path, STGM_READ | STGM_SHARE_DENY_WRITE, reader1), S_OK);
  EXPECT_EQ(open_storage(path, STGM_READ | STGM_SHARE_DENY_WRITE, reader2), S_OK);
  EXPECT_EQ(open_storage(path, exclusive_rw, writer), STG_E_LOCKVIOLATION);
}

TEST(structured_storage, BadArgumentsAreRefused)
{
  const temp_dir dir;
  write_compound_file(dir.file("f"), u"Workbook", "abc");
  const std::wstring path = wide(dir.file("f"));
  IStorage* storage = nullptr;
  int dummy = 0;
  EXPECT_EQ(StgOpenStorage(path.c_str(), nullptr, shared_read, nullptr, 0, nullptr), STG_E_INVALIDPOINTER);
  EXPECT_EQ(StgOpenStorage(nullptr, nullptr, shared_read, nullptr, 0, &storage), STG_E_INVALIDNAME);
  EXPECT_EQ(StgOpenStorage(path.c_str(), nullptr, shared_read, &dummy, 0, &storage), STG_E_INVALIDPARAMETER);
  EXPECT_EQ(StgOpenStorage(path.c_str(), nullptr, 3, nullptr, 0, &storage), STG_E_INVALIDFLAG);
  EXPECT_EQ(StgOpenStorage(path.c_str(), nullptr, STGM_READ | 0x1000, nullptr, 0, &storage),
            STG_E_INVALIDFLAG);
  EXPECT_EQ(storage, nullptr);

  held<IStorage> held_storage;
  ASSERT_EQ(open_storage(dir.file("f"), shared_read, held_storage), S_OK);
  IStream* stream = nullptr;
  const DWORD mode = STGM_READ | STGM_SHARE_EXCLUSIVE;
  EXPECT_EQ(held_storage->OpenStream(L"Workbook", nullptr, mode, 0, nullptr), STG_E_INVALIDPOINTER);
  EXPECT_EQ(held_storage->OpenStream(nullptr, nullptr, mode, 0, &stream), STG_E_INVALIDNAME);
  EXPECT_EQ(held_storage->OpenStream(L"Workbook", &dummy, mode, 0, &stream), STG_E_INVALIDPARAMETER);
  EXPECT_EQ(held_storage->OpenStream(L"Workbook", nullptr, mode, 1, &stream), STG_E_INVALIDPARAMETER);
  EXPECT_EQ(held_storage->OpenStream(std::wstring(32, L'W').c_str(), nullptr, mode, 0, &stream),
            STG_E_INVALIDNAME);
  EXPECT_EQ(stream, nullptr);

  // QueryInterface answers for the storage interface and IUnknown only.
  void* other = nullptr;
  EXPECT_EQ(held_storage->QueryInterface(IStream::iid, &other), E_NOINTERFACE);
  ASSERT_EQ(held_storage->QueryInterface(IStorage::iid, &other), S_OK);
  static_cast<IStorage*>(other)->Release();
}

// Each case damages a good file (ours, with a regular or a mini stream) or
// names a file that is none; reading the stream must fail with the result
// given, at whichever step finds the damage.
TEST(structured_storage, DamagedAndForeignFilesAreRefusedCleanly)
{
  using damage = std::function<void(std::string& file)>;
  struct fault_case {
    const char* what;
    std::size_t stream_size;  // 0: the file is not ours at all
    damage change;
    HRESULT result;
  };
  const damage none = [](std::string&) {};
  const std::size_t difat_size = 512 * 109 * 128 + 1000;
  const fault_case cases[] = {
      {"text file", 0, [](std::string& f) { f = "just some text\n"; }, STG_E_INVALIDHEADER},
      {"empty file", 0, [](std::string& f) { f.clear(); }, STG_E_INVALIDHEADER},
      {"zip archive", 0, [](std::string& f) { f = std::string("PK\x03\x04", 4) + std::string(600, 'z'); },
       STG_E_INVALIDHEADER},
      {"header cut short", 5120, [](std::string& f) { f.resize(300); }, STG_E_DOCFILECORRUPT},
      {"file cut to half", 5120, [](std::string& f) { f.resize(f.size() / 2); }, STG_E_DOCFILECORRUPT},
      {"unknown major version", 5120, [](std::string& f) { f[26] = 5; }, STG_E_INVALIDHEADER},
      {"4 KiB sectors in version 3", 5120, [](std::string& f) { f[30] = 12; }, STG_E_INVALIDHEADER},
      {"more FAT sectors than the file has", 5120, [](std::string& f) { put32(f, 44, 0x10000000); },
       STG_E_DOCFILECORRUPT},
      {"FAT sector out of range", 5120, [](std::string& f) { put32(f, 76, 0x00FFFFFF); },
       STG_E_DOCFILECORRUPT},
      {"directory sector out of range", 5120, [](std::string& f) { put32(f, 48, 9999); },
       STG_E_DOCFILECORRUPT},
      {"cycle in the stream's chain", 5120, [](std::string& f) { put32(f, fat_entry_at(f, 5), 2); },
       STG_E_DOCFILECORRUPT},
      {"chain into a sector past the end", 5120,
       [](std::string& f) { put32(f, fat_entry_at(f, 5), 0x00FFFFFF); }, STG_E_DOCFILECORRUPT},
      {"chain into a free sector", 5120, [](std::string& f) { put32(f, fat_entry_at(f, 5), 0xFFFFFFFF); },
       STG_E_DOCFILECORRUPT},
      {"chain shorter than the size", 5120, [](std::string& f) { put32(f, fat_entry_at(f, 5), 0xFFFFFFFE); },
       STG_E_DOCFILECORRUPT},
      {"cycle in the directory chain", 5120,
       [](std::string& f) { put32(f, fat_entry_at(f, get32(f, 48)), get32(f, 48)); }, STG_E_DOCFILECORRUPT},
      {"huge stream size", 5120, [](std::string& f) { put32(f, directory_entry_at(f, 1) + 120, 0xFFFFFF00); },
       STG_E_DOCFILECORRUPT},
      {"size shrunk below the cutoff, no mini stream", 5120,
       [](std::string& f) { put32(f, directory_entry_at(f, 1) + 120, 100); }, STG_E_DOCFILECORRUPT},
      {"cycle in the mini FAT", 3000, [](std::string& f) { put32(f, mini_fat_entry_at(f, 20), 3); },
       STG_E_DOCFILECORRUPT},
      {"mini sector past the mini stream", 3000,
       [](std::string& f) { put32(f, mini_fat_entry_at(f, 20), 5000); }, STG_E_DOCFILECORRUPT},
      {"mini stream size beyond the file", 3000,
       [](std::string& f) { put32(f, directory_entry_at(f, 0) + 120, 0x7FFFFFFF); }, STG_E_DOCFILECORRUPT},
      {"root child out of range", 3000, [](std::string& f) { put32(f, directory_entry_at(f, 0) + 76, 4000); },
       STG_E_DOCFILECORRUPT},
      {"sibling loop", 3000,
       [](std::string& f) {
         put32(f, directory_entry_at(f, 1) + 68, 1);
         f[directory_entry_at(f, 1)] = 'X';  // so the search must walk on
       },
       STG_E_DOCFILECORRUPT},
      {"entry name length past its field", 3000,
       [](std::string& f) { f[directory_entry_at(f, 1) + 64] = 66; }, STG_E_DOCFILECORRUPT},
      {"first entry is no root", 3000, [](std::string& f) { f[directory_entry_at(f, 0) + 66] = 1; },
       STG_E_DOCFILECORRUPT},
      {"no such stream", 3000, [](std::string& f) { f[directory_entry_at(f, 1)] = 'X'; }, STG_E_FILENOTFOUND},
      {"a storage of that name", 3000, [](std::string& f) { f[directory_entry_at(f, 1) + 66] = 1; },
       STG_E_FILENOTFOUND},
      {"DIFAT sector out of range", difat_size, [](std::string& f) { put32(f, 68, 0x00FFFFFF); },
       STG_E_DOCFILECORRUPT},
      {"DIFAT chain into itself", difat_size,
       [](std::string& f) {
         put32(f, 44, get32(f, 44) + 127);  // more FAT than one DIFAT sector lists
         put32(f, (get32(f, 68) + 1) * 512u + 508, get32(f, 68));
       },
       STG_E_DOCFILECORRUPT},
      {"intact", 5120, none, S_OK},
      {"intact with a DIFAT", difat_size, none, S_OK},
  };
  for (const fault_case& c : cases) {
    SCOPED_TRACE(c.what);
    const temp_dir dir;
    const std::string path = dir.file("book.xls");
    const std::string bytes = pattern(c.stream_size, 13);
    write_compound_file(path, u"Workbook", bytes);
    std::string file = read_file(path);
    c.change(file);
    write_file(path, file);
    HRESULT hr = E_FAIL;
    const std::string got = read_back(path, L"Workbook", hr);
    EXPECT_EQ(hr, c.result) << std::hex << hr;
    if (c.result == S_OK) {
      EXPECT_TRUE(got == bytes);
    }
  }

  const temp_dir dir;
  const struct {
    std::string path;
    HRESULT result;
  } paths[] = {
      {dir.file("missing.xls"), STG_E_FILENOTFOUND},
      {dir.path().string(), STG_E_ACCESSDENIED},  // a folder
      {dir.file("missing/inner.xls"), STG_E_FILENOTFOUND},
  };
  for (const auto& p : paths) {
    held<IStorage> storage;
    EXPECT_EQ(open_storage(p.path, shared_read, storage), p.result) << p.path;
    EXPECT_EQ(storage.get(), nullptr);
  }
}

} // namespace

namespace {

// Random damage to the tables of small files, opened for writing and read and
// written through: whatever comes back, nothing may crash or overrun (the
// sanitizer builds watch this test).
TEST(structured_storage, RandomDamageNeverCrashes)
{
  const temp_dir dir;
  const std::string path = dir.file("f");
  std::uint32_t x = 12345;
  const auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
  };
  const int rounds = 300;
  for (const std::size_t size : {std::size_t{3000}, std::size_t{5120}}) {
    write_compound_file(path, u"Workbook", pattern(size, 14));
    const std::string good = read_file(path);
    const std::size_t tables = good.size() - 3 * 512;  // mini FAT or last data sector, directory, FAT
    for (int round = 0; round < rounds; ++round) {
      std::string file = good;
      for (std::uint32_t n = next() % 4 + 1; n > 0; --n) {
        const bool in_header = next() % 3 == 0;
        const std::size_t at = in_header ? 40 + next() % 40 : tables + next() % (good.size() - tables);
        file[at] = static_cast<char>(next() % 5 == 0 ? 0xFF : next());
      }
      write_file(path, file);
      held<IStorage> storage;
      if (FAILED(open_storage(path, exclusive_rw, storage)))
        continue;
      held<IStream> stream;
      if (FAILED(storage->OpenStream(L"Workbook", nullptr, exclusive_rw, 0, stream.out())))
        continue;
      read_all(stream.get());
      const std::string bytes = pattern(700, 15);
      stream->Seek(LARGE_INTEGER{static_cast<LONGLONG>(next() % size)}, STREAM_SEEK_SET, nullptr);
      stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
    }
  }
}

} // namespace

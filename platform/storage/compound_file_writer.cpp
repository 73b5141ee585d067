// The one-stream compound-file writer. The file is laid out in the order it is
// written, [stream or mini stream][mini FAT][directory][FAT][DIFAT], header last:
// data sectors go out as the bytes come, and every table is computed from the
// sector counts at finish(), so memory stays at one write buffer.
#include "platform/storage/storage.h"

#include "platform/files.h"
#include "platform/process.h"
#include "platform/storage/cfb_format.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace plat::storage {

namespace {

constexpr std::uint32_t sector_size = 512;
constexpr std::uint32_t entries_per_sector = sector_size / 4;
constexpr std::uint32_t difat_entries_per_sector = entries_per_sector - 1;
// Writes go out in blocks of this many bytes (a whole number of sectors).
constexpr std::size_t block_size = 64 * 1024;
// A 512-byte-sector file may not pass 2 GiB, header included.
constexpr std::uint64_t max_file_size = 0x80000000u;

// Where each part of the file lies, in sectors counted after the header.
struct layout {
  std::uint32_t data = 0;      // the stream, or the mini stream
  std::uint32_t mini_fat = 0;  // 0 or 1: a mini stream holds at most 64 mini sectors
  std::uint32_t fat = 0;
  std::uint32_t difat = 0;

  std::uint32_t directory_at() const { return data + mini_fat; }
  std::uint32_t fat_at() const { return directory_at() + 1; }
  std::uint32_t difat_at() const { return fat_at() + fat; }
  std::uint64_t sectors() const { return std::uint64_t{difat_at()} + difat; }

  // FAT and DIFAT sizes grow with each other: the FAT maps its own sectors and
  // the DIFAT's, so grow both until they cover everything.
  static layout of(std::uint32_t data_sectors, std::uint32_t mini_fat_sectors)
  {
    layout l;
    l.data = data_sectors;
    l.mini_fat = mini_fat_sectors;
    for (;;) {
      const std::uint64_t mapped = l.sectors();
      const auto fat = static_cast<std::uint32_t>((mapped + entries_per_sector - 1) / entries_per_sector);
      const std::uint32_t difat =
          fat > cfb::header_difat_entries
              ? (fat - static_cast<std::uint32_t>(cfb::header_difat_entries) + difat_entries_per_sector - 1) /
                    difat_entries_per_sector
              : 0;
      if (fat == l.fat && difat == l.difat)
        return l;
      l.fat = fat;
      l.difat = difat;
    }
  }

  // The FAT entry of sector `s`.
  std::uint32_t fat_entry(std::uint64_t s) const
  {
    if (s < data)
      return s + 1 < data ? static_cast<std::uint32_t>(s + 1) : cfb::end_of_chain;
    if (s < fat_at())
      return cfb::end_of_chain;  // the mini FAT's one sector and the directory's
    if (s < difat_at())
      return cfb::fat_sector;
    if (s < sectors())
      return cfb::difat_sector;
    return cfb::free_sector;
  }
};

// The largest stream whose file stays within max_file_size.
std::uint64_t max_stream_size()
{
  static const std::uint64_t size = [] {
    std::uint32_t low = 0;
    auto high = static_cast<std::uint32_t>(max_file_size / sector_size);
    while (low < high) {  // the largest data sector count that fits
      const std::uint32_t mid = low + (high - low + 1) / 2;
      if ((layout::of(mid, 0).sectors() + 1) * sector_size <= max_file_size)
        low = mid;
      else
        high = mid - 1;
    }
    return std::min<std::uint64_t>(std::uint64_t{low} * sector_size, cfb::v3_max_stream_size);
  }();
  return size;
}

void put_entry(unsigned char* e, std::u16string_view name, std::uint8_t type, std::uint32_t child,
               std::uint32_t start, std::uint64_t size)
{
  for (std::size_t i = 0; i < name.size(); ++i)
    cfb::put16(e + cfb::entry::name + 2 * i, static_cast<std::uint16_t>(name[i]));
  cfb::put16(e + cfb::entry::name_bytes, static_cast<std::uint16_t>(2 * (name.size() + 1)));
  e[cfb::entry::type] = type;
  e[cfb::entry::color] = cfb::entry::black;
  cfb::put32(e + cfb::entry::left, cfb::no_stream);
  cfb::put32(e + cfb::entry::right, cfb::no_stream);
  cfb::put32(e + cfb::entry::child, child);
  cfb::put32(e + cfb::entry::start_sector, start);
  cfb::put64(e + cfb::entry::size, size);
}

void put_unused_entry(unsigned char* e)
{
  cfb::put32(e + cfb::entry::left, cfb::no_stream);
  cfb::put32(e + cfb::entry::right, cfb::no_stream);
  cfb::put32(e + cfb::entry::child, cfb::no_stream);
}

void check_name(std::u16string_view name)
{
  if (name.empty() || name.size() > cfb::max_name_units)
    throw storage_error("a stream name must have 1 to 31 characters", STG_E_INVALIDNAME);
  for (const char16_t c : name)
    if (c == u'\0' || c == u'/' || c == u'\\' || c == u':' || c == u'!')
      throw storage_error("a stream name may not hold NUL, '/', '\\', ':' or '!'", STG_E_INVALIDNAME);
}

} // namespace

class compound_file_writer::impl {
public:
  impl(int fd, std::u16string name) : fd_(fd), name_(std::move(name))
  {
    check_name(name_);
    // Linux appends every pwrite to such a file, wherever it was aimed.
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags != -1 && (flags & O_APPEND) != 0)
      throw storage_error("the compound file is open for appending", STG_E_INVALIDPARAMETER);
    buffer_.reserve(block_size);
  }

  void set_clsid(const GUID& id)
  {
    cfb::put32(clsid_, id.Data1);
    cfb::put16(clsid_ + 4, id.Data2);
    cfb::put16(clsid_ + 6, id.Data3);
    std::memcpy(clsid_ + 8, id.Data4, sizeof id.Data4);
  }

  void write(const void* data, std::size_t size)
  {
    usable();
    if (data == nullptr && size > 0)
      throw storage_error("no bytes to write", STG_E_INVALIDPOINTER);
    const failure_guard guard(*this);
    if (size > max_stream_size() - size_)
      throw storage_error("the stream would make the compound file larger than 2 GiB, the limit of "
                          "its format",
                          STG_E_DOCFILETOOLARGE);
    const auto* p = static_cast<const unsigned char*>(data);
    size_ += size;
    while (size > 0) {
      // Whole blocks skip the buffer; the file is past the mini-stream cutoff then.
      if (buffer_.empty() && size >= block_size) {
        const std::size_t run = size - size % block_size;
        put(p, run);
        p += run;
        size -= run;
        continue;
      }
      const std::size_t part = std::min(size, block_size - buffer_.size());
      buffer_.insert(buffer_.end(), p, p + part);
      p += part;
      size -= part;
      if (buffer_.size() == block_size)
        flush();
    }
    guard.release();
  }

  void finish()
  {
    usable();
    const failure_guard guard(*this);
    const bool mini = size_ < cfb::mini_stream_cutoff;
    // The mini stream holds whole mini sectors; it is the root entry's stream.
    const std::uint64_t data_bytes =
        mini ? round_up(size_, cfb::mini_sector_size) : size_;
    const auto mini_sectors = mini ? static_cast<std::uint32_t>(data_bytes / cfb::mini_sector_size) : 0;
    const layout l = layout::of(static_cast<std::uint32_t>(round_up(data_bytes, sector_size) / sector_size),
                                mini_sectors > 0 ? 1 : 0);
    pad_to_sector();

    std::vector<unsigned char> sector(sector_size);
    if (l.mini_fat > 0) {
      for (std::uint32_t i = 0; i < entries_per_sector; ++i)
        cfb::put32(&sector[4 * i], i + 1 < mini_sectors ? i + 1
                                   : i + 1 == mini_sectors ? cfb::end_of_chain
                                                           : cfb::free_sector);
      append(sector.data(), sector.size());
    }

    std::fill(sector.begin(), sector.end(), 0);
    put_entry(&sector[0], u"Root Entry", cfb::entry::type_root, 1,
              mini_sectors > 0 ? 0 : cfb::end_of_chain, mini ? data_bytes : 0);
    std::memcpy(&sector[cfb::entry::clsid], clsid_, sizeof clsid_);
    put_entry(&sector[cfb::directory_entry_size], name_, cfb::entry::type_stream, cfb::no_stream,
              size_ > 0 ? 0 : cfb::end_of_chain, size_);
    put_unused_entry(&sector[2 * cfb::directory_entry_size]);
    put_unused_entry(&sector[3 * cfb::directory_entry_size]);
    append(sector.data(), sector.size());

    for (std::uint32_t f = 0; f < l.fat; ++f) {
      for (std::uint32_t i = 0; i < entries_per_sector; ++i)
        cfb::put32(&sector[4 * i], l.fat_entry(std::uint64_t{f} * entries_per_sector + i));
      append(sector.data(), sector.size());
    }
    for (std::uint32_t d = 0; d < l.difat; ++d) {
      for (std::uint32_t i = 0; i < difat_entries_per_sector; ++i) {
        const std::uint64_t f = cfb::header_difat_entries + std::uint64_t{d} * difat_entries_per_sector + i;
        cfb::put32(&sector[4 * i], f < l.fat ? l.fat_at() + static_cast<std::uint32_t>(f) : cfb::free_sector);
      }
      cfb::put32(&sector[4 * difat_entries_per_sector],
                 d + 1 < l.difat ? l.difat_at() + d + 1 : cfb::end_of_chain);
      append(sector.data(), sector.size());
    }
    flush();
    assert(written_ == l.sectors() * sector_size);

    unsigned char head[cfb::header_size] = {};
    std::memcpy(head, cfb::signature, sizeof cfb::signature);
    cfb::put16(head + cfb::header::minor_version, 0x003E);
    cfb::put16(head + cfb::header::major_version, 3);
    cfb::put16(head + cfb::header::byte_order, 0xFFFE);
    cfb::put16(head + cfb::header::sector_shift, 9);
    cfb::put16(head + cfb::header::mini_sector_shift, 6);
    cfb::put32(head + cfb::header::fat_sector_count, l.fat);
    cfb::put32(head + cfb::header::first_directory_sector, l.directory_at());
    cfb::put32(head + cfb::header::mini_stream_cutoff, cfb::mini_stream_cutoff);
    cfb::put32(head + cfb::header::first_mini_fat_sector, l.mini_fat > 0 ? l.data : cfb::end_of_chain);
    cfb::put32(head + cfb::header::mini_fat_sector_count, l.mini_fat);
    cfb::put32(head + cfb::header::first_difat_sector, l.difat > 0 ? l.difat_at() : cfb::end_of_chain);
    cfb::put32(head + cfb::header::difat_sector_count, l.difat);
    for (std::uint32_t i = 0; i < cfb::header_difat_entries; ++i)
      cfb::put32(head + cfb::header::difat + 4 * i, i < l.fat ? l.fat_at() + i : cfb::free_sector);
    // The header goes last: until it is there, the file is no compound file at all.
    if (!pwrite_all(fd_, head, sizeof head, 0))
      check(errno);

    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)  // those: no syncing on this file
      check(errno);
    finished_ = true;
    guard.release();
  }

private:
  // Marks the writer failed unless released: a half-written file takes no more.
  class failure_guard {
  public:
    explicit failure_guard(impl& owner) : owner_(&owner) {}
    ~failure_guard()
    {
      if (owner_ != nullptr)
        owner_->failed_ = true;
    }
    failure_guard(const failure_guard&) = delete;
    failure_guard& operator=(const failure_guard&) = delete;
    void release() const { owner_ = nullptr; }

  private:
    mutable impl* owner_;
  };

  static std::uint64_t round_up(std::uint64_t n, std::uint64_t unit) { return (n + unit - 1) / unit * unit; }

  void usable() const
  {
    if (failed_)
      throw storage_error("the compound file writer failed before", STG_E_INVALIDFUNCTION);
    if (finished_)
      throw storage_error("the compound file is finished", STG_E_INVALIDFUNCTION);
  }

  void check(int error) const
  {
    if (error != 0)
      throw storage_error("cannot write the compound file: " + plat::error_text(error),
                          write_failure_code(error), error);
  }

  // Sequential output after the header: sector `written_ / 512`.
  void put(const void* data, std::size_t size)
  {
    if (!pwrite_all(fd_, data, size, cfb::header_size + written_))
      check(errno);
    written_ += size;
  }

  void append(const void* data, std::size_t size)
  {
    const auto* p = static_cast<const unsigned char*>(data);
    buffer_.insert(buffer_.end(), p, p + size);
    if (buffer_.size() >= block_size)
      flush();
  }

  void flush()
  {
    if (buffer_.empty())
      return;
    put(buffer_.data(), buffer_.size());
    buffer_.clear();
  }

  void pad_to_sector()
  {
    const std::uint64_t total = written_ + buffer_.size();
    buffer_.resize(buffer_.size() + static_cast<std::size_t>(round_up(total, sector_size) - total), 0);
  }

  int fd_;
  std::u16string name_;
  unsigned char clsid_[16] = {};
  std::vector<unsigned char> buffer_;
  std::uint64_t size_ = 0;     // stream bytes given so far
  std::uint64_t written_ = 0;  // bytes written after the header
  bool failed_ = false;
  bool finished_ = false;
};

compound_file_writer::compound_file_writer(int fd, std::u16string stream_name)
    : impl_(std::make_unique<impl>(fd, std::move(stream_name)))
{
}

compound_file_writer::~compound_file_writer() = default;

void compound_file_writer::set_root_clsid(const GUID& clsid) { impl_->set_clsid(clsid); }

void compound_file_writer::write(const void* data, std::size_t size) { impl_->write(data, size); }

void compound_file_writer::finish() { impl_->finish(); }

} // namespace plat::storage

// Parsing and checking a compound file, and stream I/O through its chains. A
// hostile file can name any sector, any directory entry and any size: each is
// checked against what the file holds before it is followed, every chain walk
// stops at a repeat, and tables are sized by the file, never by a claim in it.
#include "platform/storage/compound_file.h"

#include "platform/case_fold.h"
#include "platform/storage/cfb_format.h"
#include "platform/storage/storage.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <sys/stat.h>
#include <unistd.h>

namespace plat::storage {

namespace {

// Raised while parsing; open() turns it into its result.
struct failure {
  HRESULT code;
};

[[noreturn]] void corrupt() { throw failure{STG_E_DOCFILECORRUPT}; }

std::uint64_t ceil_div(std::uint64_t n, std::uint64_t d) { return n / d + (n % d != 0); }

// A chain read up to its end-of-chain mark, not to a length known in advance.
constexpr std::uint64_t whole_chain = ~std::uint64_t{0};

} // namespace

HRESULT compound_file::open(unique_fd fd, std::shared_ptr<compound_file>& out)
{
  std::unique_ptr<compound_file> file(new (std::nothrow) compound_file(std::move(fd)));
  if (file == nullptr)
    return E_OUTOFMEMORY;  // the descriptor closes with `fd`
  try {
    file->parse();
    out = std::shared_ptr<compound_file>(std::move(file));  // keeps `file` if it throws
  } catch (const failure& f) {
    return f.code;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

compound_file::~compound_file()
{
  // Written through at every write; this makes it durable before the lock goes.
  if (written_)
    ::fsync(fd_.get());
}

void compound_file::parse()
{
  unsigned char head[cfb::header_size];
  std::size_t got = 0;
  if (!pread_all(fd_.get(), head, sizeof head, 0, got))
    throw failure{STG_E_READFAULT};
  if (got < sizeof cfb::signature || std::memcmp(head, cfb::signature, sizeof cfb::signature) != 0)
    throw failure{STG_E_INVALIDHEADER};
  if (got < sizeof head)
    corrupt();  // a compound file cut short within its header
  const std::uint16_t major = cfb::get16(head + cfb::header::major_version);
  const std::uint16_t shift = cfb::get16(head + cfb::header::sector_shift);
  if (cfb::get16(head + cfb::header::byte_order) != 0xFFFE ||
      !((major == 3 && shift == 9) || (major == 4 && shift == 12)))
    throw failure{STG_E_INVALIDHEADER};
  version4_ = major == 4;
  sector_size_ = 1u << shift;
  if (cfb::get16(head + cfb::header::mini_sector_shift) != 6 ||
      cfb::get32(head + cfb::header::mini_stream_cutoff) != cfb::mini_stream_cutoff)
    corrupt();

  struct stat st {};
  if (::fstat(fd_.get(), &st) != 0)
    throw failure{STG_E_READFAULT};
  const auto file_size = static_cast<std::uint64_t>(st.st_size);
  sector_count_ = file_size > sector_size_ ? ceil_div(file_size - sector_size_, sector_size_) : 0;
  sector_count_ = std::min<std::uint64_t>(sector_count_, std::uint64_t{cfb::max_regular_sector} + 1);
  const std::uint32_t per_sector = sector_size_ / 4;

  // The FAT's sectors: 109 in the header, the rest in the DIFAT chain.
  const std::uint32_t fat_sectors = cfb::get32(head + cfb::header::fat_sector_count);
  if (fat_sectors > sector_count_)
    corrupt();
  std::vector<std::uint32_t> fat_at;
  fat_at.reserve(fat_sectors);
  for (std::size_t i = 0; i < cfb::header_difat_entries && fat_at.size() < fat_sectors; ++i)
    fat_at.push_back(cfb::get32(head + cfb::header::difat + 4 * i));
  std::vector<unsigned char> sector(sector_size_);
  std::vector<bool> seen_difat(static_cast<std::size_t>(sector_count_));
  for (std::uint32_t next = cfb::get32(head + cfb::header::first_difat_sector);
       fat_at.size() < fat_sectors;) {
    if (next >= sector_count_ || seen_difat[next])
      corrupt();
    seen_difat[next] = true;
    read_sector(next, sector.data());
    for (std::uint32_t i = 0; i + 1 < per_sector && fat_at.size() < fat_sectors; ++i)
      fat_at.push_back(cfb::get32(&sector[4 * i]));
    next = cfb::get32(&sector[4 * (per_sector - 1)]);
  }
  fat_.resize(std::size_t{fat_sectors} * per_sector);
  for (std::size_t f = 0; f < fat_at.size(); ++f) {
    if (fat_at[f] >= sector_count_)
      corrupt();
    read_sector(fat_at[f], sector.data());
    for (std::uint32_t i = 0; i < per_sector; ++i)
      fat_[f * per_sector + i] = cfb::get32(&sector[4 * i]);
  }

  const std::vector<std::uint32_t> directory_at =
      chain(cfb::get32(head + cfb::header::first_directory_sector), fat_, sector_count_, whole_chain);
  if (directory_at.empty())
    corrupt();
  directory_.resize(directory_at.size() * sector_size_);
  for (std::size_t i = 0; i < directory_at.size(); ++i)
    read_sector(directory_at[i], &directory_[i * sector_size_]);
  const unsigned char* root = directory_.data();
  if (root[cfb::entry::type] != cfb::entry::type_root)
    corrupt();

  // The mini stream is the root entry's stream; the mini FAT maps its sectors.
  const std::uint64_t mini_bytes =
      version4_ ? cfb::get64(root + cfb::entry::size) : cfb::get32(root + cfb::entry::size);
  if (mini_bytes > 0)
    mini_stream_ = chain(cfb::get32(root + cfb::entry::start_sector), fat_, sector_count_,
                         ceil_div(mini_bytes, sector_size_));
  mini_sector_count_ = ceil_div(mini_bytes, cfb::mini_sector_size);
  const std::uint32_t mini_fat_start = cfb::get32(head + cfb::header::first_mini_fat_sector);
  if (mini_fat_start != cfb::end_of_chain && cfb::get32(head + cfb::header::mini_fat_sector_count) > 0) {
    const std::vector<std::uint32_t> mini_fat_at = chain(mini_fat_start, fat_, sector_count_, whole_chain);
    mini_fat_.resize(mini_fat_at.size() * per_sector);
    for (std::size_t f = 0; f < mini_fat_at.size(); ++f) {
      read_sector(mini_fat_at[f], sector.data());
      for (std::uint32_t i = 0; i < per_sector; ++i)
        mini_fat_[f * per_sector + i] = cfb::get32(&sector[4 * i]);
    }
  }
}

// The chain from `start` through `table`: every link below `limit`, none seen
// twice, none marking a table sector: `needed` links (a longer chain is cut),
// or up to the end-of-chain mark for whole_chain.
std::vector<std::uint32_t> compound_file::chain(std::uint32_t start, const std::vector<std::uint32_t>& table,
                                                std::uint64_t limit, std::uint64_t needed) const
{
  std::vector<std::uint32_t> links;
  if (needed == 0)
    return links;
  if (needed != whole_chain) {
    if (needed > limit)
      corrupt();
    links.reserve(static_cast<std::size_t>(needed));
  }
  std::vector<bool> seen(static_cast<std::size_t>(limit));
  for (std::uint32_t s = start; s != cfb::end_of_chain;) {
    if (s >= limit || seen[s] || s >= table.size())
      corrupt();
    const std::uint32_t next = table[s];
    if (next == cfb::free_sector || next == cfb::fat_sector || next == cfb::difat_sector)
      corrupt();  // a data sector the table says is free or one of its own
    seen[s] = true;
    links.push_back(s);
    if (links.size() == needed)
      return links;
    s = next;
  }
  if (needed != whole_chain)
    corrupt();  // shorter than the size says
  return links;
}

void compound_file::read_sector(std::uint32_t sector, unsigned char* out) const
{
  std::size_t got = 0;
  if (!pread_all(fd_.get(), out, sector_size_, sector_offset(sector), got))
    throw failure{STG_E_READFAULT};
  if (got < sector_size_)
    corrupt();  // the file ends inside a table
}

HRESULT compound_file::find_stream(std::wstring_view name, stream_map& out) const
{
  const std::size_t entries = directory_.size() / cfb::directory_entry_size;
  try {
    // The root's children form a tree through their sibling links; walk all of
    // it rather than trust its order, which writers differ on.
    std::vector<bool> seen(entries);
    std::vector<std::uint32_t> pending{cfb::get32(directory_.data() + cfb::entry::child)};
    std::u16string entry_name;
    while (!pending.empty()) {
      const std::uint32_t id = pending.back();
      pending.pop_back();
      if (id == cfb::no_stream)
        continue;
      if (id >= entries || seen[id])
        corrupt();
      seen[id] = true;
      const unsigned char* e = &directory_[std::size_t{id} * cfb::directory_entry_size];
      const std::uint8_t type = e[cfb::entry::type];
      const std::uint16_t name_bytes = cfb::get16(e + cfb::entry::name_bytes);
      if ((type != cfb::entry::type_stream && type != cfb::entry::type_storage) || name_bytes < 2 ||
          name_bytes > 64 || name_bytes % 2 != 0)
        corrupt();
      pending.push_back(cfb::get32(e + cfb::entry::left));
      pending.push_back(cfb::get32(e + cfb::entry::right));
      entry_name.clear();
      for (std::size_t i = 0; i + 1 < name_bytes / 2u; ++i)
        entry_name.push_back(static_cast<char16_t>(cfb::get16(e + cfb::entry::name + 2 * i)));
      if (!plat::equal_no_case(plat::from_utf16(entry_name), name))
        continue;
      if (type != cfb::entry::type_stream)
        return STG_E_FILENOTFOUND;

      stream_map found;
      found.size = version4_ ? cfb::get64(e + cfb::entry::size) : cfb::get32(e + cfb::entry::size);
      found.mini = found.size < cfb::mini_stream_cutoff;
      const std::uint32_t start = cfb::get32(e + cfb::entry::start_sector);
      if (found.mini)
        found.sectors =
            chain(start, mini_fat_, mini_sector_count_, ceil_div(found.size, cfb::mini_sector_size));
      else
        found.sectors = chain(start, fat_, sector_count_, ceil_div(found.size, sector_size_));
      out = std::move(found);
      return S_OK;
    }
    return STG_E_FILENOTFOUND;
  } catch (const failure& f) {
    return f.code;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

std::uint64_t compound_file::locate(const stream_map& stream, std::uint64_t position, std::size_t want,
                                    std::size_t& run) const
{
  if (stream.mini) {
    const std::uint64_t in_mini = std::uint64_t{stream.sectors[position / cfb::mini_sector_size]} *
                                      cfb::mini_sector_size +
                                  position % cfb::mini_sector_size;
    // A mini sector never straddles two regular sectors: both sizes are powers of two.
    run = std::min<std::size_t>(want, cfb::mini_sector_size - position % cfb::mini_sector_size);
    return sector_offset(mini_stream_[in_mini / sector_size_]) + in_mini % sector_size_;
  }
  std::size_t k = static_cast<std::size_t>(position / sector_size_);
  const std::uint64_t offset = sector_offset(stream.sectors[k]) + position % sector_size_;
  std::uint64_t span = sector_size_ - position % sector_size_;
  // Neighbouring sectors in the file are one read or write.
  while (span < want && k + 1 < stream.sectors.size() && stream.sectors[k + 1] == stream.sectors[k] + 1) {
    span += sector_size_;
    ++k;
  }
  run = static_cast<std::size_t>(std::min<std::uint64_t>(want, span));
  return offset;
}

HRESULT compound_file::read(const stream_map& stream, std::uint64_t position, void* data, std::size_t size,
                            std::size_t& done) const
{
  auto* p = static_cast<unsigned char*>(data);
  for (done = 0; done < size;) {
    std::size_t run = 0;
    const std::uint64_t offset = locate(stream, position + done, size - done, run);
    std::size_t got = 0;
    if (!pread_all(fd_.get(), p + done, run, offset, got))
      return STG_E_READFAULT;
    // Only a last sector cut short by the file's end reads short: its missing
    // tail is zeros.
    std::memset(p + done + got, 0, run - got);
    done += run;
  }
  return S_OK;
}

HRESULT compound_file::write(const stream_map& stream, std::uint64_t position, const void* data,
                             std::size_t size, std::size_t& done)
{
  const auto* p = static_cast<const unsigned char*>(data);
  for (done = 0; done < size;) {
    std::size_t run = 0;
    const std::uint64_t offset = locate(stream, position + done, size - done, run);
    written_ = true;
    if (!pwrite_all(fd_.get(), p + done, run, offset))
      return write_failure_code(errno);
    done += run;
  }
  return S_OK;
}

} // namespace plat::storage

// One placement routine decides where each string goes (a header is never split,
// characters only between units, a continuation restarts with the flags byte);
// counting and writing both run it, so the size told in advance is the size written.
#include "platform/dao/excel/biff_sst.h"

#include "platform/dao/excel/errors.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string_view>

namespace plat::dao::biff {

namespace {

// Remembered strings live in blocks that grow from the first size to the last.
constexpr std::size_t first_block_bytes = std::size_t{1} << 16;
constexpr std::size_t block_bytes = std::size_t{1} << 20;
// Repeats are found among the first strings up to these bounds; later new
// strings are written without being remembered. The bounds hold for every
// table of the process together, so that many workbooks open at once (a run's
// numbered workbooks of split sheets) hold no more in memory than one does.
constexpr std::size_t max_remembered_bytes = std::size_t{8} << 20;
constexpr std::size_t max_remembered = std::size_t{1} << 19;
std::atomic<std::size_t> remembered_bytes_in_process{0};
std::atomic<std::size_t> remembered_in_process{0};
constexpr std::size_t max_buckets = 128;
constexpr std::size_t header_bytes = 3;  // character count (2), flags (1)

std::uint32_t hash_of(const std::uint8_t* data, std::size_t size)
{
  return base::hash_slots::hash(std::string_view(reinterpret_cast<const char*>(data), size));
}

// Runs the placement of one string of `count` units, `unit` bytes each, over
// `c`; `sink` hears of each new CONTINUE record and of each run of bytes.
template <class Sink>
void place_string(std::size_t& used, std::size_t count, std::size_t unit, std::uint8_t flags,
                  const std::uint8_t* chars, Sink&& sink)
{
  if (used + header_bytes + (count != 0 ? unit : 0) > max_data8) {
    sink.next_record();
    used = 0;
  }
  sink.string_start(used);
  const std::uint8_t head[3] = {static_cast<std::uint8_t>(count),
                                static_cast<std::uint8_t>(count >> 8), flags};
  sink.bytes(head, header_bytes);
  used += header_bytes;
  std::size_t left = count;
  while (left > 0) {
    std::size_t k = std::min(left, (max_data8 - used) / unit);
    // A surrogate pair stays in one record: readers decode each piece alone.
    if (unit == 2 && k < left && k > 0) {
      const unsigned last = chars[2 * k - 2] | (chars[2 * k - 1] << 8);
      if (last >= 0xD800 && last <= 0xDBFF)
        --k;
    }
    if (k == 0) {
      sink.next_record();
      sink.bytes(&flags, 1);
      used = 1;
      continue;
    }
    sink.bytes(chars, k * unit);
    chars += k * unit;
    used += k * unit;
    left -= k;
  }
}

} // namespace

sst_table::sst_table(const std::string& scratch_folder) : spool_(scratch_folder)
{
  key_.resize(1 + 2 * 32767);
}

sst_table::~sst_table()
{
  remembered_bytes_in_process -= remembered_bytes_;
  remembered_in_process -= entries_.size();
}

const std::uint8_t* sst_table::store(std::size_t size)
{
  if (block_left_ < size) {
    const std::size_t n = std::max(size, std::min(block_bytes, first_block_bytes << blocks_.size()));
    blocks_.emplace_back(new std::uint8_t[n]);
    block_next_ = blocks_.back().get();
    block_left_ = n;
  }
  std::uint8_t* at = block_next_;
  std::memcpy(at, key_.data(), size);
  block_next_ += size;
  block_left_ -= size;
  remembered_bytes_ += size;
  remembered_bytes_in_process += size;
  return at;
}

void sst_table::place(std::size_t count, bool narrow, const std::uint8_t* chars)
{
  struct counter {
    sst_table& t;
    void next_record()
    {
      t.layout_.bytes += 4;
    }
    void string_start(std::size_t used)
    {
      if (t.unique_ % t.bucket_size_ != 0)
        return;
      t.buckets_.push_back({t.layout_.bytes, static_cast<std::uint16_t>(4 + used)});
      if (t.buckets_.size() > max_buckets) {
        // Twice as many strings a bucket: keep every other start.
        t.bucket_size_ *= 2;
        std::size_t kept = 0;
        for (std::size_t i = 0; i < t.buckets_.size(); i += 2)
          t.buckets_[kept++] = t.buckets_[i];
        t.buckets_.resize(kept);
      }
    }
    void bytes(const std::uint8_t*, std::size_t n) { t.layout_.bytes += n; }
  };
  place_string(layout_.used, count, narrow ? 1 : 2, narrow ? 0 : 1, chars, counter{*this});
}

std::uint32_t sst_table::append(bool remember, std::uint32_t hash)
{
  if (unique_ == 0xFFFFFFFFu)
    excel_errors::raise(excel_errors::cannot_expand);
  const bool narrow = key_[0] == 0;
  const std::size_t count = (key_size_ - 1) / (narrow ? 1 : 2);
  const std::uint8_t n[2] = {static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8)};
  spool_.write(n, 2);
  spool_.write(key_.data(), key_size_);
  place(count, narrow, key_.data() + 1);
  const std::uint32_t index = unique_++;
  if (remember && remembered_in_process < max_remembered &&
      remembered_bytes_in_process + key_size_ <= max_remembered_bytes) {
    ++remembered_in_process;
    const std::size_t s = slots_.free_slot(hash);
    entries_.push_back({store(key_size_), static_cast<std::uint32_t>(key_size_), hash, index});
    slots_.fill(s, static_cast<std::uint32_t>(entries_.size()), entries_.size(),
                [this](std::size_t i) { return entries_[i].hash; });
  }
  return index;
}

namespace {

std::size_t encode_key(std::uint8_t* key, const char16_t* units, std::size_t count, bool narrow)
{
  key[0] = narrow ? 0 : 1;
  std::uint8_t* p = key + 1;
  if (narrow) {
    for (std::size_t i = 0; i < count; ++i)
      *p++ = static_cast<std::uint8_t>(units[i]);
  } else {
    for (std::size_t i = 0; i < count; ++i) {
      *p++ = static_cast<std::uint8_t>(units[i]);
      *p++ = static_cast<std::uint8_t>(units[i] >> 8);
    }
  }
  return static_cast<std::size_t>(p - key);
}

} // namespace

std::uint32_t sst_table::find(std::uint32_t hash) const
{
  const std::uint32_t number = slots_.at(slots_.probe(hash, [&](std::uint32_t n) {
    const entry& e = entries_[n - 1];
    return e.hash == hash && e.size == key_size_ && std::memcmp(e.data, key_.data(), key_size_) == 0;
  }));
  return number != 0 ? entries_[number - 1].index : not_found;
}

std::uint32_t sst_table::add(const char16_t* units, std::size_t count, bool narrow)
{
  count = std::min<std::size_t>(count, 32767);
  ++references_;
  key_size_ = encode_key(key_.data(), units, count, narrow);
  const std::uint32_t hash = hash_of(key_.data(), key_size_);
  const std::uint32_t known = find(hash);
  return known != not_found ? known : append(true, hash);
}

void sst_table::keep(const char16_t* units, std::size_t count, bool narrow)
{
  count = std::min<std::size_t>(count, 32767);
  key_size_ = encode_key(key_.data(), units, count, narrow);
  const std::uint32_t hash = hash_of(key_.data(), key_size_);
  append(find(hash) == not_found, hash);
}

std::uint64_t sst_table::stream_size() const
{
  return layout_.bytes + 4 + 2 + 8 * buckets_.size();
}

void sst_table::write(byte_sink& out, std::uint64_t position)
{
  // The current record is built whole, then written with its length.
  struct writer {
    byte_sink& out;
    byte_buffer record;
    void flush()
    {
      byte_buffer::put16(record.data() + 2, static_cast<std::uint16_t>(record.size() - 4));
      out.write(record.data(), record.size());
      record.clear();
    }
    void next_record()
    {
      flush();
      record.u16(rt_continue);
      record.u16(0);
    }
    void string_start(std::size_t) {}
    void bytes(const std::uint8_t* p, std::size_t n) { record.bytes(p, n); }
  } w{out, {}};

  w.record.u16(rt_sst);
  w.record.u16(0);
  w.record.u32(references_);
  w.record.u32(unique_);
  std::size_t used = 8;
  spool_.rewind();
  std::vector<std::uint8_t> chars(2 * 32767);
  for (std::uint32_t i = 0; i < unique_; ++i) {
    std::uint8_t head[3];
    if (spool_.read(head, 3) != 3)
      excel_errors::raise(excel_errors::disk_error, "The shared strings' scratch file is short.");
    const std::size_t count = get16(head);
    const bool narrow = head[2] == 0;
    const std::size_t size = count * (narrow ? 1 : 2);
    if (spool_.read(chars.data(), size) != size)
      excel_errors::raise(excel_errors::disk_error, "The shared strings' scratch file is short.");
    place_string(used, count, narrow ? 1 : 2, head[2], chars.data(), w);
  }
  w.flush();

  byte_buffer ext;
  const std::size_t start = ext.begin_record(rt_extsst);
  ext.u16(static_cast<std::uint16_t>(bucket_size_));
  for (const bucket& b : buckets_) {
    ext.u32(static_cast<std::uint32_t>(position + b.offset));
    ext.u16(b.in_record);
    ext.u16(0);
  }
  ext.end_record(start);
  out.write(ext.data(), ext.size());
}

} // namespace plat::dao::biff

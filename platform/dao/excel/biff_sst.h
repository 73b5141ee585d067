// The BIFF8 shared-string table of a session: strings keep the index of their
// first use (a reopened workbook's first), spool to a scratch file and only a
// bounded set stays in memory to find repeats (one bound for all the tables of
// the process); the layout is known as they arrive.
#pragma once

#include "platform/dao/excel/biff_records.h"
#include "platform/dao/excel/spool.h"
#include "base/hash_slots.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat::dao::biff {

class sst_table {
public:
  explicit sst_table(const std::string& scratch_folder);
  ~sst_table();
  sst_table(const sst_table&) = delete;
  sst_table& operator=(const sst_table&) = delete;

  // The index of a cell's text (at most 32,767 UTF-16 units; `narrow` when
  // every unit is below 0x100), added at the end when it is new. A known text
  // costs no allocation.
  std::uint32_t add(const char16_t* units, std::size_t count, bool narrow);
  // A string of a reopened workbook: appended whatever it holds, so the
  // indexes its cells use stay valid; `references` is what its cells count.
  void keep(const char16_t* units, std::size_t count, bool narrow);
  void add_kept_references(std::uint32_t references) { references_ += references; }

  // Bytes of the SST with its CONTINUEs and the EXTSST, headers included.
  std::uint64_t stream_size() const;
  // Writes the records; `position` is where the SST record starts in the stream.
  void write(byte_sink& out, std::uint64_t position);

private:
  struct entry {
    const std::uint8_t* data;
    std::uint32_t size;
    std::uint32_t hash;
    std::uint32_t index;
  };
  // Where the records stand after the strings placed so far.
  struct cursor {
    std::size_t used = 8;            // data bytes in the current record
    std::uint64_t bytes = 4 + 8;     // all bytes so far, headers included
  };
  struct bucket {
    std::uint64_t offset;            // from the SST record's first byte
    std::uint16_t in_record;         // from the first byte of the record holding it
  };

  static constexpr std::uint32_t not_found = 0xFFFFFFFFu;
  // The index of the text in key_, or not_found.
  std::uint32_t find(std::uint32_t hash) const;
  std::uint32_t append(bool remember, std::uint32_t hash);
  void place(std::size_t count, bool narrow, const std::uint8_t* chars);
  const std::uint8_t* store(std::size_t size);

  excel_spool spool_;
  std::uint32_t unique_ = 0;
  std::uint32_t references_ = 0;
  cursor layout_;
  std::uint32_t bucket_size_ = 8;
  std::vector<bucket> buckets_;

  std::vector<std::uint8_t> key_;      // the text being added: flag byte, then its units
  std::size_t key_size_ = 0;
  std::vector<entry> entries_;
  base::hash_slots slots_;
  std::vector<std::unique_ptr<std::uint8_t[]>> blocks_;
  std::uint8_t* block_next_ = nullptr;
  std::size_t block_left_ = 0;
  std::size_t remembered_bytes_ = 0;
};

} // namespace plat::dao::biff

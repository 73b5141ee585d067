// The workbook's shared-string table and the writer of xl/sharedStrings.xml.
// Each distinct cell text is stored once, as UTF-8 without the characters XML
// cannot carry, and keeps the index of its first use (0, 1, 2 ... without gaps);
// it is escaped only when the part is written.
#pragma once

#include "base/hash_slots.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace XlsxBook {

class CXmlEmitter;

class CSharedStrings {
public:
  CSharedStrings();
  ~CSharedStrings();
  CSharedStrings(const CSharedStrings&) = delete;
  CSharedStrings& operator=(const CSharedStrings&) = delete;

  // The index of the text, added at the end when it is new. The text is taken
  // up to its first NUL, without the characters XML 1.0 forbids, and cut to
  // Excel's 32,767 UTF-16 units. A lookup of a known text allocates nothing.
  std::uint64_t Add(std::wstring_view text);

  std::size_t Size() const { return entries_.size(); }
  bool Empty() const { return entries_.empty(); }
  // The stored (unescaped, cleaned) UTF-8 text of an index.
  std::string_view At(std::uint64_t index) const;

  // Writes the whole part through the emitter, which must be fresh: the
  // declaration, <sst> with count and uniqueCount, one <si><t> per text in index
  // order (escaped here; xml:space="preserve" on texts that begin or end with
  // white space). The caller owns the file and closes it; WriteSharedStrings
  // (xlsx/part_writers.h) writes it as the package's part.
  void WritePart(CXmlEmitter& xml) const;

private:
  struct Entry {
    const char* data;
    std::uint32_t size;
    std::uint32_t hash;
  };

  const char* Store(std::string_view key);

  std::vector<Entry> entries_;           // in index order
  base::hash_slots slots_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* block_next_ = nullptr;
  std::size_t block_left_ = 0;
  std::vector<char> key_;                // reused room for the UTF-8 form of a text
};

} // namespace XlsxBook

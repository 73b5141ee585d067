// The open-addressing index of the string tables that fold repeated texts: slots
// hold entry numbers (index + 1, 0 free), probed linearly, and the table doubles
// before it is half full, so every probe ends at a free slot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace base {

class hash_slots {
public:
  hash_slots() : slots_(1024, 0) {}

  static std::uint32_t hash(std::string_view bytes)
  {
    const std::size_t h = std::hash<std::string_view>{}(bytes);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
  }

  // The slot of the first entry number along the hash's chain that `match`
  // accepts, or the free slot that ends the chain.
  template <class Match>
  std::size_t probe(std::uint32_t hash, Match&& match) const
  {
    const std::size_t mask = slots_.size() - 1;
    std::size_t s = hash & mask;
    while (slots_[s] != 0 && !match(slots_[s]))
      s = (s + 1) & mask;
    return s;
  }
  std::size_t free_slot(std::uint32_t hash) const
  {
    return probe(hash, [](std::uint32_t) { return false; });
  }
  std::uint32_t at(std::size_t slot) const { return slots_[slot]; }

  // Fills a free slot from probe with the entry number, then doubles the table
  // once `entries` fill half of it; hash_of(i) is the hash of entry index i.
  template <class HashOf>
  void fill(std::size_t slot, std::uint32_t number, std::size_t entries, HashOf&& hash_of)
  {
    slots_[slot] = number;
    if (entries * 2 <= slots_.size())
      return;
    std::vector<std::uint32_t> slots(slots_.size() * 2, 0);
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = 0; i < entries; ++i) {
      std::size_t s = hash_of(i) & mask;
      while (slots[s] != 0)
        s = (s + 1) & mask;
      slots[s] = static_cast<std::uint32_t>(i + 1);
    }
    slots_.swap(slots);
  }

private:
  std::vector<std::uint32_t> slots_;
};

} // namespace base

// The on-disk layout of a compound file that the reader and the writer share:
// header field offsets, directory entry fields, sector markers and the
// little-endian accessors. Every multi-byte field is little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace plat::storage::cfb {

inline constexpr unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Sector markers in the FAT, the DIFAT and the mini FAT; directory links.
inline constexpr std::uint32_t max_regular_sector = 0xFFFFFFFAu;
inline constexpr std::uint32_t difat_sector = 0xFFFFFFFCu;
inline constexpr std::uint32_t fat_sector = 0xFFFFFFFDu;
inline constexpr std::uint32_t end_of_chain = 0xFFFFFFFEu;
inline constexpr std::uint32_t free_sector = 0xFFFFFFFFu;
inline constexpr std::uint32_t no_stream = 0xFFFFFFFFu;

inline constexpr std::size_t header_size = 512;
inline constexpr std::uint32_t mini_sector_size = 64;
inline constexpr std::uint32_t mini_stream_cutoff = 4096;
inline constexpr std::size_t header_difat_entries = 109;
inline constexpr std::size_t directory_entry_size = 128;
// UTF-16 code units of a name, without its terminator.
inline constexpr std::size_t max_name_units = 31;
// Largest stream of a version 3 file: its size field has 32 significant bits,
// and the format caps it at 2 GiB.
inline constexpr std::uint64_t v3_max_stream_size = 0x80000000u;

namespace header {
inline constexpr std::size_t clsid = 8;
inline constexpr std::size_t minor_version = 24;
inline constexpr std::size_t major_version = 26;
inline constexpr std::size_t byte_order = 28;
inline constexpr std::size_t sector_shift = 30;
inline constexpr std::size_t mini_sector_shift = 32;
inline constexpr std::size_t directory_sector_count = 40;
inline constexpr std::size_t fat_sector_count = 44;
inline constexpr std::size_t first_directory_sector = 48;
inline constexpr std::size_t mini_stream_cutoff = 56;
inline constexpr std::size_t first_mini_fat_sector = 60;
inline constexpr std::size_t mini_fat_sector_count = 64;
inline constexpr std::size_t first_difat_sector = 68;
inline constexpr std::size_t difat_sector_count = 72;
inline constexpr std::size_t difat = 76;
} // namespace header

namespace entry {
inline constexpr std::size_t name = 0;
inline constexpr std::size_t name_bytes = 64;  // with the terminator
inline constexpr std::size_t type = 66;
inline constexpr std::size_t color = 67;
inline constexpr std::size_t left = 68;
inline constexpr std::size_t right = 72;
inline constexpr std::size_t child = 76;
inline constexpr std::size_t clsid = 80;
inline constexpr std::size_t start_sector = 116;
inline constexpr std::size_t size = 120;

inline constexpr std::uint8_t type_unused = 0;
inline constexpr std::uint8_t type_storage = 1;
inline constexpr std::uint8_t type_stream = 2;
inline constexpr std::uint8_t type_root = 5;
inline constexpr std::uint8_t black = 1;
} // namespace entry

inline std::uint16_t get16(const unsigned char* p)
{
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t get32(const unsigned char* p)
{
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t get64(const unsigned char* p)
{
  return get32(p) | (static_cast<std::uint64_t>(get32(p + 4)) << 32);
}
inline void put16(unsigned char* p, std::uint16_t v)
{
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
inline void put32(unsigned char* p, std::uint32_t v)
{
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void put64(unsigned char* p, std::uint64_t v)
{
  put32(p, static_cast<std::uint32_t>(v));
  put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

} // namespace plat::storage::cfb

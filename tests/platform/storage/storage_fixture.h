// What the compound-file tests share: distinct test bytes, a file written by
// our writer, a stream read back through our reader, and little-endian
// peeks and pokes for the tests that damage a file on purpose.
#pragma once

#include "platform/files.h"
#include "platform/storage/storage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace storage_fixture {

// Bytes that differ at every position, so a misplaced sector shows.
inline std::string pattern(std::size_t size, std::uint32_t seed)
{
  std::string out(size, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (char& c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return out;
}

// Writes `bytes` as the one stream of a new file, in pieces of the given sizes
// (cycled), as a record writer would.
inline void write_compound_file(const std::string& path, const std::u16string& name, const std::string& bytes,
                         const std::vector<std::size_t>& pieces = {4096})
{
  const plat::unique_fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  ASSERT_GE(fd.get(), 0);
  plat::storage::compound_file_writer writer(fd.get(), name);
  std::size_t at = 0;
  for (std::size_t i = 0; at < bytes.size(); ++i) {
    const std::size_t n = std::min(pieces[i % pieces.size()], bytes.size() - at);
    writer.write(bytes.data() + at, n);
    at += n;
  }
  writer.finish();
}

// The stream as our reader gives it, or the failing step's result code.
inline std::string read_back(const std::string& path, const wchar_t* name, HRESULT& hr)
{
  const std::wstring wide_path(path.begin(), path.end());
  IStorage* storage = nullptr;
  hr = StgOpenStorage(wide_path.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_NONE, nullptr, 0, &storage);
  if (FAILED(hr))
    return {};
  IStream* stream = nullptr;
  hr = storage->OpenStream(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
  storage->Release();
  if (FAILED(hr))
    return {};
  std::string out;
  char buffer[10000];
  ULONG got = 0;
  while (SUCCEEDED(hr = stream->Read(buffer, sizeof buffer, &got)) && got > 0)
    out.append(buffer, got);
  stream->Release();
  return out;
}

inline std::uint32_t get32(const std::string& file, std::size_t offset)
{
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = (v << 8) | static_cast<unsigned char>(file[offset + static_cast<std::size_t>(i)]);
  return v;
}

inline void put32(std::string& file, std::size_t offset, std::uint32_t v)
{
  for (std::size_t i = 0; i < 4; ++i)
    file[offset + i] = static_cast<char>(v >> (8 * i));
}

// Offsets in a version 3 file of ours (512-byte sectors, one FAT sector in the
// header's list): the FAT entry of a sector, and a directory entry.
inline std::size_t fat_entry_at(const std::string& file, std::uint32_t sector)
{
  return (get32(file, 76) + 1) * 512u + 4u * sector;
}
inline std::size_t directory_entry_at(const std::string& file, std::uint32_t id)
{
  return (get32(file, 48) + 1) * 512u + 128u * id;
}
inline std::size_t mini_fat_entry_at(const std::string& file, std::uint32_t mini_sector)
{
  return (get32(file, 60) + 1) * 512u + 4u * mini_sector;
}

} // namespace storage_fixture

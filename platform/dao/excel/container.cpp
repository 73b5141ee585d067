// The only file of the driver that talks to the storage interface; a storage
// failure with a system error keeps the system's text in the DAO error.
#include "platform/dao/excel/container.h"

#include "platform/dao/excel/errors.h"
#include "platform/storage/storage.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace plat::dao {

namespace {

constexpr std::size_t window_size = std::size_t{1} << 16;

template <class T>
struct com_release {
  void operator()(T* p) const noexcept
  {
    if (p != nullptr)
      p->Release();
  }
};
template <class T>
using com_holder = std::unique_ptr<T, com_release<T>>;

const wchar_t* stream_name(bool biff8)
{
  return biff8 ? L"Workbook" : L"Book";
}

[[noreturn]] void storage_failed(const storage::storage_error& e)
{
  if (e.system_error() != 0)
    excel_errors::raise_system(e.system_error(), "Cannot write the workbook");
  excel_errors::raise(excel_errors::disk_error, std::string("Disk or network error. ") + e.what());
}

} // namespace

class container_reader::impl {
public:
  com_holder<IStorage> storage;
  com_holder<IStream> stream;
  std::vector<std::uint8_t> window = std::vector<std::uint8_t>(window_size);
  std::uint64_t window_at = 0;
  std::size_t window_size_held = 0;

  bool fill(std::uint64_t position)
  {
    LARGE_INTEGER move;
    move.QuadPart = static_cast<LONGLONG>(position);
    if (FAILED(stream->Seek(move, STREAM_SEEK_SET, nullptr)))
      return false;
    ULONG got = 0;
    if (FAILED(stream->Read(window.data(), static_cast<ULONG>(window.size()), &got)))
      excel_errors::raise(excel_errors::not_expected_format);
    window_at = position;
    window_size_held = got;
    return true;
  }
};

container_reader::container_reader(const std::string& path, bool biff8) : impl_(new impl)
{
  std::wstring wide;
  utf8_to_wide_lenient(path, wide);
  IStorage* storage = nullptr;
  const HRESULT opened =
      StgOpenStorage(wide.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_NONE, nullptr, 0, &storage);
  if (FAILED(opened) || storage == nullptr) {
    if (opened == STG_E_LOCKVIOLATION || opened == STG_E_ACCESSDENIED)
      excel_errors::raise(excel_errors::file_in_use);
    excel_errors::raise(excel_errors::not_expected_format);
  }
  impl_->storage.reset(storage);
  IStream* stream = nullptr;
  if (FAILED(storage->OpenStream(stream_name(biff8), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                 &stream)) ||
      stream == nullptr)
    excel_errors::raise(excel_errors::not_expected_format);
  impl_->stream.reset(stream);
}

container_reader::~container_reader() = default;

std::size_t container_reader::read_at(std::uint64_t position, void* data, std::size_t size)
{
  auto* out = static_cast<std::uint8_t*>(data);
  std::size_t given = 0;
  while (given < size) {
    const std::uint64_t at = position + given;
    if (at < impl_->window_at || at >= impl_->window_at + impl_->window_size_held) {
      if (!impl_->fill(at) || impl_->window_size_held == 0)
        break;
    }
    const auto offset = static_cast<std::size_t>(at - impl_->window_at);
    const std::size_t k = std::min(size - given, impl_->window_size_held - offset);
    std::memcpy(out + given, impl_->window.data() + offset, k);
    given += k;
  }
  return given;
}

class container_writer::impl {
public:
  impl(int fd, bool biff8) : writer(fd, biff8 ? u"Workbook" : u"Book") {}
  storage::compound_file_writer writer;
  std::vector<std::uint8_t> buffer;
};

container_writer::container_writer(int fd, bool biff8)
{
  try {
    impl_ = std::make_unique<impl>(fd, biff8);
  } catch (const storage::storage_error& e) {
    storage_failed(e);
  }
  impl_->buffer.reserve(window_size);
}

container_writer::~container_writer() = default;

void container_writer::write(const void* data, std::size_t size)
{
  position_ += size;
  std::vector<std::uint8_t>& b = impl_->buffer;
  const auto* p = static_cast<const std::uint8_t*>(data);
  try {
    if (b.size() + size > window_size && !b.empty()) {
      impl_->writer.write(b.data(), b.size());
      b.clear();
    }
    if (size >= window_size)
      impl_->writer.write(p, size);
    else
      b.insert(b.end(), p, p + size);
  } catch (const storage::storage_error& e) {
    storage_failed(e);
  }
}

void container_writer::finish()
{
  try {
    if (!impl_->buffer.empty())
      impl_->writer.write(impl_->buffer.data(), impl_->buffer.size());
    impl_->buffer.clear();
    impl_->writer.finish();
  } catch (const storage::storage_error& e) {
    storage_failed(e);
  }
}

workbook_stream_file::workbook_stream_file(const std::wstring& path)
{
  constexpr DWORD mode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
  if (FAILED(StgOpenStorage(path.c_str(), nullptr, mode, nullptr, 0, &storage_)))
    return;
  if (FAILED(storage_->OpenStream(L"Book", nullptr, mode, 0, &stream_)) &&
      FAILED(storage_->OpenStream(L"Workbook", nullptr, mode, 0, &stream_))) {
    state_ = state::no_workbook_stream;
    return;
  }
  state_ = state::open;
}

workbook_stream_file::~workbook_stream_file()
{
  if (stream_ != nullptr)
    stream_->Release();
  if (storage_ != nullptr)
    storage_->Release();
}

} // namespace plat::dao

// StgOpenStorage and the storage and stream objects over an open compound file.
// Streams and the storage share the file through a shared_ptr, so its
// descriptor and lock stay until the last of them is released. Argument checks
// come first: a refused call changes nothing.
#include "platform/storage/storage.h"

#include "platform/storage/compound_file.h"
#include "platform/storage/cfb_format.h"
#include "platform/files.h"
#include "platform/text_codec.h"

#include <cerrno>
#include <limits>
#include <new>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat::storage {

namespace {

constexpr DWORD access_bits = 0x3;
constexpr DWORD share_bits = 0x70;

bool can_read(DWORD mode) { return (mode & access_bits) != STGM_WRITE; }
bool can_write(DWORD mode) { return (mode & access_bits) != STGM_READ; }

class stream_object final : public plat::com_object<IStream> {
public:
  stream_object(std::shared_ptr<compound_file> file, stream_map map, bool readable, bool writable)
      : file_(std::move(file)), map_(std::move(map)), readable_(readable), writable_(writable)
  {
  }

  HRESULT Read(void* buffer, ULONG size, ULONG* read) override
  {
    if (read != nullptr)
      *read = 0;
    if (buffer == nullptr && size > 0)
      return STG_E_INVALIDPOINTER;
    if (!readable_)
      return STG_E_ACCESSDENIED;
    if (position_ >= map_.size)
      return S_OK;
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(size, map_.size - position_));
    std::size_t done = 0;
    const HRESULT hr = file_->read(map_, position_, buffer, want, done);
    position_ += done;
    if (read != nullptr)
      *read = static_cast<ULONG>(done);
    return hr;
  }

  // All or nothing at the stream's end: a write that would grow it is refused
  // before a byte goes out.
  HRESULT Write(const void* buffer, ULONG size, ULONG* written) override
  {
    if (written != nullptr)
      *written = 0;
    if (buffer == nullptr && size > 0)
      return STG_E_INVALIDPOINTER;
    if (!writable_)
      return STG_E_ACCESSDENIED;
    if (size == 0)
      return S_OK;
    if (position_ > map_.size || size > map_.size - position_)
      return STG_E_INVALIDFUNCTION;
    std::size_t done = 0;
    const HRESULT hr = file_->write(map_, position_, buffer, size, done);
    position_ += done;
    if (written != nullptr)
      *written = static_cast<ULONG>(done);
    return hr;
  }

  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override
  {
    std::int64_t base = 0;
    switch (origin) {
    case STREAM_SEEK_SET:
      break;
    case STREAM_SEEK_CUR:
      base = static_cast<std::int64_t>(position_);
      break;
    case STREAM_SEEK_END:
      base = static_cast<std::int64_t>(map_.size);
      break;
    default:
      return STG_E_INVALIDFUNCTION;
    }
    std::int64_t target = 0;
    if (__builtin_add_overflow(base, move.QuadPart, &target) || target < 0)
      return STG_E_INVALIDFUNCTION;
    position_ = static_cast<std::uint64_t>(target);
    if (position != nullptr)
      position->QuadPart = position_;
    return S_OK;
  }

private:
  std::shared_ptr<compound_file> file_;
  stream_map map_;
  std::uint64_t position_ = 0;
  bool readable_;
  bool writable_;
};

class storage_object final : public plat::com_object<IStorage> {
public:
  storage_object(std::shared_ptr<compound_file> file, DWORD mode) : file_(std::move(file)), mode_(mode) {}

  HRESULT OpenStream(const wchar_t* name, void* reserved1, DWORD mode, DWORD reserved2,
                     IStream** stream) override
  {
    if (stream == nullptr)
      return STG_E_INVALIDPOINTER;
    *stream = nullptr;
    if (name == nullptr)
      return STG_E_INVALIDNAME;
    if (reserved1 != nullptr || reserved2 != 0)
      return STG_E_INVALIDPARAMETER;
    if ((mode & ~(access_bits | share_bits)) != 0 || (mode & access_bits) == access_bits)
      return STG_E_INVALIDFLAG;
    if (can_write(mode) && !can_write(mode_))
      return STG_E_ACCESSDENIED;
    const std::wstring_view wanted(name);
    if (wanted.empty() || plat::utf16_length(wanted) > cfb::max_name_units)
      return STG_E_INVALIDNAME;
    try {
      stream_map map;
      const HRESULT hr = file_->find_stream(wanted, map);
      if (FAILED(hr))
        return hr;
      *stream = new stream_object(file_, std::move(map), can_read(mode) && can_read(mode_), can_write(mode));
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

private:
  std::shared_ptr<compound_file> file_;
  DWORD mode_;
};

HRESULT open_failure(int error)
{
  switch (error) {
  case ENOENT:
    return STG_E_FILENOTFOUND;
  case ENOTDIR:
  case ENAMETOOLONG:
  case ELOOP:
    return STG_E_PATHNOTFOUND;
  case EACCES:
  case EPERM:
  case EROFS:
  case EISDIR:
  case ETXTBSY:
    return STG_E_ACCESSDENIED;
  default:
    return STG_E_READFAULT;
  }
}

} // namespace

HRESULT write_failure_code(int error)
{
  return error == ENOSPC || error == EDQUOT || error == EFBIG ? STG_E_MEDIUMFULL
                                                              : STG_E_WRITEFAULT;
}

} // namespace plat::storage

HRESULT StgOpenStorage(const wchar_t* name, IStorage* priority, DWORD mode, void* exclude, DWORD reserved,
                       IStorage** storage)
{
  using namespace plat::storage;
  if (storage == nullptr)
    return STG_E_INVALIDPOINTER;
  *storage = nullptr;
  if (name == nullptr || *name == L'\0')
    return STG_E_INVALIDNAME;
  if (priority != nullptr || exclude != nullptr || reserved != 0)
    return STG_E_INVALIDPARAMETER;
  const DWORD share = mode & share_bits;
  if ((mode & ~(access_bits | share_bits)) != 0 || (mode & access_bits) == access_bits ||
      share > STGM_SHARE_DENY_NONE)
    return STG_E_INVALIDFLAG;

  try {
    const std::string path = plat::to_utf8(name);
    // O_NONBLOCK: a FIFO must not hang the open; it is refused below.
    plat::unique_fd fd(
        ::open(path.c_str(), (can_write(mode) ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.valid())
      return open_failure(errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
      return STG_E_ACCESSDENIED;
    // Whoever may write takes the file alone; a reader that denies others
    // writing shares it with readers; a reader that denies nothing takes no lock.
    int lock = 0;
    if (can_write(mode) || share == STGM_SHARE_EXCLUSIVE || share == STGM_SHARE_DENY_READ)
      lock = LOCK_EX;
    else if (share == STGM_SHARE_DENY_WRITE)
      lock = LOCK_SH;
    if (lock != 0) {
      int rc = 0;
      while ((rc = ::flock(fd.get(), lock | LOCK_NB)) != 0 && errno == EINTR) {
      }
      if (rc != 0)
        return errno == EWOULDBLOCK ? STG_E_LOCKVIOLATION : STG_E_ACCESSDENIED;
    }
    std::shared_ptr<compound_file> file;
    const HRESULT hr = compound_file::open(std::move(fd), file);
    if (FAILED(hr))
      return hr;
    *storage = new storage_object(std::move(file), mode);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

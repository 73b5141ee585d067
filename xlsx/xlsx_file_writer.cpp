// The buffered UTF-8 part writer. Every failure is kept as the first errno and
// the step that met it; once failed, the writer drops bytes instead of writing.
#include "xlsx/xlsx_file_writer.h"

#include "platform/files.h"
#include "base/format.h"
#include "platform/process.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>

namespace XlsxBook {

CFileWriter::CFileWriter(std::size_t buffer_size)
    : buffer_(new char[buffer_size < max_reserve ? max_reserve : buffer_size]),
      buffer_size_(buffer_size < max_reserve ? max_reserve : buffer_size)
{
}

CFileWriter::~CFileWriter()
{
  Close();
}

bool CFileWriter::Open(const std::wstring& path)
{
  return Open(plat::to_utf8(path));
}

bool CFileWriter::Open(const std::string& path)
{
  if (fd_.valid())
    Close();
  path_ = path;
  used_ = 0;
  flushed_ = 0;
  error_ = 0;
  failed_step_ = "";
  DropMirror();
  mirror_error_ = 0;
  mirror_stale_ = false;
  mirror_outgrown_ = false;
  if (path.find('\0') != std::string::npos) {
    Fail(EINVAL, "create");
    return false;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  fd_.reset(fd);
  if (!fd_.valid()) {
    Fail(errno, "create");
    return false;
  }
  return true;
}

std::string CFileWriter::ErrorText() const
{
  if (error_ == 0)
    return {};
  return base::sprintf("Cannot %s file '%s': %s", failed_step_, path_, plat::error_text(error_));
}

void CFileWriter::Fail(int error, const char* what)
{
  if (error_ != 0)
    return;
  error_ = error != 0 ? error : EIO;
  failed_step_ = what;
}

bool CFileWriter::Close()
{
  if (!fd_.valid())
    return !Failed();
  // A part that never left the buffer reaches its mirror now.
  if (open_mirror_ && !Failed())
    OpenMirror();
  Flush();
  if (!fd_.close() && errno != EINTR)
    Fail(errno, "close");
  // The reader sees the part's end.
  DropMirror();
  used_ = 0;
  return !Failed();
}

void CFileWriter::WriteToFile(const char* data, std::size_t size)
{
  if (!fd_.valid() || Failed()) {
    if (!fd_.valid())
      Fail(EBADF, "write");
    return;
  }
  if (!plat::write_all(fd_.get(), data, size)) {
    Fail(errno, "write");
    return;
  }
  if ((open_mirror_ || mirror_.valid()) && flushed_ + size > mirror_limit_) {
    DropMirror();
    mirror_outgrown_ = true;
  }
  if (open_mirror_)
    OpenMirror();
  if (mirror_.valid() && mirror_error_ == 0 && !plat::write_all(mirror_.get(), data, size))
    mirror_error_ = errno != 0 ? errno : EIO;
}

void CFileWriter::OpenMirror()
{
  const std::function<plat::unique_fd()> open = std::move(open_mirror_);
  open_mirror_ = nullptr;
  opening_mirror_ = true;
  plat::unique_fd mirror = open();
  // The opener dropped the mirror (its reader gave up): the file goes on alone.
  if (!opening_mirror_)
    return;
  opening_mirror_ = false;
  mirror_ = std::move(mirror);
  if (!mirror_.valid() && mirror_error_ == 0)
    mirror_error_ = EPIPE;
}

bool CFileWriter::Mirror(std::function<plat::unique_fd()> open, std::uint64_t limit)
{
  DropMirror();
  mirror_error_ = 0;
  mirror_stale_ = false;
  mirror_outgrown_ = false;
  mirror_limit_ = limit;
  if (flushed_ != 0 || Failed() || !fd_.valid())
    return false;
  open_mirror_ = std::move(open);
  return true;
}

void CFileWriter::Flush()
{
  if (used_ == 0)
    return;
  WriteToFile(buffer_.get(), used_);
  flushed_ += used_;
  used_ = 0;
}

void CFileWriter::WriteSlow(std::string_view bytes)
{
  Flush();
  if (bytes.size() >= buffer_size_) {
    WriteToFile(bytes.data(), bytes.size());
    flushed_ += bytes.size();
    return;
  }
  std::char_traits<char>::copy(buffer_.get(), bytes.data(), bytes.size());
  used_ = bytes.size();
}

void CFileWriter::PutCodePoint(char32_t cp)
{
  char* const start = Reserve(4);
  Commit(static_cast<std::size_t>(plat::put_utf8(start, cp) - start));
}

void CFileWriter::WriteWide(std::wstring_view text)
{
  for (const wchar_t ch : text) {
    const auto cp = static_cast<char32_t>(ch);
    if (cp < 0x80)
      Put(static_cast<char>(cp));
    else
      PutCodePoint(cp);
  }
}

void CFileWriter::Patch(std::uint64_t offset, std::string_view bytes)
{
  if (Failed() || !fd_.valid())
    return;
  const char* data = bytes.data();
  std::size_t size = bytes.size();
  if (size > 0 && offset < flushed_ && (mirror_.valid() || mirror_error_ != 0))
    mirror_stale_ = true;
  // The part that already reached the file.
  if (size > 0 && offset < flushed_) {
    const auto room = static_cast<std::size_t>(std::min<std::uint64_t>(size, flushed_ - offset));
    if (!plat::pwrite_all(fd_.get(), data, room, offset)) {
      Fail(errno, "write");
      return;
    }
    data += room;
    size -= room;
    offset += room;
  }
  // The part still in the buffer.
  if (size > 0) {
    const auto at = static_cast<std::size_t>(offset - flushed_);
    if (at + size <= used_)
      std::char_traits<char>::copy(buffer_.get() + at, data, size);
  }
}

} // namespace XlsxBook

// The one output path of every .xlsx part: UTF-8 bytes gathered in a large buffer
// and handed to the file in big writes. A failure (open, write, close) is
// remembered, never thrown, and everything after it is dropped; Close() reports it.
// A part that a packer reads while it is written also goes, byte for byte, to a
// mirror (a pipe): the file stays the whole part, whatever becomes of the mirror.
#pragma once

#include "platform/files.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace XlsxBook {

class CFileWriter {
public:
  static constexpr std::size_t default_buffer_size = std::size_t{1} << 20;
  // The most Reserve() may ask for at once.
  static constexpr std::size_t max_reserve = 4096;

  explicit CFileWriter(std::size_t buffer_size = default_buffer_size);
  // Closes a file still open; its outcome is lost, so callers use Close().
  ~CFileWriter();

  CFileWriter(const CFileWriter&) = delete;
  CFileWriter& operator=(const CFileWriter&) = delete;

  // Creates or empties the file (path as UTF-8 bytes, or wide and converted to
  // UTF-8). False, with the failure remembered, when it cannot be opened. A
  // writer that is already open is closed first (its outcome is dropped).
  bool Open(const std::string& path);
  bool Open(const std::wstring& path);

  bool IsOpen() const { return fd_.valid(); }
  // A failure happened since Open(); what follows it is not written.
  bool Failed() const { return error_ != 0; }
  // errno of the first failure, 0 when none.
  int Error() const { return error_; }
  // "Cannot write file '<path>': <system text>" (or open/close), empty when none.
  std::string ErrorText() const;
  const std::string& Path() const { return path_; }

  // Flushes, closes and returns true only when every byte since Open() reached
  // the file. Closing a writer that is not open returns !Failed().
  bool Close();

  // Bytes accepted since Open(): the file offset of the next byte.
  std::uint64_t Position() const { return flushed_ + used_; }

  void Write(std::string_view bytes)
  {
    if (bytes.size() <= buffer_size_ - used_) {
      std::char_traits<char>::copy(buffer_.get() + used_, bytes.data(), bytes.size());
      used_ += bytes.size();
    } else {
      WriteSlow(bytes);
    }
  }
  void Put(char c)
  {
    if (used_ == buffer_size_)
      Flush();
    buffer_[used_++] = c;
  }
  // Wide text as UTF-8; a lone surrogate or a value above U+10FFFF becomes U+FFFD.
  void WriteWide(std::wstring_view text);
  void PutCodePoint(char32_t code_point);

  // Room for n (<= max_reserve) bytes written straight into the buffer; Commit
  // says how many of them were used. Nothing else may be written in between.
  char* Reserve(std::size_t n)
  {
    if (n > buffer_size_ - used_)
      Flush();
    return buffer_.get() + used_;
  }
  void Commit(std::size_t n) { used_ += n; }

  // Writes everything buffered to the file.
  void Flush();

  // Overwrites bytes already accepted, from the given offset; they must lie
  // wholly before Position(). Used to fill in a slot reserved earlier. Bytes
  // that the mirror was given already stay as they were there (MirrorStale).
  void Patch(std::uint64_t offset, std::string_view bytes);

  // From now on every byte also goes to a mirror, which Close() closes. The
  // mirror is opened by `open` when the first bytes leave the buffer (a part
  // smaller than the buffer opens it at Close), so that its reader need not be
  // ready before then; an invalid descriptor counts as a failed mirror write
  // (EPIPE). Only before the first byte reached the file (else false): the
  // mirror gets the part from its start.
  // A part that grows past `limit` bytes stops going to the mirror, which is
  // closed early (MirrorOutgrown): its reader would refuse it.
  bool Mirror(std::function<plat::unique_fd()> open, std::uint64_t limit = UINT64_MAX);
  // The mirror, when one is set and its writes have not failed.
  bool Mirroring() const { return (mirror_.valid() || open_mirror_) && mirror_error_ == 0; }
  // errno of the mirror's first failed write (EPIPE: its reader is gone), 0 when none.
  int MirrorError() const { return mirror_error_; }
  // A patch changed bytes the mirror had already been given.
  bool MirrorStale() const { return mirror_stale_; }
  // The part grew past the mirror's limit: the mirror got only its start.
  bool MirrorOutgrown() const { return mirror_outgrown_; }
  // Closes the mirror now; the file goes on alone.
  void DropMirror()
  {
    opening_mirror_ = false;
    open_mirror_ = nullptr;
    mirror_.reset();
  }

private:
  void WriteSlow(std::string_view bytes);
  void OpenMirror();
  void WriteToFile(const char* data, std::size_t size);
  void Fail(int error, const char* what);

  std::unique_ptr<char[]> buffer_;
  std::size_t buffer_size_;
  std::size_t used_ = 0;
  std::uint64_t flushed_ = 0;
  plat::unique_fd fd_;
  plat::unique_fd mirror_;
  std::function<plat::unique_fd()> open_mirror_;  // until the mirror is opened
  bool opening_mirror_ = false;                    // open_mirror_ is running
  int mirror_error_ = 0;
  bool mirror_stale_ = false;
  bool mirror_outgrown_ = false;
  std::uint64_t mirror_limit_ = UINT64_MAX;
  int error_ = 0;
  const char* failed_step_ = "";
  std::string path_;
};

} // namespace XlsxBook

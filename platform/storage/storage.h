// OLE structured storage, as far as the .xls road needs it: a new compound file
// (MS-CFB version 3, 512-byte sectors) written with one stream, and an existing
// one opened for reading or for writing in place within its streams' sizes.
// A damaged or foreign file is an error result, never a crash or an overrun.
#pragma once

#include "platform/oleaut/hresult.h"
#include "platform/oleaut/iunknown.h"
#include "platform/win_types.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

// Open modes, with the values of the interface this replaces.
inline constexpr DWORD STGM_READ = 0x00000000u;
inline constexpr DWORD STGM_WRITE = 0x00000001u;
inline constexpr DWORD STGM_READWRITE = 0x00000002u;
inline constexpr DWORD STGM_SHARE_DENY_NONE = 0x00000040u;
inline constexpr DWORD STGM_SHARE_DENY_READ = 0x00000030u;
inline constexpr DWORD STGM_SHARE_DENY_WRITE = 0x00000020u;
inline constexpr DWORD STGM_SHARE_EXCLUSIVE = 0x00000010u;

inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;

inline constexpr HRESULT STG_E_FILENOTFOUND = static_cast<HRESULT>(0x80030002u);
inline constexpr HRESULT STG_E_PATHNOTFOUND = static_cast<HRESULT>(0x80030003u);
inline constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005u);
inline constexpr HRESULT STG_E_INVALIDPOINTER = static_cast<HRESULT>(0x80030009u);
inline constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001u);
inline constexpr HRESULT STG_E_WRITEFAULT = static_cast<HRESULT>(0x8003001Du);
inline constexpr HRESULT STG_E_READFAULT = static_cast<HRESULT>(0x8003001Eu);
inline constexpr HRESULT STG_E_LOCKVIOLATION = static_cast<HRESULT>(0x80030021u);
inline constexpr HRESULT STG_E_MEDIUMFULL = static_cast<HRESULT>(0x80030070u);
inline constexpr HRESULT STG_E_INVALIDPARAMETER = static_cast<HRESULT>(0x80030057u);
inline constexpr HRESULT STG_E_INVALIDHEADER = static_cast<HRESULT>(0x800300FBu);
inline constexpr HRESULT STG_E_INVALIDNAME = static_cast<HRESULT>(0x800300FCu);
inline constexpr HRESULT STG_E_DOCFILECORRUPT = static_cast<HRESULT>(0x80030109u);
inline constexpr HRESULT STG_E_INVALIDFLAG = static_cast<HRESULT>(0x800300FFu);
inline constexpr HRESULT STG_E_DOCFILETOOLARGE = static_cast<HRESULT>(0x80030111u);

// A stream of an open compound file. Write changes bytes in place, through to
// the file at once; it never grows the stream: a write that would pass the end
// is refused whole with STG_E_INVALIDFUNCTION, and a stream opened for reading
// refuses writes with STG_E_ACCESSDENIED. Read returns S_OK with fewer bytes
// than asked at the end of the stream.
struct IStream : IUnknown {
  static constexpr IID iid = {0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  virtual HRESULT Read(void* buffer, ULONG size, ULONG* read) = 0;
  virtual HRESULT Write(const void* buffer, ULONG size, ULONG* written) = 0;
  // A position past the end is allowed; a negative one is not.
  virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) = 0;
};

// The root storage of an open compound file. The file (and its lock, in the
// exclusive modes) is released when the storage and every stream opened from it
// have been released.
struct IStorage : IUnknown {
  static constexpr IID iid = {0x0000000B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  // A stream of the root storage, its name compared without case; `reserved1`
  // must be null and `reserved2` 0. STG_E_FILENOTFOUND when there is none (or
  // the name is a storage's), STG_E_ACCESSDENIED for write access to a storage
  // opened for reading. The share bits of `mode` are not checked: the lock is
  // the storage's.
  virtual HRESULT OpenStream(const wchar_t* name, void* reserved1, DWORD mode, DWORD reserved2,
                             IStream** stream) = 0;
};

// Opens an existing compound file (path as wide text). STGM_READWRITE with
// STGM_SHARE_EXCLUSIVE (or DENY_WRITE) takes an exclusive, non-blocking lock for
// the storage's life; STGM_READ with STGM_SHARE_DENY_NONE takes none. Versions 3
// and 4 are read.
// Locks (flock, whole file): any write access, and reading that denies others
// reading, lock exclusively; reading that denies writing shares a lock with
// other such readers; reading that denies nothing (or names no share mode)
// takes none. A lock held elsewhere: STG_E_LOCKVIOLATION.
// Other results: STG_E_FILENOTFOUND (missing file or folder);
// STG_E_ACCESSDENIED (no permission, or not a regular file); STG_E_INVALIDHEADER
// (not a compound file, or an unknown version: Windows says
// STG_E_FILEALREADYEXISTS for the former, which reads like a different fault);
// STG_E_DOCFILECORRUPT (damaged header, tables, directory or chains, also found
// later by OpenStream); STG_E_INVALIDFLAG (mode bits other than one access and
// one share mode).
HRESULT StgOpenStorage(const wchar_t* name, IStorage* priority, DWORD mode, void* exclude,
                       DWORD reserved, IStorage** storage);

namespace plat::storage {

// A failure of the writer: the result code of the interface above, and the
// system's error number when a system call failed (ENOSPC shows as
// STG_E_MEDIUMFULL).
class storage_error : public std::runtime_error {
public:
  storage_error(const std::string& what, HRESULT code, int system_error = 0)
      : std::runtime_error(what), code_(code), system_error_(system_error)
  {
  }
  HRESULT code() const noexcept { return code_; }
  int system_error() const noexcept { return system_error_; }

private:
  HRESULT code_;
  int system_error_;
};

// The result code for a failed write of the file: a full disk or quota (or a
// file-size limit) as STG_E_MEDIUMFULL, anything else as STG_E_WRITEFAULT.
HRESULT write_failure_code(int error);

// Writes a new compound file holding exactly one stream in its root storage,
// with the bytes given to write() in order. The stream's size need not be known
// in advance: below 4,096 bytes it goes into the mini stream, from 4,096 on into
// regular sectors (with DIFAT sectors once the FAT needs more than 109). Memory
// stays bounded by the FAT, whatever the stream's size.
class compound_file_writer {
public:
  // `fd` is borrowed: an empty file open for writing (and reading), which the
  // caller closes and, when finish() did not succeed, removes.
  compound_file_writer(int fd, std::u16string stream_name);
  ~compound_file_writer();
  compound_file_writer(const compound_file_writer&) = delete;
  compound_file_writer& operator=(const compound_file_writer&) = delete;

  // The class id stored in the root entry (zero unless set), e.g. the one of the
  // application whose document the stream is. Takes effect at finish().
  void set_root_clsid(const GUID& clsid);

  // Appends bytes to the stream. A file past 2 GiB, the limit of a version 3
  // file, raises STG_E_DOCFILETOOLARGE; a full disk STG_E_MEDIUMFULL. After a
  // failure the writer refuses every further call.
  void write(const void* data, std::size_t size);
  // Writes what is left (mini stream, FAT, DIFAT, directory, header) and
  // flushes the file to its disk. Raises storage_error.
  void finish();

private:
  class impl;
  std::unique_ptr<impl> impl_;
};

} // namespace plat::storage

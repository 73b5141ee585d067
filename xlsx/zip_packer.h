// Packs a folder tree into a ZIP package with the external Info-ZIP program.
// The destination is touched only by a final rename after zip succeeded, so a
// failed pack leaves neither a half-written file nor its own temporary name.
#pragma once

#include "platform/child_process.h"
#include "platform/files.h"

#include <cstddef>
#include <string>
#include <vector>

namespace XlsxBook {

// The name of the hidden staging folders beside a destination, before their
// six unique characters.
inline constexpr char pack_staging_prefix[] = ".xlsx_pack_";
// zip's package inside such a folder until it replaces the destination. An
// extension keeps zip from adding ".zip" of its own.
inline constexpr char packed_name[] = "package.xlsx";

// Removes a staging or temporary folder and gives it up; empty, or the words
// (logged already) for what of it stayed behind, for the caller's report.
std::string RemoveFolder(plat::private_temp_folder& folder);

// The zip program beside the running program, else the first on PATH; empty
// when there is none.
std::string FindZipProgram();

struct PackResult {
  bool ok = false;
  bool stopped = false;  // a stop of child processes ended the pack; nothing was renamed
  std::string error;     // a sentence for the user when !ok
};

// Packs every file under `folder` (its contents, not the folder itself), with
// "[Content_Types].xml" first, into `destination`, which replaces any file of
// that name. Both paths are UTF-8; the destination must be absolute. The
// process's current directory is never changed. With an empty `zip_program`
// FindZipProgram() is used. A stop (plat::stop_gate) that comes before the
// rename leaves the destination as it was; the rename claims the gate, so a
// later stop is refused. A replaced destination's mode and group carry over to
// the new file; a new file gets 0666 less the umask. The staging folder is
// locked while the pack runs (plat::private_temp_folder::remove_abandoned).
PackResult PackFolder(const std::string& folder, const std::string& destination,
                      const std::string& zip_program = {});

// Packs parts while they are being produced. Each entry is a named pipe in a
// staging folder beside the destination; zip is started once with all their
// names (it looks at every name before it packs any) and reads the pipes in
// that order, so the producer feeds them strictly in list order, each to its
// end, while zip compresses what came before. The destination is touched only
// by Finish's rename, as with PackFolder; every other ending (Abandon, the
// destructor, a failure, a stop) ends zip and removes the staging folder, so a
// zip waiting on a pipe that will never be fed cannot outlive the stream.
class ZipStream {
public:
  ZipStream() = default;
  ~ZipStream() { Abandon(); }
  ZipStream(const ZipStream&) = delete;
  ZipStream& operator=(const ZipStream&) = delete;

  // Makes the pipes for `entries` (package part names, in feeding order) and
  // starts zip on them. False, with the reason, when any of it fails; nothing
  // is left behind then. The destination must be absolute (UTF-8).
  bool Start(const std::string& destination, std::vector<std::string> entries, std::string& error,
             const std::string& zip_program = {});
  // Started, not abandoned and not finished.
  bool Active() const { return active_; }
  // Active, and zip has not ended.
  bool Running() const { return active_ && zip_.running(); }
  // The entry the next OpenNext opens; empty when every entry was opened.
  std::string_view NextEntry() const
  {
    return next_ < entries_.size() ? std::string_view(entries_[next_]) : std::string_view();
  }
  // The next entry's pipe, open for writing once zip reads it (blocking
  // writes; closing it ends the entry). Never waits on a zip that has ended or
  // on a stop: then no descriptor, and `error` says why (zip's own status and
  // words). A pipe that cannot be opened for a cause of this side (no
  // descriptor left, the pipe gone) ends zip at once: see PipeFailed().
  plat::unique_fd OpenNext(std::string& error);
  // A pipe could not be opened for a cause of this side, not zip's: zip was
  // ended and the stream abandoned, while the parts themselves are whole.
  bool PipeFailed() const { return pipe_failed_; }
  // After every entry was fed and closed: waits for zip and puts the package
  // in place of the destination.
  PackResult Finish();
  // Why zip ended before the package was complete, once it has: its status
  // and what it said. The stream is no longer active afterwards.
  std::string Failure();
  // Ends zip and removes the staging folder; the destination stays as it was.
  void Abandon() noexcept;
  // What of the staging folder could not be removed, for the report; empty
  // when nothing stayed behind.
  const std::string& LeftBehindText() const { return left_behind_; }

private:
  std::string PipeFailure(int cause);

  plat::private_temp_folder staging_;
  plat::child_process zip_;
  std::vector<std::string> entries_;
  std::size_t next_ = 0;
  std::string destination_;
  std::string failure_;
  std::string left_behind_;
  bool active_ = false;
  bool pipe_failed_ = false;
};

} // namespace XlsxBook

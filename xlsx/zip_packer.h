// Packs a folder tree into a ZIP package with the external Info-ZIP program.
// The destination is touched only by a final rename after zip succeeded, so a
// failed pack leaves neither a half-written file nor its own temporary name.
#pragma once

#include <string>

namespace XlsxBook {

// The name of the hidden staging folders beside a destination, before their
// six unique characters.
inline constexpr char pack_staging_prefix[] = ".xlsx_pack_";

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

} // namespace XlsxBook

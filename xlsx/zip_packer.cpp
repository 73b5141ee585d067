// Info-ZIP packing. zip writes into a private staging folder next to the
// destination (same file system, so the final rename is atomic) and never sees
// the destination itself: it would update an existing archive in place and add
// ".zip" to a name without extension. The rename is the process's commit: a
// stop that comes first keeps the old file, one that comes later is refused.
#include "xlsx/zip_packer.h"

#include "TK/tk_log.h"
#include "TK/tk_module.h"
#include "platform/child_process.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/stop_gate.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace XlsxBook {

namespace {

std::string join_arguments(const std::vector<std::string>& args)
{
  std::string line;
  for (const std::string& arg : args) {
    if (!line.empty())
      line += ' ';
    line += arg;
  }
  return line;
}

// zip's own complaint, on one line, for the user's message.
std::string first_lines(const std::string& text)
{
  std::string out;
  for (char c : text) {
    if (c == '\n' || c == '\r') {
      if (!out.empty() && out.back() != ' ')
        out += ' ';
    } else {
      out += c;
    }
    if (out.size() >= 300)
      break;
  }
  while (!out.empty() && out.back() == ' ')
    out.pop_back();
  return out;
}

// Info-ZIP's exit statuses that say why the package is missing. A write or
// create failure on a full disk is the common case; zip itself reports the
// system's text only sometimes, so the user is told what the status means.
std::string zip_failure(const plat::child_result& run, const std::string& said)
{
  std::string text;
  if (run.started && !run.stopped && run.signal == 0) {
    const bool no_space = said.find(plat::error_text(ENOSPC)) != std::string::npos ||
                          said.find(plat::error_text(EDQUOT)) != std::string::npos;
    switch (run.exit_code) {
    case 14:
      text = no_space ? "the zip program could not write the package: " + plat::error_text(ENOSPC)
                      : "the zip program could not write the package (exit code 14: a write "
                        "error, most often " + plat::error_text(ENOSPC) + ")";
      break;
    case 10:
    case 15:
      text = no_space ? "the zip program could not create the package: " + plat::error_text(ENOSPC)
                      : base::sprintf("the zip program could not create the package (exit code %d)",
                                      run.exit_code);
      break;
    default:
      break;
    }
  }
  if (text.empty())
    text = "the zip program failed: " + plat::describe_child_failure(run);
  if (!said.empty())
    text += " (" + said + ")";
  return text;
}

} // namespace

std::string FindZipProgram()
{
  const std::string beside = tk_get_module_dir<std::string>() + "zip";
  if (plat::is_executable_file(beside))
    return beside;
  return plat::find_in_path("zip");
}

PackResult PackFolder(const std::string& folder, const std::string& destination,
                      const std::string& zip_program)
{
  PackResult result;
  const std::string program = zip_program.empty() ? FindZipProgram() : zip_program;
  if (program.empty()) {
    result.error = "the zip program was not found beside the program or on PATH "
                   "(install the Debian package 'zip')";
    return result;
  }

  const std::filesystem::path target(destination);
  if (!target.is_absolute() || !target.has_filename()) {
    result.error = "the destination is not an absolute file path";
    return result;
  }
  // Removed with whatever zip left in it on every way out; locked while it is
  // in use, so that a later run can remove it when this process is killed.
  plat::private_temp_folder staging;
  if (!staging.create(target.parent_path().string(), pack_staging_prefix, true)) {
    const int error = errno;
    result.error = base::sprintf("cannot create a file in the folder '%s': %s",
                                 target.parent_path().string(), plat::error_text(error));
    return result;
  }
  // An extension keeps zip from adding ".zip" of its own.
  const std::string packed = staging.path() + "/package.xlsx";

  // -D: no folder entries; -X: no owner ids; -nw: names are not patterns;
  // "[Content_Types].xml" first, as readers that sniff the format expect.
  // -3: sheet XML is so repetitive that level 3 packs within about a tenth of
  // the default level's size in two thirds of its time, and zip's one-core
  // deflate is most of a large conversion's wall time.
  const std::vector<std::string> args = {"-q", "-3", "-r", "-D", "-X", "-nw", packed,
                                         "[Content_Types].xml", "."};
  tk_log_message(2, "zip=%s, cmdline=%s, path=%s", program, join_arguments(args), folder);
  // zip takes default options from ZIP and ZIPOPT; none of them may change
  // what goes into the package.
  const plat::child_result run = plat::run_program(program, args, folder, {"ZIP", "ZIPOPT"});
  tk_log_message(2, "Exit code: %d", run.started ? run.exit_code : -1);

  if (run.stopped) {
    // Whatever zip managed goes with the staging folder.
    result.stopped = true;
    result.error = "the zip program was stopped";
    return result;
  }
  if (!run.succeeded()) {
    result.error = zip_failure(run, first_lines(run.error_output));
    return result;
  }
  std::error_code exists_error;
  if (!std::filesystem::is_regular_file(packed, exists_error)) {
    result.error = "the zip program wrote no package";
    return result;
  }
  // A replaced workbook keeps who may read it; a new one gets what a new file gets.
  if (!plat::take_mode_of_replaced(packed, destination)) {
    const int error = errno;
    result.error = base::sprintf("cannot set the permissions of the package: %s", plat::error_text(error));
    return result;
  }
  // A stop that came after zip ended still keeps the old destination; from
  // here on a stop is refused and the package is put in place.
  if (!plat::stop_gate::begin_commit()) {
    result.stopped = true;
    result.error = "the zip program was stopped";
    return result;
  }
  if (std::rename(packed.c_str(), destination.c_str()) != 0) {
    const int error = errno;
    result.error = base::sprintf("cannot replace '%s': %s", destination, plat::error_text(error));
    return result;
  }
  result.ok = true;
  return result;
}

} // namespace XlsxBook
